#pragma once

#include <string>

namespace Lib_ComputerID {

// Starts COM on the calling thread, apartment-threaded. Starting it again on the same
// thread is not a failure. Throws IDGenerationError when COM cannot be started.
void InitializeCOM();

// Runs the whole pipeline (COM start-up, hardware inventory, digest) with its trace on
// standard output and moves the ID text into computerId on success. Reports its own
// IDGenerationError as an "Error: " line and leaves computerId untouched; other exceptions
// (an exhausted allocation among them) pass through, so a run never yields another ID.
// The trace switches std::cout to hexadecimal integers for good. Not safe to call from two
// threads at once: both would write std::cout and its flags. Messages and the ID do not
// depend on the global locale.
void GetComputerID(std::string& computerId);

} // namespace Lib_ComputerID
