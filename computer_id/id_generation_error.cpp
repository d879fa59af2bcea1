#include <computer_id/id_generation_error.h>

#include "failure_messages.h"

#include <new>

namespace Lib_ComputerID {

IDGenerationError::IDGenerationError(const char* message) noexcept
{
    if (message == nullptr)
        return;
    try {
        message_ = std::make_shared<const std::string>(message);
    } catch (const std::bad_alloc&) {
        message_.reset();
    }
}

const char* IDGenerationError::what() const noexcept
{
    return message_ ? message_->c_str() : failure_messages::kUnknown;
}

} // namespace Lib_ComputerID
