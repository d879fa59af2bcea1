#pragma once

#include <string>

namespace Lib_ComputerID {

// The computer ID text of a platform information text: its SHA-256 digest, the first byte
// as two lowercase hex digits, each later byte without a leading zero (33 to 64 digits).
// Throws IDGenerationError for an empty text and for every failing digest stage. Touches
// no shared state: safe to call from several threads at once.
std::string CreateMessageDigest(const std::string& platformInfo);

} // namespace Lib_ComputerID
