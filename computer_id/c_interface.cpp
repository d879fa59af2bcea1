#include <computer_id/c_interface.h>

#include "failure_messages.h"
#include <computer_id/computer_id.h>
#include <computer_id/fingerprint.h>
#include <computer_id/id_description.h>
#include <computer_id/id_generation_error.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <ostream>
#include <span>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>

#ifdef __GLIBCXX__
#include <cxxabi.h>
// glibc unwinds a cancelled or exiting thread with abi::__forced_unwind, which carries no C++
// object: a handler of it binds a null reference, which the sanitizer's null check stops.
#define COMPUTER_ID_HANDLES_FORCED_UNWIND __attribute__((no_sanitize("null")))
#else
#define COMPUTER_ID_HANDLES_FORCED_UNWIND
#endif

static_assert(COMPUTER_ID_MIN_APP_KEY_SIZE == Lib_ComputerID::kMinAppKeySize);
static_assert(COMPUTER_ID_PART_PROCESSOR ==
                  static_cast<unsigned>(Lib_ComputerID::FingerprintPart::Processor) &&
              COMPUTER_ID_PART_BOARD ==
                  static_cast<unsigned>(Lib_ComputerID::FingerprintPart::Board) &&
              COMPUTER_ID_PART_BOARD_SERIAL ==
                  static_cast<unsigned>(Lib_ComputerID::FingerprintPart::BoardSerial) &&
              COMPUTER_ID_PART_BIOS ==
                  static_cast<unsigned>(Lib_ComputerID::FingerprintPart::Bios) &&
              COMPUTER_ID_PART_BIOS_SERIAL ==
                  static_cast<unsigned>(Lib_ComputerID::FingerprintPart::BiosSerial));
static_assert(
    COMPUTER_ID_MATCH_SAME == static_cast<int>(Lib_ComputerID::MatchVerdict::Same) &&
    COMPUTER_ID_MATCH_SAME_MACHINE == static_cast<int>(Lib_ComputerID::MatchVerdict::SameMachine) &&
    COMPUTER_ID_MATCH_DIFFERENT == static_cast<int>(Lib_ComputerID::MatchVerdict::Different) &&
    COMPUTER_ID_MATCH_UNDECIDED == static_cast<int>(Lib_ComputerID::MatchVerdict::Undecided));

#ifndef COMPUTER_ID_VERSION
#error "COMPUTER_ID_VERSION names the project version"
#endif

namespace {

using TraceWriter = void (*)(void* context, const char* text, size_t size);

// Hands each trace line, with its line end, to the caller's function once it is complete,
// and what is left of an unfinished line when the run ends.
class LineHandOver final : public std::streambuf {
public:
    LineHandOver(TraceWriter write, void* context) : write_(write), context_(context) {}

    void HandOverRest()
    {
        if (!line_.empty()) {
            HandOver();
        }
    }

protected:
    int_type overflow(int_type character) override
    {
        if (traits_type::eq_int_type(character, traits_type::eof())) {
            return traits_type::not_eof(character);
        }
        const char text = traits_type::to_char_type(character);
        Append(std::string_view(&text, 1));
        return character;
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        Append(std::string_view(text, static_cast<size_t>(count)));
        return count;
    }

private:
    void Append(std::string_view text)
    {
        while (!text.empty()) {
            const size_t end = text.find('\n');
            const size_t taken = end == std::string_view::npos ? text.size() : end + 1;
            line_.append(text.substr(0, taken));
            text.remove_prefix(taken);
            if (end != std::string_view::npos) {
                HandOver();
            }
        }
    }

    void HandOver()
    {
        write_(context_, line_.data(), line_.size());
        line_.clear();
    }

    TraceWriter write_;
    void* context_;
    std::string line_;
};

// Copies text into a buffer of the given size, cut to fit and NUL-terminated; nothing
// when there is no room even for the NUL.
void CopyCut(std::string_view text, char* buffer, size_t size)
{
    if (buffer == nullptr || size == 0) {
        return;
    }
    const size_t count = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
}

// The message of an IDGenerationError without its line ends, as the console prints it.
std::string_view WithoutLineEnd(std::string_view message)
{
    while (!message.empty() && message.back() == '\n') {
        message.remove_suffix(1);
    }
    return message;
}

// The output buffer a call fills: the ID or the description, and the message that says
// when it is too small.
struct Output {
    char* buffer;
    size_t size;
    size_t* needed; // may be null: receives the size the text needs, its NUL included
    const char* tooSmall;
};

// Ends a call that gives no text: out emptied, why in message.
int Fail(int status, std::string_view why, const Output& out, char* message, size_t messageSize)
{
    CopyCut("", out.buffer, out.size);
    CopyCut(why, message, messageSize);
    return status;
}

// Runs call(), which returns the status of a call that ended normally, and turns whatever it
// throws into a status and a message, out emptied (std::invalid_argument: the C++ entry
// refused an argument; the pointers are checked by the caller).
template <typename Call>
COMPUTER_ID_HANDLES_FORCED_UNWIND int Guard(Call call, const Output& out, char* message,
                                            size_t messageSize)
{
    namespace messages = Lib_ComputerID::failure_messages;
    try {
        return call();
    } catch (const Lib_ComputerID::IDGenerationError& error) {
        return Fail(COMPUTER_ID_NO_ID, WithoutLineEnd(error.what()), out, message, messageSize);
    } catch (const std::bad_alloc&) {
        return Fail(COMPUTER_ID_OUT_OF_MEMORY, messages::kOutOfMemory, out, message, messageSize);
    } catch (const Lib_ComputerID::FingerprintKeyMismatch& error) {
        return Fail(COMPUTER_ID_KEY_MISMATCH, error.what(), out, message, messageSize);
    } catch (const std::invalid_argument& error) {
        return Fail(COMPUTER_ID_INVALID_ARGUMENT, error.what(), out, message, messageSize);
    } catch (const std::exception& error) {
        return Fail(COMPUTER_ID_INTERNAL_ERROR, error.what(), out, message, messageSize);
#ifdef __GLIBCXX__
    } catch (const abi::__forced_unwind&) {
        // Thread cancellation and pthread_exit unwind the thread with this; it must go on
        // to the thread's end.
        throw;
#endif
    } catch (...) {
        return Fail(COMPUTER_ID_INTERNAL_ERROR, messages::kUnknown, out, message, messageSize);
    }
}

// Runs one of the C++ entries, produce(trace), with the trace handed to write (none when
// it is null), and puts the text it makes into out, as Guard says. Nothing is written to the
// caller's buffers before produce has returned, so inputs that share their memory, such as
// an application key, are read as the caller passed them.
template <typename Produce>
int Run(TraceWriter write, void* context, Produce produce, const Output& out, char* message,
        size_t messageSize)
{
    return Guard(
        [&] {
            std::string text;
            if (write != nullptr) {
                LineHandOver lines(write, context);
                std::ostream trace(&lines);
                // A line that cannot be kept for want of memory fails the call instead of
                // vanishing from the trace.
                trace.exceptions(std::ios_base::badbit);
                text = produce(trace);
                lines.HandOverRest();
            } else {
                std::ostream noTrace(nullptr);
                text = produce(noTrace);
            }
            if (out.needed != nullptr) {
                *out.needed = text.size() + 1;
            }
            if (text.size() >= out.size) {
                return Fail(COMPUTER_ID_BUFFER_TOO_SMALL, out.tooSmall, out, message, messageSize);
            }
            CopyCut(text, out.buffer, out.size);
            CopyCut("", message, messageSize);
            return static_cast<int>(COMPUTER_ID_OK);
        },
        out, message, messageSize);
}

// The output of a call that gives an ID.
Output IdOutput(char* id, size_t idSize)
{
    return {id, idSize, nullptr, Lib_ComputerID::failure_messages::kIdBufferTooSmall};
}

int GetId(TraceWriter write, void* context, char* id, size_t idSize, char* message,
          size_t messageSize)
{
    namespace messages = Lib_ComputerID::failure_messages;
    if (id == nullptr) {
        return Fail(COMPUTER_ID_INVALID_ARGUMENT, messages::kIdNull, {}, message, messageSize);
    }
    return Run(write, context, Lib_ComputerID::GenerateComputerID, IdOutput(id, idSize), message,
               messageSize);
}

// A JSON string of a text whose bytes are characters (code units narrowed to their low
// byte): ASCII as it is, everything else escaped, so the JSON text is ASCII.
void AppendJsonString(std::string& json, std::string_view text)
{
    json += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte >= 0x7f) {
            constexpr const char* digits = "0123456789abcdef";
            json += "\\u00";
            json += digits[byte >> 4];
            json += digits[byte & 0xf];
        } else {
            json += c;
        }
    }
    json += '"';
}

std::string DescriptionJson(const Lib_ComputerID::IdDescription& description)
{
    std::string json = "{\"objects\":[";
    for (const Lib_ComputerID::ObjectDescription& object : description.objects) {
        json += &object == description.objects.data() ? "{\"class\":" : ",{\"class\":";
        AppendJsonString(json, object.className);
        json += ",\"properties\":[";
        for (const Lib_ComputerID::PropertyDescription& property : object.properties) {
            json += &property == object.properties.data() ? "{\"name\":" : ",{\"name\":";
            AppendJsonString(json, property.name);
            json += ",\"state\":";
            AppendJsonString(json, Lib_ComputerID::PropertyStateName(property.state));
            json += property.placeholder ? ",\"placeholder\":true}" : ",\"placeholder\":false}";
        }
        json += "]}";
    }
    json += description.hypervisor ? "],\"hypervisor\":true" : "],\"hypervisor\":false";
    json += ",\"hypervisor_vendor\":";
    AppendJsonString(json, description.hypervisorVendor);
    json += description.serialNumberBacked
                ? ",\"serial_number_backed\":true,\"verdict\":\"serial number\"}"
                : ",\"serial_number_backed\":false,\"verdict\":\"model only\"}";
    return json;
}

} // namespace

extern "C" {

int computer_id_get(char* id, size_t id_size, char* message, size_t message_size)
{
    return GetId(nullptr, nullptr, id, id_size, message, message_size);
}

int computer_id_get_traced(void (*write)(void* context, const char* text, size_t size),
                           void* context, char* id, size_t id_size, char* message,
                           size_t message_size)
{
    return GetId(write, context, id, id_size, message, message_size);
}

int computer_id_get_for_app(const unsigned char* key, size_t key_size, char* id, size_t id_size,
                            char* message, size_t message_size)
{
    namespace messages = Lib_ComputerID::failure_messages;
    if (id == nullptr) {
        return Fail(COMPUTER_ID_INVALID_ARGUMENT, messages::kIdNull, {}, message, message_size);
    }
    if (key == nullptr) {
        return Fail(COMPUTER_ID_INVALID_ARGUMENT, messages::kAppKeyTooShort, IdOutput(id, id_size),
                    message, message_size);
    }
    // The C++ entry refuses a key of the wrong size before anything runs.
    const std::span<const std::uint8_t> appKey(key, key_size);
    return Run(
        nullptr, nullptr,
        [appKey](std::ostream& trace) {
            return Lib_ComputerID::GenerateAppSpecificID(trace, appKey);
        },
        IdOutput(id, id_size), message, message_size);
}

int computer_id_describe(char* json, size_t json_size, size_t* json_needed, char* message,
                         size_t message_size)
{
    namespace messages = Lib_ComputerID::failure_messages;
    if (json == nullptr) {
        return Fail(COMPUTER_ID_INVALID_ARGUMENT, messages::kJsonNull, {}, message, message_size);
    }
    return Run(
        nullptr, nullptr,
        [](std::ostream& trace) {
            return DescriptionJson(Lib_ComputerID::DescribeComputerID(trace));
        },
        {json, json_size, json_needed, messages::kJsonBufferTooSmall}, message, message_size);
}

int computer_id_fingerprint(const unsigned char* key, size_t key_size, char* fingerprint,
                            size_t fingerprint_size, size_t* fingerprint_needed, char* message,
                            size_t message_size)
{
    namespace messages = Lib_ComputerID::failure_messages;
    if (fingerprint == nullptr) {
        return Fail(COMPUTER_ID_INVALID_ARGUMENT, messages::kFingerprintNull, {}, message,
                    message_size);
    }
    const Output out{fingerprint, fingerprint_size, fingerprint_needed,
                     messages::kFingerprintBufferTooSmall};
    if (key == nullptr) {
        return Fail(COMPUTER_ID_INVALID_ARGUMENT, messages::kAppKeyTooShort, out, message,
                    message_size);
    }
    const std::span<const std::uint8_t> appKey(key, key_size);
    return Run(
        nullptr, nullptr,
        [appKey](std::ostream& trace) {
            return Lib_ComputerID::GenerateFingerprint(trace, appKey);
        },
        out, message, message_size);
}

int computer_id_match(const char* stored, const char* current, int* verdict, unsigned* changed,
                      char* message, size_t message_size)
{
    if (stored == nullptr || current == nullptr || verdict == nullptr || changed == nullptr) {
        return Fail(COMPUTER_ID_INVALID_ARGUMENT, Lib_ComputerID::failure_messages::kMatchNull, {},
                    message, message_size);
    }
    return Guard(
        [&] {
            const Lib_ComputerID::FingerprintMatch match =
                Lib_ComputerID::MatchFingerprints(stored, current);
            *verdict = static_cast<int>(match.verdict);
            *changed = match.changed;
            CopyCut("", message, message_size);
            return static_cast<int>(COMPUTER_ID_OK);
        },
        {}, message, message_size);
}

const char* computer_id_version(void)
{
    return COMPUTER_ID_VERSION;
}

} // extern "C"
