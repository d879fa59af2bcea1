#include "console_flow.h"

#include <computer_id/computer_id.h>
#include <computer_id/id_generation_error.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

namespace computer_id_app {

namespace {

const char* const kCatchAll = "Some unknown exception got in the middle: ";
const char* const kPrompt = "Press any key..\n";

void (*runningKeyWait)() = nullptr;

// Reached when an exception cannot be raised at all (the runtime has no memory left even
// for its emergency store) or leaves a function that may not throw: the run ends the way
// the catch-all ends it, not with an abort.
[[noreturn]] void EndLikeTheCatchAll()
{
    std::cout << kCatchAll << true << "\n" << kPrompt;
    std::cout.flush();
    runningKeyWait();
    std::_Exit(0);
}

} // namespace

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
    runningKeyWait = waitForKey;
    const std::terminate_handler previousHandler = std::set_terminate(EndLikeTheCatchAll);
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
        std::cout << kCatchAll << static_cast<bool>(exception) << "\n";
    }
    std::cout << kPrompt;
    waitForKey();
    std::set_terminate(previousHandler);
    return 0;
}

} // namespace computer_id_app
