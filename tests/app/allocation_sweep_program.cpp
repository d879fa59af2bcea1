// The console program with an allocator that fails: the Nth allocation of the run returns
// null, as malloc does when memory runs out.
//
//   allocation_sweep_program scripted FAILURE N        over a scripted inventory
//   allocation_sweep_program machine FAILURE N         over this machine, as the program runs
//   allocation_sweep_program tree FAILURE N ROOT [MAX_DESCRIPTORS]
//                             over the hardware provider on the tree at ROOT
//
// FAILURE "once" fails the Nth allocation only; "exhausted" fails it and every later one,
// and leaves no memory to raise an exception in either, as when the runtime's emergency
// store could not be set up; "quiet" fails the Nth allocation only, in one call of
// GenerateComputerID instead of the console program, and standard output then gets
// "comp id = " and the ID, "std::bad_alloc" or "another exception" on a line. N = 0 fails
// nothing. Otherwise standard output is the console program's;
// standard error gets one line, "allocations K", with the number of allocations the run
// asked for, and for the scripted inventory one more line per interface released more
// often than it was handed out.
#include "console_flow.h"

#include <computer_id/computer_id.h>
#include <platform/posix/hardware/hardware_provider.h>
#include <support/scripted_platform/provider.h>
#include <support/scripted_platform/scripted_wmi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <string>

#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

bool armed = false;
bool exhausted = false;
long allocations = 0;
long failingAllocation = 0;

bool OutOfMemory()
{
    return exhausted && failingAllocation != 0 && allocations >= failingAllocation;
}

bool FailsNow()
{
    if (!armed)
        return false;
    ++allocations;
    if (allocations != failingAllocation && !OutOfMemory())
        return false;
    errno = ENOMEM;
    return true;
}

void AddInventory(platform::scripted::ScriptedWmi& wmi)
{
    for (const wchar_t* id : {L"CPU0", L"CPU1"}) {
        wmi.AddObject(L"Win32_Processor")
            .String(L"DeviceID", id)
            .String(L"Manufacturer", L"GenuineIntel")
            .String(L"Name", L"Intel(R) Xeon(R) Gold 6230 CPU @ 2.10GHz")
            .String(L"Description", L"Intel64 Family 6 Model 85 Stepping 7")
            .String(L"ProcessorId", L"BFEBFBFF00050657");
    }
    wmi.AddObject(L"Win32_BaseBoard")
        .String(L"SerialNumber", L"BSN-4711")
        .String(L"Manufacturer", L"Supermicro")
        .String(L"Product", L"X11DPi-N")
        .Null(L"Model")
        .Null(L"OtherIdentifyingInfo");
    wmi.AddObject(L"Win32_BIOS")
        .String(L"Manufacturer", L"American Megatrends Inc.")
        .String(L"SerialNumber", L"0123456789");
}

void Report(const std::string& text)
{
    (void)!::write(STDERR_FILENO, text.data(), text.size());
}

// One call of the quiet entry; standard output gets, once the allocator is disarmed,
// "comp id = " and the ID, or what left the call.
void RunQuietEntry()
{
    std::ostream noTrace(nullptr);
    std::string id;
    const char* outcome = "comp id = ";
    try {
        id = Lib_ComputerID::GenerateComputerID(noTrace);
    } catch (const std::bad_alloc&) {
        outcome = "std::bad_alloc";
    } catch (...) {
        outcome = "another exception";
    }
    armed = false;
    const std::string line = outcome + id + "\n";
    (void)!::write(STDOUT_FILENO, line.data(), line.size());
}

// "... handed out H, released R" lines of the script's release accounting with R > H.
std::string OverReleases(const std::string& problems)
{
    std::string found;
    std::size_t start = 0;
    while (start < problems.size()) {
        const std::size_t end = problems.find('\n', start);
        const std::string line = problems.substr(start, end - start);
        start = end == std::string::npos ? problems.size() : end + 1;
        const std::size_t handedOut = line.rfind("handed out ");
        const std::size_t released = line.rfind("released ");
        if (handedOut != std::string::npos && released != std::string::npos &&
            std::strtoul(line.c_str() + released + 9, nullptr, 10) >
                std::strtoul(line.c_str() + handedOut + 11, nullptr, 10))
            found += "released too often: " + line + "\n";
    }
    return found;
}

} // namespace

// The allocator's and the runtime's own entry points, which the names of the functions
// that stand in for them must be.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" {
// The runtime calls std::terminate when it has no memory for an exception object.
void* __cxa_allocate_exception(std::size_t size) noexcept
{
    using Allocate = void* (*)(std::size_t) noexcept;
    static const auto allocate =
        reinterpret_cast<Allocate>(::dlsym(RTLD_NEXT, "__cxa_allocate_exception"));
    if (armed && OutOfMemory())
        std::terminate();
    return allocate(size);
}

void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);

void* malloc(std::size_t size)
{
    return FailsNow() ? nullptr : __libc_malloc(size);
}
void* calloc(std::size_t nmemb, std::size_t size)
{
    return FailsNow() ? nullptr : __libc_calloc(nmemb, size);
}
void* realloc(void* ptr, std::size_t size)
{
    return FailsNow() ? nullptr : __libc_realloc(ptr, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    return FailsNow() ? nullptr : __libc_memalign(alignment, size);
}
int posix_memalign(void** memptr, std::size_t alignment, std::size_t size)
{
    if (FailsNow())
        return ENOMEM;
    *memptr = __libc_memalign(alignment, size);
    return *memptr == nullptr ? ENOMEM : 0;
}
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

int main(int argc, char** argv)
{
    const std::string mode = argc > 3 ? argv[1] : "";
    const std::string failure = argc > 3 ? argv[2] : "";
    if ((mode != "scripted" && mode != "tree" && mode != "machine") ||
        (failure != "once" && failure != "exhausted" && failure != "quiet") ||
        (mode == "tree" ? argc != 5 && argc != 6 : argc != 4)) {
        (void)std::fprintf(stderr,
                           "usage: %s scripted|machine once|exhausted|quiet N\n"
                           "       %s tree once|exhausted|quiet N ROOT [MAX_DESCRIPTORS]\n",
                           argv[0], argv[0]);
        return 2;
    }
    exhausted = failure == "exhausted";
    failingAllocation = std::strtol(argv[3], nullptr, 10);

    std::optional<platform::scripted::ScriptedWmi> scripted;
    std::unique_ptr<platform::hardware::HardwareProvider> hardware;
    std::optional<platform::scripted::HardwareInstallation> installation;
    if (mode == "scripted") {
        AddInventory(scripted.emplace());
    } else if (mode == "tree") {
        hardware = std::make_unique<platform::hardware::HardwareProvider>(argv[4]);
        installation.emplace(*hardware);
        if (argc == 6) {
            const rlimit descriptors{std::strtoul(argv[5], nullptr, 10),
                                     std::strtoul(argv[5], nullptr, 10)};
            ::setrlimit(RLIMIT_NOFILE, &descriptors);
        }
    }

    armed = true;
    int status = 0;
    if (failure == "quiet")
        RunQuietEntry();
    else
        status = computer_id_app::RunConsole([] {});
    armed = false;

    Report("allocations " + std::to_string(allocations) + "\n");
    if (scripted)
        Report(OverReleases(scripted->ReleaseProblems()));
    return status;
}
