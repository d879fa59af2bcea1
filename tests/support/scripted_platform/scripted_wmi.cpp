#include "scripted_wmi.h"

#include "provider.h"

#include <platform/posix/unicode.h>
#include <platform/posix/wmi/com_object.h>
#include <platform/posix/wmi/instance.h>
#include <platform/posix/wmi/query_service.h>
#include <platform/posix/wmi/wql.h>

#include <algorithm>
#include <array>
#include <optional>
#include <sstream>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform::scripted {

namespace {

// IUnknown for interfaces the script owns: nothing is ever freed, so a test can still
// name every address after the run, and each hand-out and release is counted.
template <typename Interface>
class Owned : public Interface {
public:
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    HRESULT QueryInterface(REFIID riid, void** object) final
    {
        return wmi::QueryIdentity(this, riid, object);
    }
    ULONG AddRef() final
    {
        ++handedOut_;
        return Remaining();
    }
    ULONG Release() final
    {
        ++released_;
        return Remaining();
    }

    Interface* HandOut()
    {
        ++handedOut_;
        return this;
    }
    const void* Address() const { return static_cast<const Interface*>(this); }
    void Report(std::ostringstream& problems, const std::string& role) const
    {
        if (handedOut_ != released_) {
            problems << role << " (" << Address() << "): handed out " << handedOut_ << ", released "
                     << released_ << "\n";
        }
    }

protected:
    ~Owned() = default;

private:
    ULONG Remaining() const { return handedOut_ > released_ ? handedOut_ - released_ : 0; }

    ULONG handedOut_ = 0;
    ULONG released_ = 0;
};

std::string Narrow(std::wstring_view text)
{
    std::string narrow;
    for (const wchar_t unit : text) {
        narrow.push_back(static_cast<char>(unit & 0xFF));
    }
    return narrow;
}

struct NullText {}; // VT_BSTR whose pointer is null

// What a scripted property holds: a value the hardware provider could serve too, or one of
// the kinds only a script hands out.
struct Value {
    std::variant<wmi::Value, NullText, LONG, std::vector<std::wstring>> content;
};

struct Property {
    std::wstring name;
    Value value;
};

// The hooks through which wmi::GetProperty reads a scripted value.
HRESULT CopyToVariant(const Value& value, VARIANT& target)
{
    return std::visit(
        [&target](const auto& content) -> HRESULT {
            using Content = std::decay_t<decltype(content)>;
            if constexpr (std::is_same_v<Content, wmi::Value>) {
                return wmi::CopyToVariant(content, target);
            } else if constexpr (std::is_same_v<Content, NullText>) {
                target.vt = VT_BSTR;
                target.bstrVal = nullptr;
            } else if constexpr (std::is_same_v<Content, LONG>) {
                target.vt = VT_I4;
                target.lVal = content;
            } else {
                static_assert(std::is_same_v<Content, std::vector<std::wstring>>);
                SAFEARRAY* copy = AllocateStringArray(content);
                if (copy == nullptr) {
                    return WBEM_E_OUT_OF_MEMORY;
                }
                target.vt = VT_ARRAY | VT_BSTR;
                target.parray = copy;
            }
            return WBEM_S_NO_ERROR;
        },
        value.content);
}

HRESULT ReadStatus(const Value& value)
{
    const auto* served = std::get_if<wmi::Value>(&value.content);
    return served != nullptr ? wmi::ReadStatus(*served) : WBEM_S_NO_ERROR;
}

CIMTYPE CimTypeOf(const Value& value)
{
    if (std::holds_alternative<LONG>(value.content)) {
        return CIM_SINT32;
    }
    if (std::holds_alternative<std::vector<std::wstring>>(value.content)) {
        return CIM_STRING | CIM_FLAG_ARRAY;
    }
    return CIM_STRING;
}

} // namespace

struct ScriptedObject::Impl final : Owned<IWbemClassObject> {
    HRESULT Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, CIMTYPE* pType,
                LONG* plFlavor) override
    {
        return wmi::GetProperty(instance, wszName, lFlags, pVal, pType, plFlavor);
    }

    void Set(const std::wstring& name, Value value)
    {
        const auto existing =
            std::find_if(instance.begin(), instance.end(), [&name](const Property& property) {
                return EqualsIgnoreCase(property.name, name);
            });
        if (existing != instance.end()) {
            existing->value = std::move(value);
        } else {
            instance.push_back({name, std::move(value)});
        }
    }

    std::vector<Property> instance;
    ScriptedObject handle{this};
};

namespace {

struct ScriptedClass {
    std::wstring name;
    std::deque<ScriptedObject::Impl> objects;
    std::unique_ptr<ScriptedObject::Impl> leftover;
};

class ScriptedEnumerator final : public Owned<IEnumWbemClassObject> {
public:
    ScriptedEnumerator(std::wstring className, ScriptedClass* scripted)
        : className_(std::move(className)), scripted_(scripted)
    {
    }

    HRESULT Next(LONG lTimeout, ULONG uCount, IWbemClassObject** apObjects,
                 ULONG* puReturned) override
    {
        if (const HRESULT status = wmi::BeginNext(lTimeout, uCount, apObjects, puReturned);
            FAILED(status)) {
            return status;
        }
        const std::size_t available = scripted_ != nullptr ? scripted_->objects.size() : 0;
        while (*puReturned < uCount && next_ < available) {
            apObjects[(*puReturned)++] = scripted_->objects[next_++].HandOut();
        }
        if (*puReturned == uCount) {
            return WBEM_S_NO_ERROR;
        }
        if (!leftoverGiven_ && scripted_ != nullptr && scripted_->leftover) {
            leftoverGiven_ = true;
            apObjects[*puReturned] = scripted_->leftover->HandOut();
        }
        return WBEM_S_FALSE;
    }

    const std::wstring& ClassName() const { return className_; }

private:
    std::wstring className_;
    ScriptedClass* scripted_;
    std::size_t next_ = 0;
    bool leftoverGiven_ = false;
};

} // namespace

struct ScriptedWmi::State final : Provider {
    class ScriptedServices final : public Owned<IWbemServices> {
    public:
        explicit ScriptedServices(State& state) : state_(state) {}

        HRESULT ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG, IWbemContext*,
                          IEnumWbemClassObject** ppEnum) override
        {
            if (const HRESULT status = wmi::CheckQueryArguments(strQueryLanguage, strQuery, ppEnum);
                FAILED(status)) {
                return status;
            }
            state_.queries.push_back(Narrow(strQuery));
            const std::size_t ordinal = state_.queries.size();
            if (ordinal <= 3) {
                const auto step =
                    static_cast<Step>(static_cast<std::size_t>(Step::ExecQuery1) + ordinal - 1);
                if (const std::optional<HRESULT> failure = state_.Failure(step)) {
                    return *failure;
                }
            }
            if (!wmi::IsQueryLanguage(strQueryLanguage)) {
                return WBEM_E_INVALID_QUERY_TYPE;
            }
            const std::optional<wmi::SelectQuery> query = wmi::ParseSelect(strQuery);
            if (!query) {
                return WBEM_E_INVALID_QUERY;
            }
            ScriptedEnumerator& enumerator =
                state_.enumerators.emplace_back(query->className, state_.Find(query->className));
            *ppEnum = enumerator.HandOut();
            return WBEM_S_NO_ERROR;
        }

    private:
        State& state_;
    };

    class ScriptedLocator final : public Owned<IWbemLocator> {
    public:
        explicit ScriptedLocator(State& state) : state_(state) {}

        HRESULT ConnectServer(const BSTR strNetworkResource, const BSTR, const BSTR, const BSTR,
                              LONG, const BSTR, IWbemContext*, IWbemServices** ppNamespace) override
        {
            if (ppNamespace == nullptr) {
                return WBEM_E_INVALID_PARAMETER;
            }
            *ppNamespace = nullptr;
            if (const std::optional<HRESULT> failure = state_.Failure(Step::ConnectServer)) {
                return *failure;
            }
            if (strNetworkResource == nullptr) {
                return WBEM_E_INVALID_PARAMETER;
            }
            if (!wmi::IsServedNamespace(strNetworkResource)) {
                return WBEM_E_INVALID_NAMESPACE;
            }
            *ppNamespace = state_.services.HandOut();
            return WBEM_S_NO_ERROR;
        }

    private:
        State& state_;
    };

    std::optional<HRESULT> Failure(Step step) const
    {
        return failures[static_cast<std::size_t>(step)];
    }

    ScriptedClass* Find(std::wstring_view className)
    {
        const auto found = std::find_if(classes.begin(), classes.end(),
                                        [className](const ScriptedClass& candidate) {
                                            return EqualsIgnoreCase(candidate.name, className);
                                        });
        return found != classes.end() ? &*found : nullptr;
    }

    ScriptedClass& Class(const std::wstring& className)
    {
        ScriptedClass* found = Find(className);
        return found != nullptr ? *found
                                : classes.emplace_back(ScriptedClass{className, {}, nullptr});
    }

    std::optional<HRESULT> CoInitializeOverride() override
    {
        ++coInitializeCalls;
        if (coInitializeCalls == 1) {
            return Failure(Step::CoInitializeFirst);
        }
        if (coInitializeCalls == 2) {
            return Failure(Step::CoInitializeSecond);
        }
        return std::nullopt;
    }

    HRESULT CreateLocator(IWbemLocator** created) override
    {
        if (const std::optional<HRESULT> failure = Failure(Step::CoCreateInstance)) {
            return *failure;
        }
        *created = locator.HandOut();
        return S_OK;
    }

    // The script's services are the only proxy there is; COM answers E_NOINTERFACE for
    // an object that is not a proxy.
    HRESULT SetProxyBlanket(IUnknown* proxy) override
    {
        if (const std::optional<HRESULT> failure = Failure(Step::CoSetProxyBlanket)) {
            return *failure;
        }
        return proxy == static_cast<IUnknown*>(&services) ? S_OK : E_NOINTERFACE;
    }

    bool OnStringAllocation() override { return ++stringAllocations != failingAllocation; }

    std::array<std::optional<HRESULT>, 8> failures;
    int coInitializeCalls = 0;
    long long stringAllocations = 0;
    long long failingAllocation = 0;
    std::vector<std::string> queries;
    ScriptedLocator locator{*this};
    ScriptedServices services{*this};
    std::deque<ScriptedClass> classes;
    std::deque<ScriptedEnumerator> enumerators;
    // Last, so that the script stops answering before any of its parts goes away.
    ProviderInstallation installation{*this};
};

ScriptedWmi::ScriptedWmi() : state_(std::make_unique<State>()) {}

ScriptedWmi::~ScriptedWmi() = default;

ScriptedObject& ScriptedWmi::AddObject(const std::wstring& className)
{
    return state_->Class(className).objects.emplace_back().handle;
}

void ScriptedWmi::Fail(Step step, HRESULT hr)
{
    state_->failures[static_cast<std::size_t>(step)] = hr;
}

ScriptedObject& ScriptedWmi::LeaveObjectAfterLastNext(const std::wstring& className)
{
    ScriptedClass& scripted = state_->Class(className);
    if (!scripted.leftover) {
        scripted.leftover = std::make_unique<ScriptedObject::Impl>();
    }
    return scripted.leftover->handle;
}

void ScriptedWmi::FailStringAllocation(int nth)
{
    state_->failingAllocation = nth > 0 ? state_->stringAllocations + nth : 0;
}

const void* ScriptedWmi::Locator() const
{
    return state_->locator.Address();
}

const void* ScriptedWmi::Services() const
{
    return state_->services.Address();
}

const void* ScriptedWmi::Enumerator(const std::wstring& className) const
{
    const auto& enumerators = state_->enumerators;
    const auto found =
        std::find_if(enumerators.rbegin(), enumerators.rend(), [&className](const auto& candidate) {
            return EqualsIgnoreCase(candidate.ClassName(), className);
        });
    return found != enumerators.rend() ? found->Address() : nullptr;
}

std::string ScriptedWmi::ReleaseProblems() const
{
    std::ostringstream problems;
    state_->locator.Report(problems, "locator");
    state_->services.Report(problems, "services");
    for (const auto& enumerator : state_->enumerators) {
        enumerator.Report(problems, "enumerator of " + Narrow(enumerator.ClassName()));
    }
    for (const ScriptedClass& scripted : state_->classes) {
        const std::string className = Narrow(scripted.name);
        for (std::size_t index = 0; index < scripted.objects.size(); ++index) {
            scripted.objects[index].Report(problems,
                                           "object " + std::to_string(index) + " of " + className);
        }
        if (scripted.leftover) {
            scripted.leftover->Report(problems, "object left after the last Next of " + className);
        }
    }
    return problems.str();
}

std::vector<std::string> ScriptedWmi::Queries() const
{
    return state_->queries;
}

ScriptedObject& ScriptedObject::String(const std::wstring& name, const std::wstring& value)
{
    impl_->Set(name, {wmi::Value{value}});
    return *this;
}

ScriptedObject& ScriptedObject::NullString(const std::wstring& name)
{
    impl_->Set(name, {NullText{}});
    return *this;
}

ScriptedObject& ScriptedObject::Null(const std::wstring& name)
{
    impl_->Set(name, {wmi::NullValue{}});
    return *this;
}

ScriptedObject& ScriptedObject::Integer(const std::wstring& name, LONG value)
{
    impl_->Set(name, {value});
    return *this;
}

ScriptedObject& ScriptedObject::StringArray(const std::wstring& name,
                                            const std::vector<std::wstring>& values)
{
    impl_->Set(name, {values});
    return *this;
}

ScriptedObject& ScriptedObject::Failing(const std::wstring& name, HRESULT hr)
{
    impl_->Set(name, {wmi::FailedRead{hr}});
    return *this;
}

const void* ScriptedObject::Address() const
{
    return impl_->Address();
}

} // namespace platform::scripted
