#pragma once

namespace platform {

// Waits for one key press without echo and without Enter, after flushing standard output.
// Returns at once when standard input is not a console or is at end of file. Ctrl-C, and
// on POSIX systems SIGTERM and SIGHUP, end the wait as a key does: the terminal gets its
// mode back and the caller goes on.
void WaitForKey();

// A program's writes to a pipe whose reader has gone fail instead of ending the process,
// so that its exit code stays its own.
void ContinueWhenOutputCloses();

} // namespace platform
