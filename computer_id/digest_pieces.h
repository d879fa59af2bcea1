#pragma once

#include <cstdint>
#include <string>

namespace Lib_ComputerID {

// CreateMessageDigest feeding texts longer than maxPiece bytes in pieces of at most maxPiece
// bytes (maxPiece must not be 0); the public one uses the largest piece the digest takes.
std::string CreateMessageDigest(const std::string& platformInfo, std::uint32_t maxPiece);

} // namespace Lib_ComputerID
