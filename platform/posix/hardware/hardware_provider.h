// The provider that answers Win32_Processor, Win32_BaseBoard and Win32_BIOS from this
// machine: CPUID (MIDR_EL1 on 64-bit ARM) for the processor, SMBIOS through sysfs for the board and
// the BIOS, with the values that Windows' WMI gives for the same hardware. Files are read below a
// root folder, "/" for the program and a fake tree for tests.
#pragma once

#include "file_reader.h"
#include "processor.h"

#include <platform/com_wmi.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace platform::wmi {
struct ClassDefinition;
}

namespace platform::hardware {

class HardwareProvider {
public:
    // This machine's processor (MachineProcessor), read by each processor query.
    explicit HardwareProvider(const std::filesystem::path& root);
    HardwareProvider(const std::filesystem::path& root,
                     const std::shared_ptr<const FileReader>& files);
    // A given processor identity, for every processor package.
    HardwareProvider(const std::filesystem::path& root,
                     const std::shared_ptr<const FileReader>& files,
                     const ProcessorIdentity& processor);

    // *locator receives one reference to a new locator over ROOT\CIMV2 with the three classes.
    HRESULT CreateLocator(IWbemLocator** locator) const;

private:
    std::shared_ptr<const std::vector<wmi::ClassDefinition>> classes_;
};

// *locator receives one reference to a new locator over this machine (the root "/"), with a
// provider of its own that it frees when it is released; no state is kept between calls, so
// a call from an atexit handler or a static object's destructor runs as any other does.
HRESULT CreateMachineLocator(IWbemLocator** locator);

} // namespace platform::hardware
