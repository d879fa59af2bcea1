#pragma once

namespace computer_id_app {

// Starts COM on main's own account; a failure is reported as an "Error: " line.
void TryInitializeCOM();

// The console program: traces the start-up, prints "comp id = " and the ID or that there is
// none, reports any other exception in one line, then waits with waitForKey. Returns 0.
int RunConsole(void (*waitForKey)());

} // namespace computer_id_app
