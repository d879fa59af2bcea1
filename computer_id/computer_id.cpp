#include <computer_id/computer_id.h>

#include "digest_pieces.h"
#include "failure_messages.h"
#include "fingerprint_text.h"
#include "hardware_inventory.h"
#include "hardware_queries.h"
#include "trace_format.h"
#include <computer_id/fingerprint.h>
#include <computer_id/id_description.h>
#include <computer_id/id_generation_error.h>
#include <computer_id/message_digest.h>

#include <platform/com_wmi.h>
#include <platform/hypervisor.h>

#include <algorithm>
#include <iostream>
#include <new>
#include <stdexcept>
#include <utility>

namespace Lib_ComputerID {
namespace {

// Puts a stream's formatting flags back however the scope ends.
class FlagsKeeper {
public:
    explicit FlagsKeeper(std::ios_base& stream) : stream_(stream), flags_(stream.flags()) {}
    ~FlagsKeeper() { stream_.flags(flags_); }
    FlagsKeeper(const FlagsKeeper&) = delete;
    FlagsKeeper& operator=(const FlagsKeeper&) = delete;

private:
    std::ios_base& stream_;
    std::ios_base::fmtflags flags_;
};

// COM on the calling thread for one run. The console's run starts it apartment-threaded and
// leaves it started. An embedding program's run takes the thread as it finds it: where COM
// was started multithreaded it keeps that model (WMI works in either), and a start-up made
// here is undone when the run ends.
class ComStartUp {
public:
    enum class Scope { LeftStarted, ThisRun };

    explicit ComStartUp(Scope scope)
    {
        if (scope == Scope::LeftStarted) {
            InitializeCOM();
            return;
        }
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (hr == RPC_E_CHANGED_MODE) {
            return;
        }
        ThrowIfComStartFailed(hr);
        undo_ = true;
    }
    ~ComStartUp()
    {
        if (undo_) {
            CoUninitialize();
        }
    }
    ComStartUp(const ComStartUp&) = delete;
    ComStartUp& operator=(const ComStartUp&) = delete;

    static void ThrowIfComStartFailed(HRESULT hr)
    {
        if (FAILED(hr)) {
            throw ComFailure(ComFailureMessage(failure_messages::kComStart, hr), hr);
        }
    }

private:
    bool undo_ = false;
};

// The pipeline with its trace on the given stream, which it leaves in hex: the console
// transcript keeps std::cout in hex for the rest of the run. What the platform information
// becomes is up to finish; the text is released before the caller takes that.
template <typename Finish>
auto RunPipeline(std::ostream& trace, ComStartUp::Scope comScope, Finish finish,
                 InventoryRecord* record = nullptr)
{
    trace << "In GetComputerID\n";
    trace << "InitializeCOM\n";
    const ComStartUp com(comScope);
    trace << "Done InitializeCOM\n";
    const std::string platformInfo = CreateComputerID(trace, 7, record);
    return finish(platformInfo);
}

std::string ComputerIdOf(const std::string& platformInfo)
{
    return CreateMessageDigest(platformInfo);
}

// An embedding program's run: the caller's stream flags kept, and every way of running out
// of memory reported as std::bad_alloc.
template <typename Finish>
auto RunForProgram(std::ostream& trace, Finish finish, InventoryRecord* record = nullptr)
{
    const FlagsKeeper keeper(trace);
    try {
        return RunPipeline(trace, ComStartUp::Scope::ThisRun, finish, record);
    } catch (const ComFailure& failure) {
        if (IsOutOfMemory(failure.status))
            throw std::bad_alloc();
        throw;
    } catch (const platform::ComError&) {
        // The wide strings are the library's own short ASCII texts: making one can fail only
        // for want of memory.
        throw std::bad_alloc();
    }
}

// Whether a property of the record is a serial number that holds a real value.
bool IsRealSerialNumber(const ObjectDescription& object, const PropertyDescription& property)
{
    return property.state == PropertyState::Value && !property.placeholder &&
           std::any_of(kSerialNumbers.begin(), kSerialNumbers.end(), [&](const auto& serial) {
               return object.className == NarrowCodeUnits(serial.first) &&
                      property.name == NarrowCodeUnits(serial.second);
           });
}

// Refuses an application key before anything runs.
void CheckAppKey(std::span<const std::uint8_t> appKey)
{
    if (appKey.size() < kMinAppKeySize)
        throw std::invalid_argument(failure_messages::kAppKeyTooShort);
    if (appKey.size() > kMaxAppKeySize)
        throw std::invalid_argument(failure_messages::kAppKeyTooLong);
}

} // namespace

std::string GenerateComputerID(std::ostream& trace)
{
    return RunForProgram(trace, ComputerIdOf);
}

std::string GenerateAppSpecificID(std::ostream& trace, std::span<const std::uint8_t> appKey)
{
    CheckAppKey(appKey);
    return RunForProgram(trace, [appKey](const std::string& platformInfo) {
        return CreateAppSpecificDigest(platformInfo, appKey);
    });
}

std::string GenerateFingerprint(std::ostream& trace, std::span<const std::uint8_t> appKey)
{
    CheckAppKey(appKey);
    InventoryRecord record;
    RunForProgram(
        trace, [](const std::string&) { return 0; }, &record);
    return FingerprintText(record, appKey);
}

IdDescription DescribeComputerID(std::ostream& trace)
{
    IdDescription description{};
    InventoryRecord record;
    RunForProgram(
        trace, [](const std::string&) { return 0; }, &record);
    description.objects = std::move(record.objects);
    const platform::Hypervisor hypervisor = platform::DetectHypervisor();
    description.hypervisor = hypervisor.present;
    description.hypervisorVendor = hypervisor.vendor;
    for (const ObjectDescription& object : description.objects) {
        for (const PropertyDescription& property : object.properties) {
            description.serialNumberBacked |= IsRealSerialNumber(object, property);
        }
    }
    return description;
}

const char* PropertyStateName(PropertyState state)
{
    switch (state) {
    case PropertyState::Value:
        return "value";
    case PropertyState::Null:
        return "null";
    case PropertyState::AccessDenied:
        return "access denied";
    case PropertyState::Failed:
        break;
    }
    return "failed";
}

void InitializeCOM()
{
    ComStartUp::ThrowIfComStartFailed(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

void GetComputerID(std::string& computerId)
{
    try {
        computerId = RunPipeline(std::cout, ComStartUp::Scope::LeftStarted, ComputerIdOf);
    } catch (const IDGenerationError& error) {
        std::cout << "Error: " << error.what() << std::endl;
    }
}

} // namespace Lib_ComputerID
