#include "console_flow.h"

#include <computer_id/computer_id.h>
#include <computer_id/id_generation_error.h>

#include <exception>
#include <iostream>
#include <string>

namespace computer_id_app {

void TryInitializeCOM()
{
    try {
        Lib_ComputerID::InitializeCOM();
    } catch (const Lib_ComputerID::IDGenerationError& error) {
        std::cout << "Error: " << error.what() << std::endl;
    }
}

int RunConsole(void (*waitForKey)())
{
    try {
        std::cout << "Calling InitializeCOM\n";
        TryInitializeCOM();
        std::cout << "Done InitializeCOM\n";
        std::string computerId;
        std::cout << "Calling GetComputerID\n";
        Lib_ComputerID::GetComputerID(computerId);
        std::cout << "Done GetComputerID\n";
        if (!computerId.empty())
            std::cout << "comp id = " << computerId;
        else
            std::cout << "Failed to generate comp_id";
        std::cout << std::endl;
    } catch (...) {
        const std::exception_ptr exception = std::current_exception();
        std::cout << "Some unknown exception got in the middle: " << static_cast<bool>(exception)
                  << "\n";
    }
    std::cout << "Press any key..\n";
    waitForKey();
    return 0;
}

} // namespace computer_id_app
