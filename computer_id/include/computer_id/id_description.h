#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace Lib_ComputerID {

// What an ID rests on, without any of the values it is made of.

enum class PropertyState {
    Value,        // a string, which enters the ID
    Null,         // null, or not a string: nothing of it enters the ID
    AccessDenied, // the read was refused (on Linux: a root-only file read by another user)
    Failed,       // the read failed otherwise (the property does not exist, say)
};

struct PropertyDescription {
    std::string name;
    PropertyState state;
    // A value that many machines share: a known placeholder such as "To be filled by O.E.M.",
    // "Default string" or "0", one character repeated, or blank.
    bool placeholder;
};

struct ObjectDescription {
    std::string className;                       // Win32_Processor, Win32_BaseBoard or Win32_BIOS
    std::vector<PropertyDescription> properties; // in the order they were read
};

struct IdDescription {
    std::vector<ObjectDescription> objects; // in the order the queries returned them
    // CPUID's hypervisor bit, and the hypervisor's vendor string when it gives one.
    bool hypervisor;
    std::string hypervisorVendor;
    // Whether the base board's or the BIOS's SerialNumber holds a value that is no
    // placeholder. Without one, every machine of this model gets the same ID.
    bool serialNumberBacked;
};

// Runs the pipeline as GenerateComputerID does, with its trace on the given stream, and
// describes what the ID rests on. A machine without any string value is described, not
// refused. Throws as GenerateComputerID does otherwise; threads and COM as there.
IdDescription DescribeComputerID(std::ostream& trace);

// The description's names as the C interface's JSON text writes them: "value", "null",
// "access denied", "failed".
const char* PropertyStateName(PropertyState state);

} // namespace Lib_ComputerID
