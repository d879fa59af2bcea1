#pragma once

namespace computer_id_app {

// Starts COM on main's own account; a failure is reported as an "Error: " line.
void TryInitializeCOM();

// The console program: traces the start-up, prints "comp id = " and the ID or that there is
// none, reports any other exception in one line, then waits with waitForKey. Returns 0.
// Should the runtime terminate the process meanwhile (no memory left to raise an
// exception), the run ends as the catch-all ends it: the line, the prompt, the key wait,
// exit code 0.
int RunConsole(void (*waitForKey)());

} // namespace computer_id_app
