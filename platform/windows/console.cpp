#include <platform/console.h>

#include <conio.h>
#include <windows.h>

#include <iostream>

namespace platform {

void WaitForKey()
{
    std::cout.flush();
    // _getch() on a redirected or closed standard input would block or read a byte of a
    // pipe or file instead of a key; only a console has a console mode.
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode))
        return;
    _getch();
}

} // namespace platform
