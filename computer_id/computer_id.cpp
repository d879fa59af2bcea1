#include <computer_id/computer_id.h>

#include "failure_messages.h"
#include "hardware_inventory.h"
#include <computer_id/id_generation_error.h>
#include <computer_id/message_digest.h>

#include <platform/com_wmi.h>

#include <iostream>
#include <new>

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
// transcript keeps std::cout in hex for the rest of the run.
std::string RunPipeline(std::ostream& trace, ComStartUp::Scope comScope)
{
    trace << "In GetComputerID\n";
    trace << "InitializeCOM\n";
    const ComStartUp com(comScope);
    trace << "Done InitializeCOM\n";
    // The platform information is released before the caller takes the ID.
    const std::string platformInfo = CreateComputerID(trace, 7);
    return CreateMessageDigest(platformInfo);
}

} // namespace

std::string GenerateComputerID(std::ostream& trace)
{
    const FlagsKeeper keeper(trace);
    try {
        return RunPipeline(trace, ComStartUp::Scope::ThisRun);
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

void InitializeCOM()
{
    ComStartUp::ThrowIfComStartFailed(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

void GetComputerID(std::string& computerId)
{
    try {
        computerId = RunPipeline(std::cout, ComStartUp::Scope::LeftStarted);
    } catch (const IDGenerationError& error) {
        std::cout << "Error: " << error.what() << std::endl;
    }
}

} // namespace Lib_ComputerID
