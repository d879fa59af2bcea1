#pragma once

#include <string>

namespace platform {

struct Hypervisor {
    bool present;
    std::string vendor; // empty when the hypervisor gives none
};

// What the processor says of a hypervisor under it: CPUID leaf 1's ECX bit 31, and the
// vendor string of leaf 0x40000000 ("KVMKVMKVM", "Microsoft Hv", ...). Not on x86: none.
Hypervisor DetectHypervisor();

} // namespace platform
