#pragma once

#include <computer_id/id_description.h>
#include <computer_id/id_generation_error.h>
#include <platform/com_wmi.h>

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace Lib_ComputerID {

// The message of a failing COM step, as failure_messages.h describes it, with the digits
// in the classic locale.
std::string ComFailureMessage(const char* text, HRESULT hr);

// The error of a failing COM step: its message, and the status the step failed with, by
// which the quiet entry tells a step that ran out of memory.
struct ComFailure : IDGenerationError {
    ComFailure(const std::string& message, HRESULT hr) noexcept
        : IDGenerationError(message.c_str()), status(hr)
    {
    }
    HRESULT status;
};

// Whether a COM or WMI status says that memory ran out.
bool IsOutOfMemory(HRESULT hr);

// What a run read of each property of each object: filled in by CreateComputerID and
// GetInfo when they are given one.
struct InventoryRecord {
    std::vector<ObjectDescription> objects;
    // Each object's values, property by property as in objects: a string value as it enters
    // the platform information text, empty for a property without one.
    std::vector<std::vector<std::string>> values;
};

// Collects the platform information text: every string value of the processor, base board
// and BIOS properties that WMI returns, one per line, each UTF-16 code unit narrowed to
// its low byte. Traces every platform call on the trace stream and switches it to hex.
// Throws ComFailure when a COM step fails, after releasing what it holds. An
// enumeration step or property read that fails for want of memory throws std::bad_alloc:
// skipping that object or value would give another machine's ID.
std::string CreateComputerID(std::ostream& trace, std::uint64_t flags,
                             InventoryRecord* record = nullptr);
// The same with the trace on standard output.
std::string CreateComputerID(std::uint64_t flags);

// Runs one WQL query and appends the string values of its objects to infoStream, one per
// line, reading the properties in list order, with the trace on the trace stream. On a
// failing query releases pSvc and pLoc and throws ComFailure.
void GetInfo(std::wostringstream& infoStream, const char* query, const wchar_t* const properties[],
             std::uint64_t propertyCount, IWbemServices* pSvc, IWbemLocator* pLoc,
             std::ostream& trace, InventoryRecord* record = nullptr);
// The same with the trace on standard output.
void GetInfo(std::wostringstream& infoStream, const char* query, const wchar_t* const properties[],
             std::uint64_t propertyCount, IWbemServices* pSvc, IWbemLocator* pLoc);

} // namespace Lib_ComputerID
