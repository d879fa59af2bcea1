#pragma once

#include "reference_id.h"

#include <computer_id/failure_messages.h>
#include <computer_id/hardware_queries.h>

#include <cstdint>
#include <string>

namespace test_support {

// The inventory's queries by name, as the library sends them.
inline constexpr const char* kProcessorQuery = Lib_ComputerID::kQueryTexts[0];
inline constexpr const char* kBaseBoardQuery = Lib_ComputerID::kQueryTexts[1];
inline constexpr const char* kBiosQuery = Lib_ComputerID::kQueryTexts[2];

// The message of a failing COM step: the step's text, the status in hex, a newline.
inline std::string ComFailureMessage(const char* text, std::uint32_t hr)
{
    return text + Hex(hr) + "\n";
}

// Builds the expected standard output of a run line by line: one method per step of the
// console flow and the pipeline, statuses and pointers as the trace writes them.
class ExpectedTrace {
public:
    ExpectedTrace& Line(const std::string& line)
    {
        text_ += line;
        text_ += '\n';
        return *this;
    }

    // ---- The console flow ----

    ExpectedTrace& ConsoleStart() { return Line("Calling InitializeCOM"); }
    ExpectedTrace& ConsoleComStarted()
    {
        return Line("Done InitializeCOM").Line("Calling GetComputerID");
    }
    ExpectedTrace& ConsoleDone() { return Line("Done GetComputerID"); }
    ExpectedTrace& ConsoleId(const std::string& id) { return Line("comp id = " + id); }
    ExpectedTrace& ConsoleNoId() { return Line("Failed to generate comp_id"); }
    // An exception other than the library's own reached the console's catch-all.
    ExpectedTrace& ConsoleCatchAll() { return Line("Some unknown exception got in the middle: 1"); }
    ExpectedTrace& ConsolePrompt() { return Line("Press any key.."); }

    // ---- GetComputerID ----

    ExpectedTrace& GetComputerIDEntered() { return Line("In GetComputerID").Line("InitializeCOM"); }
    ExpectedTrace& ComStarted() { return Line("Done InitializeCOM"); }
    ExpectedTrace& GetComputerIDStart() { return GetComputerIDEntered().ComStarted(); }

    // ---- CreateComputerID up to the queries ----

    ExpectedTrace& CreateStart()
    {
        return Line("In CreateComputerID(), flags = 0x7").Line("Call CoCreateInstance");
    }
    ExpectedTrace& LocatorCreated(std::uint32_t hr)
    {
        return Line("Done CoCreateInstance, hr = " + Hex(hr));
    }
    ExpectedTrace& ConnectStart(const void* pLoc)
    {
        return Line("pLoc = " + PointerHex(pLoc)).Line("Call pLoc->ConnectServer");
    }
    ExpectedTrace& ConnectDone(std::uint32_t hr, const void* pSvc)
    {
        return Line("Done ConnectServer, hr = " + Hex(hr) + ", pSvc = " + PointerHex(pSvc));
    }
    ExpectedTrace& ProxyBlanket()
    {
        return Line("Call CoSetProxyBlanket").Line("Done CoSetProxyBlanket");
    }
    // From the header line up to and including the proxy blanket step.
    ExpectedTrace& Connected(const void* pLoc, const void* pSvc)
    {
        return CreateStart()
            .LocatorCreated(0)
            .ConnectStart(pLoc)
            .ConnectDone(0, pSvc)
            .ProxyBlanket();
    }

    // ---- One query ----

    ExpectedTrace& QueryCall(const char* query)
    {
        pass_ = 0;
        return Line(std::string("Call GetInfo( ") + query + " )");
    }
    ExpectedTrace& QueryDone(std::uint32_t hr, const void* pEnumerator)
    {
        return Line("Done GetInfo(), hr = " + Hex(hr) +
                    ", pEnumerator = " + PointerHex(pEnumerator));
    }
    ExpectedTrace& QueryStart(const char* query, std::uint32_t hr, const void* pEnumerator)
    {
        return QueryCall(query).QueryDone(hr, pEnumerator);
    }

    ExpectedTrace& Next(std::uint32_t hr, const void* pclsObj, std::uint32_t uReturn)
    {
        Line("Do pEnumerator->Next() # " + Hex(pass_++));
        return Line("hr= " + Hex(hr) + ", pclsObj = " + PointerHex(pclsObj) +
                    ", uReturn = " + Hex(uReturn));
    }

    // One property read; the clear lines follow only a successful read.
    ExpectedTrace& Get(const std::string& name, std::uint32_t hr, std::uint32_t vt)
    {
        Line("pclsObj->Get( " + name + " )").Line("hr = " + Hex(hr) + ", vtProp.vt = " + Hex(vt));
        if (static_cast<std::int32_t>(hr) >= 0)
            Line("Call VariantClear()").Line("Done VariantClear()");
        return *this;
    }

    ExpectedTrace& ObjectReleased()
    {
        return Line("Call pclsObj->Release()").Line("Done pclsObj->Release()");
    }

    // The pass that finds no more objects, then the releases.
    ExpectedTrace& QueryEnd(const void* pclsObjLeftOver = nullptr)
    {
        return Next(1, pclsObjLeftOver, 0).EnumeratorReleased(pclsObjLeftOver);
    }
    ExpectedTrace& EnumeratorReleased(const void* pclsObjLeftOver = nullptr)
    {
        Line("Call pEnumerator->Release()").Line("Done pEnumerator->Release()");
        if (pclsObjLeftOver != nullptr)
            Line("Call again pclsObj->Release()").Line("Done call again pclsObj->Release()");
        return *this;
    }

    ExpectedTrace& EmptyQuery(const char* query, const void* pEnumerator)
    {
        return QueryStart(query, 0, pEnumerator).QueryEnd();
    }

    ExpectedTrace& Released()
    {
        return Line("Call pSvc->Release()")
            .Line("Done pSvc->Release()")
            .Line("Call pLoc->Release()")
            .Line("Done pLoc->Release()");
    }

    // ---- Failures ----

    ExpectedTrace& Error(const std::string& message) { return Line("Error: " + message); }
    // The message ends in a newline and the error line in another: an empty line follows.
    ExpectedTrace& ComFailure(const char* text, std::uint32_t hr)
    {
        return Error(ComFailureMessage(text, hr));
    }
    ExpectedTrace& NoPlatformInformation()
    {
        return Error(Lib_ComputerID::failure_messages::kNoPlatformInformation);
    }

    const std::string& Text() const { return text_; }

private:
    std::string text_;
    std::uint32_t pass_ = 0;
};

} // namespace test_support
