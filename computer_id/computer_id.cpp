#include "computer_id.h"

#include "hardware_inventory.h"
#include "id_generation_error.h"
#include "message_digest.h"
#include "trace_format.h"

#include <platform/com_wmi.h>

#include <iostream>

namespace Lib_ComputerID {

void InitializeCOM()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        TextStream<char> message;
        message << "Failed to initialize COM library. Error code = 0x" << std::hex << hr
                << std::endl;
        throw IDGenerationError(message.str().c_str());
    }
}

void GetComputerID(std::string& computerId)
{
    try {
        std::cout << "In GetComputerID\n";
        std::cout << "InitializeCOM\n";
        InitializeCOM();
        std::cout << "Done InitializeCOM\n";
        std::string id;
        {
            const std::string platformInfo = CreateComputerID(7);
            id = CreateMessageDigest(platformInfo);
        }
        computerId = std::move(id);
    } catch (const IDGenerationError& error) {
        std::cout << "Error: " << error.what() << std::endl;
    }
}

} // namespace Lib_ComputerID
