// The Node-API addon of the npm package computer-id: the C interface's calls for JavaScript.
// Each call gives [status, text], the text being the ID, the description's JSON or the
// fingerprint on success and the C interface's message otherwise (match gives the verdict's and
// the changed parts' numbers after them); index.js turns a failure into ComputerIdError and the
// numbers into names, so that the error class, its codes and the names are JavaScript's alone.
// The *Async forms run the call on libuv's thread pool and give a Promise of the same pair.
#include <computer_id/c_interface.h>

#include <napi.h>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Holds every message of the C interface.
constexpr size_t kMessageSize = 1024;
// The first size tried for the description's JSON; a larger one is asked for when needed.
constexpr size_t kDescriptionSize = 4096;

using TraceWriter = void (*)(void* context, const char* text, size_t size);

// What one call of the C interface gave.
struct Outcome {
    int status;
    std::string text;
};

Outcome GetId(TraceWriter write, void* context)
{
    std::array<char, COMPUTER_ID_MAX_SIZE> id{};
    std::array<char, kMessageSize> message{};
    const int status = computer_id_get_traced(write, context, id.data(), id.size(), message.data(),
                                              message.size());
    return {status, status == COMPUTER_ID_OK ? id.data() : message.data()};
}

Outcome GetAppId(const std::vector<unsigned char>& key)
{
    std::array<char, COMPUTER_ID_MAX_SIZE> id{};
    std::array<char, kMessageSize> message{};
    const int status = computer_id_get_for_app(key.data(), key.size(), id.data(), id.size(),
                                               message.data(), message.size());
    return {status, status == COMPUTER_ID_OK ? id.data() : message.data()};
}

Outcome Fingerprint(const std::vector<unsigned char>& key)
{
    std::array<char, COMPUTER_ID_MAX_FINGERPRINT_SIZE> fingerprint{};
    std::array<char, kMessageSize> message{};
    const int status =
        computer_id_fingerprint(key.data(), key.size(), fingerprint.data(), fingerprint.size(),
                                nullptr, message.data(), message.size());
    return {status, status == COMPUTER_ID_OK ? fingerprint.data() : message.data()};
}

Outcome Describe()
{
    std::vector<char> json(kDescriptionSize);
    std::array<char, kMessageSize> message{};
    size_t needed = 0;
    int status =
        computer_id_describe(json.data(), json.size(), &needed, message.data(), message.size());
    // The hardware may have changed between the two calls, so the second may still be short.
    while (status == COMPUTER_ID_BUFFER_TOO_SMALL && needed > json.size()) {
        json.resize(needed);
        status =
            computer_id_describe(json.data(), json.size(), &needed, message.data(), message.size());
    }
    return {status, status == COMPUTER_ID_OK ? json.data() : message.data()};
}

// The library's texts carry each character of a hardware string as one byte, which Latin-1
// maps to the same character; as UTF-8 those bytes would be invalid.
Napi::String Latin1(Napi::Env env, const std::string& text)
{
    napi_value value = nullptr;
    NAPI_THROW_IF_FAILED(env, napi_create_string_latin1(env, text.data(), text.size(), &value),
                         Napi::String());
    return {env, value};
}

Napi::Array Pair(Napi::Env env, const Outcome& outcome)
{
    Napi::Array pair = Napi::Array::New(env, 2);
    pair.Set(0U, Napi::Number::New(env, outcome.status));
    pair.Set(1U, Latin1(env, outcome.text));
    return pair;
}

// The application key's bytes: a Buffer or another Uint8Array, anything else refused. A copy,
// since the caller may change the array while a Promise form runs.
std::vector<unsigned char> Key(const Napi::CallbackInfo& info)
{
    const Napi::Value key = info[0];
    if (!key.IsTypedArray() || key.As<Napi::TypedArray>().TypedArrayType() != napi_uint8_array) {
        throw Napi::TypeError::New(info.Env(), "key must be a Buffer or Uint8Array with at least " +
                                                   std::to_string(COMPUTER_ID_MIN_APP_KEY_SIZE) +
                                                   " bytes");
    }
    const auto bytes = key.As<Napi::Uint8Array>();
    return {bytes.Data(), bytes.Data() + bytes.ElementLength()};
}

// A fingerprint argument (side: "stored" or "current") as the library reads it. As UTF-8 a
// character outside ASCII stays one that the library refuses as malformed.
std::string FingerprintText(const Napi::Value& value, const std::string& side)
{
    if (!value.IsString()) {
        throw Napi::TypeError::New(value.Env(), side + " must be a string");
    }
    return value.As<Napi::String>().Utf8Value();
}

// A sync call's trace function and the first value it threw, which cannot pass through the
// C interface and is thrown once the call has returned; later lines are not handed over.
struct Trace {
    Napi::Env env;
    Napi::Function function;
    std::optional<Napi::Value> raised;
};

void WriteTrace(void* context, const char* text, size_t size)
{
    auto& trace = *static_cast<Trace*>(context);
    if (trace.raised) {
        return;
    }
    try {
        trace.function.Call({Latin1(trace.env, std::string(text, size))});
    } catch (const Napi::Error& error) {
        trace.raised = error.Value();
    }
}

Napi::Value IdSync(const Napi::CallbackInfo& info)
{
    if (info.Length() == 0 || info[0].IsUndefined()) {
        return Pair(info.Env(), GetId(nullptr, nullptr));
    }
    if (!info[0].IsFunction()) {
        throw Napi::TypeError::New(info.Env(), "trace must be a function");
    }
    Trace trace{info.Env(), info[0].As<Napi::Function>(), std::nullopt};
    const Outcome outcome = GetId(WriteTrace, &trace);
    if (trace.raised) {
        Napi::Error(info.Env(), *trace.raised).ThrowAsJavaScriptException();
        return info.Env().Undefined();
    }
    return Pair(info.Env(), outcome);
}

Napi::Value AppIdSync(const Napi::CallbackInfo& info)
{
    return Pair(info.Env(), GetAppId(Key(info)));
}

Napi::Value DescribeSync(const Napi::CallbackInfo& info)
{
    return Pair(info.Env(), Describe());
}

Napi::Value FingerprintSync(const Napi::CallbackInfo& info)
{
    return Pair(info.Env(), Fingerprint(Key(info)));
}

// [status, message, verdict, changed]; without the hardware, so there is no Promise form.
Napi::Value Match(const Napi::CallbackInfo& info)
{
    const std::string stored = FingerprintText(info[0], "stored");
    const std::string current = FingerprintText(info[1], "current");
    int verdict = 0;
    unsigned changed = 0;
    std::array<char, kMessageSize> message{};
    Outcome outcome{COMPUTER_ID_INVALID_ARGUMENT, {}};
    // The library would read only up to a NUL and so could take a damaged text for whole.
    if (stored.find('\0') != std::string::npos) {
        outcome.text = "The stored fingerprint holds a NUL character";
    } else if (current.find('\0') != std::string::npos) {
        outcome.text = "The current fingerprint holds a NUL character";
    } else {
        outcome.status = computer_id_match(stored.c_str(), current.c_str(), &verdict, &changed,
                                           message.data(), message.size());
        outcome.text = message.data();
    }
    Napi::Array result = Pair(info.Env(), outcome);
    result.Set(2U, Napi::Number::New(info.Env(), verdict));
    result.Set(3U, Napi::Number::New(info.Env(), changed));
    return result;
}

// Runs a call on libuv's thread pool and resolves a Promise with its pair.
class Call final : public Napi::AsyncWorker {
public:
    Call(Napi::Env env, std::function<Outcome()> run)
        : Napi::AsyncWorker(env, "computer-id"), run_(std::move(run)),
          deferred_(Napi::Promise::Deferred::New(env))
    {
    }

    static Napi::Promise Start(Napi::Env env, std::function<Outcome()> run)
    {
        // The worker deletes itself once it has settled the Promise.
        auto* call = new Call(env, std::move(run));
        const Napi::Promise promise = call->deferred_.Promise();
        call->Queue();
        return promise;
    }

protected:
    void Execute() override { outcome_ = run_(); }

    void OnOK() override { deferred_.Resolve(Pair(Env(), outcome_)); }

    // Only what run_ threw, such as std::bad_alloc; its failures are in the pair.
    void OnError(const Napi::Error& error) override { deferred_.Reject(error.Value()); }

private:
    std::function<Outcome()> run_;
    Napi::Promise::Deferred deferred_;
    Outcome outcome_{COMPUTER_ID_INTERNAL_ERROR, {}};
};

Napi::Value IdAsync(const Napi::CallbackInfo& info)
{
    return Call::Start(info.Env(), [] { return GetId(nullptr, nullptr); });
}

Napi::Value AppIdAsync(const Napi::CallbackInfo& info)
{
    return Call::Start(info.Env(), [key = Key(info)] { return GetAppId(key); });
}

Napi::Value FingerprintAsync(const Napi::CallbackInfo& info)
{
    return Call::Start(info.Env(), [key = Key(info)] { return Fingerprint(key); });
}

Napi::Value DescribeAsync(const Napi::CallbackInfo& info)
{
    return Call::Start(info.Env(), Describe);
}

Napi::Object Init(Napi::Env env, Napi::Object exports)
{
    exports.Set("idSync", Napi::Function::New(env, IdSync, "idSync"));
    exports.Set("appIdSync", Napi::Function::New(env, AppIdSync, "appIdSync"));
    exports.Set("describeSync", Napi::Function::New(env, DescribeSync, "describeSync"));
    exports.Set("fingerprintSync", Napi::Function::New(env, FingerprintSync, "fingerprintSync"));
    exports.Set("match", Napi::Function::New(env, Match, "match"));
    exports.Set("id", Napi::Function::New(env, IdAsync, "id"));
    exports.Set("appId", Napi::Function::New(env, AppIdAsync, "appId"));
    exports.Set("describe", Napi::Function::New(env, DescribeAsync, "describe"));
    exports.Set("fingerprint", Napi::Function::New(env, FingerprintAsync, "fingerprint"));
    exports.Set("version", Napi::String::New(env, computer_id_version()));
    return exports;
}

} // namespace

NODE_API_MODULE(computer_id, Init)
