// A scripted WMI service for tests: the classes answer with objects that the test lays
// out, any platform step can be made to fail with a chosen status, and every interface
// handed out is counted so that a test can prove each one was released exactly once.
#pragma once

#include "variant_kinds.h"

#include <platform/com_wmi.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace platform::scripted {

enum class Step {
    CoInitializeFirst,  // the first CoInitializeEx on this thread after installation
    CoInitializeSecond, // the second one
    CoCreateInstance,
    ConnectServer,
    CoSetProxyBlanket,
    ExecQuery1, // the first ExecQuery after installation
    ExecQuery2,
    ExecQuery3,
};

class ScriptedObject;

// Installs itself as the WMI service behind CoCreateInstance for its lifetime and starts
// the calling thread's COM state afresh; the destructor puts back the previous service.
// Interfaces are owned by the script, so their addresses stay valid for building the
// expected transcript after the run.
class ScriptedWmi {
public:
    ScriptedWmi();
    ~ScriptedWmi();
    ScriptedWmi(const ScriptedWmi&) = delete;
    ScriptedWmi& operator=(const ScriptedWmi&) = delete;

    // Appends a result object to the class (matched case-insensitively, as WQL does).
    ScriptedObject& AddObject(const std::wstring& className);
    // The step fails with hr instead of doing its work.
    void Fail(Step step, HRESULT hr);
    // The enumeration step that ends this class's results reports no object but leaves
    // this extra object in its out pointer.
    ScriptedObject& LeaveObjectAfterLastNext(const std::wstring& className);
    // The nth wide-string allocation from now on (1 = the next one) returns null. Only the
    // caller's SysAllocString and SysAllocStringLen calls count, not the copies Get hands out.
    void FailStringAllocation(int nth);

    const void* Locator() const;
    const void* Services() const;
    // The enumerator handed out for the class's query, or null if none was.
    const void* Enumerator(const std::wstring& className) const;

    // One line per interface that was released more or fewer times than handed out;
    // empty when every count is balanced.
    std::string ReleaseProblems() const;
    // The query texts ExecQuery received, in order, narrowed code unit by code unit.
    std::vector<std::string> Queries() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// One result object; property setters return *this for chaining.
class ScriptedObject {
public:
    ScriptedObject& String(const std::wstring& name, const std::wstring& value); // VT_BSTR
    ScriptedObject& NullString(const std::wstring& name);          // VT_BSTR with a null pointer
    ScriptedObject& Null(const std::wstring& name);                // VT_NULL
    ScriptedObject& Integer(const std::wstring& name, LONG value); // VT_I4
    ScriptedObject& StringArray(const std::wstring& name,
                                const std::vector<std::wstring>& values); // VT_ARRAY | VT_BSTR
    ScriptedObject& Failing(const std::wstring& name, HRESULT hr);        // Get returns hr
    // The pointer as IEnumWbemClassObject::Next hands it out.
    const void* Address() const;

    struct Impl;
    explicit ScriptedObject(Impl* impl) : impl_(impl) {}

private:
    Impl* impl_;
};

} // namespace platform::scripted
