#pragma once

#include "reference_id.h"

#include <cstdint>
#include <string>

namespace test_support {

inline constexpr const char* kProcessorQuery =
    "SELECT DeviceID, Manufacturer, Name, Description, ProcessorID FROM Win32_Processor";
inline constexpr const char* kBaseBoardQuery =
    "SELECT SerialNumber, Manufacturer, Product, Model, OtherIdentifyingInfo FROM Win32_BaseBoard";
inline constexpr const char* kBiosQuery = "SELECT Manufacturer, SerialNumber FROM Win32_BIOS";

// Builds the expected standard output of a run, line by line, as the trace prescribes.
class ExpectedTrace {
public:
    ExpectedTrace& Line(const std::string& line)
    {
        text_ += line;
        text_ += '\n';
        return *this;
    }

    ExpectedTrace& GetComputerIDStart()
    {
        return Line("In GetComputerID").Line("InitializeCOM").Line("Done InitializeCOM");
    }

    // From the header line up to and including the proxy blanket step.
    ExpectedTrace& Connected(const void* pLoc, const void* pSvc)
    {
        return Line("In CreateComputerID(), flags = 0x7")
            .Line("Call CoCreateInstance")
            .Line("Done CoCreateInstance, hr = 0")
            .Line("pLoc = " + PointerHex(pLoc))
            .Line("Call pLoc->ConnectServer")
            .Line("Done ConnectServer, hr = 0, pSvc = " + PointerHex(pSvc))
            .Line("Call CoSetProxyBlanket")
            .Line("Done CoSetProxyBlanket");
    }

    ExpectedTrace& QueryStart(const char* query, std::uint32_t hr, const void* pEnumerator)
    {
        pass_ = 0;
        return Line(std::string("Call GetInfo( ") + query + " )")
            .Line("Done GetInfo(), hr = " + Hex(hr) + ", pEnumerator = " + PointerHex(pEnumerator));
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

    ExpectedTrace& QueryEnd(const void* pclsObjLeftOver = nullptr)
    {
        Line("Do pEnumerator->Next() # " + Hex(pass_++));
        Line("hr= 1, pclsObj = " + PointerHex(pclsObjLeftOver) + ", uReturn = 0");
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

    ExpectedTrace& Error(const std::string& message) { return Line("Error: " + message); }

    const std::string& Text() const { return text_; }

private:
    std::string text_;
    std::uint32_t pass_ = 0;
};

} // namespace test_support
