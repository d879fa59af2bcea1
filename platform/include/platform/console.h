#pragma once

namespace platform {

// Waits for one key press without echo and without Enter. Returns at once when standard
// input is not a console or is at end of file.
void WaitForKey();

} // namespace platform
