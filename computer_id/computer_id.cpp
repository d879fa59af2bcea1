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

// The pipeline with its trace on the given stream, which it leaves in hex: the console
// transcript keeps std::cout in hex for the rest of the run.
std::string RunPipeline(std::ostream& trace)
{
    trace << "In GetComputerID\n";
    trace << "InitializeCOM\n";
    InitializeCOM();
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
        return RunPipeline(trace);
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
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        throw ComFailure(ComFailureMessage(failure_messages::kComStart, hr), hr);
    }
}

void GetComputerID(std::string& computerId)
{
    try {
        computerId = RunPipeline(std::cout);
    } catch (const IDGenerationError& error) {
        std::cout << "Error: " << error.what() << std::endl;
    }
}

} // namespace Lib_ComputerID
