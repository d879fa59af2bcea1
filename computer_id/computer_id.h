#pragma once

#include <string>

namespace Lib_ComputerID {

// Starts COM on the calling thread, apartment-threaded. Starting it again on the same
// thread is not a failure. Throws IDGenerationError when COM cannot be started.
void InitializeCOM();

// Runs the whole pipeline (COM start-up, hardware inventory, digest) with its trace on
// standard output and moves the ID text into computerId on success. Reports its own
// IDGenerationError as an "Error: " line and leaves computerId untouched; other exceptions
// pass through.
void GetComputerID(std::string& computerId);

} // namespace Lib_ComputerID
