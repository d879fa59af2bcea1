// Prints this machine's computer ID and nothing else. When there is none, prints why on
// standard error and exits with code 1.
#include <computer_id/computer_id.h>
#include <computer_id/id_generation_error.h>

#include <iostream>
#include <ostream>
#include <string>

int main()
{
    // A stream without a buffer discards the trace; a log file would keep it.
    std::ostream noTrace(nullptr);
    try {
        std::cout << Lib_ComputerID::GenerateComputerID(noTrace) << '\n';
    } catch (const Lib_ComputerID::IDGenerationError& error) {
        // Most messages end in a newline already.
        const std::string message = error.what();
        std::cerr << message << (message.ends_with('\n') ? "" : "\n");
        return 1;
    }
    return 0;
}
