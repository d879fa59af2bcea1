#pragma once

namespace platform {

// Waits for one key press without echo and without Enter, after flushing standard output.
// Returns at once when standard input is not a console or is at end of file, and when the
// prompt could not be written. Ctrl-C, and on POSIX systems SIGTERM and SIGHUP, end the wait
// as a key does: the terminal gets its mode back and the caller goes on.
// On POSIX systems also: a process outside the terminal's foreground process group does not
// wait; the wait ends when standard output's reader goes away; Ctrl-Z stops the process with
// the terminal's mode put back, and the wait goes on in key mode once it is continued; any
// other signal that ends the process by default, unless the program handles or ignores it,
// puts the mode back first. SIGKILL cannot be caught: it leaves the mode as it is.
void WaitForKey();

// A program's writes to a pipe whose reader has gone fail instead of ending the process,
// so that its exit code stays its own.
void ContinueWhenOutputCloses();

} // namespace platform
