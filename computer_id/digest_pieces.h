#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace Lib_ComputerID {

// CreateMessageDigest feeding texts longer than maxPiece bytes in pieces of at most maxPiece
// bytes (maxPiece must not be 0); the public one uses the largest piece the digest takes.
std::string CreateMessageDigest(const std::string& platformInfo, std::uint32_t maxPiece);

// The application's ID of a platform information text: its HMAC-SHA-256 keyed with appKey,
// every byte as two lowercase hex digits. Throws IDGenerationError for an empty text and
// for every failing digest stage.
std::string CreateAppSpecificDigest(const std::string& platformInfo,
                                    std::span<const std::uint8_t> appKey);

} // namespace Lib_ComputerID
