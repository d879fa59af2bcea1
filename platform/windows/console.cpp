#include <platform/console.h>

#include <conio.h>
#include <windows.h>

#include <iostream>

namespace platform {

void WaitForKey()
{
    // The prompt before the wait ends in a plain newline, which does not flush. A prompt
    // that could not be written asks nobody.
    std::cout.flush();
    if (!std::cout)
        return;
    // _getch() reads the console itself, not standard input: with input redirected from a
    // file or pipe it would still wait for a key, and without a console it fails. Only a
    // console handle has a console mode.
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode))
        return;
    _getch();
}

// Windows has no signal for a pipe without reader: the write fails and the program goes on.
void ContinueWhenOutputCloses() {}

} // namespace platform
