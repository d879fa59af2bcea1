#pragma once

#include <exception>
#include <memory>
#include <string>

namespace Lib_ComputerID {

// The computer ID library's one exception type. It keeps a copy of the message; when no
// memory can be had for the copy, what() says "Unknown exception" instead of throwing.
struct IDGenerationError : std::exception {
    explicit IDGenerationError(const char* message) noexcept;
    const char* what() const noexcept override;

private:
    std::shared_ptr<const std::string> message_;
};

} // namespace Lib_ComputerID
