#pragma once

#include <computer_id/sha/sha.h>

#include <cstdint>
#include <limits>
#include <string>

namespace Lib_ComputerID {

// The digest operations CreateMessageDigest drives; tests substitute failing ones.
struct DigestOperations {
    int (*reset)(USHAContext*, SHAversion);
    int (*input)(USHAContext*, const std::uint8_t*, std::uint32_t);
    int (*finalBits)(USHAContext*, std::uint8_t, std::uint32_t);
    int (*result)(USHAContext*, std::uint8_t*);
};

inline constexpr DigestOperations kUSHAOperations{USHAReset, USHAInput, USHAFinalBits, USHAResult};
inline constexpr std::uint32_t kMaxDigestInputPiece = std::numeric_limits<std::uint32_t>::max();

// The computer ID text of a platform information text: its SHA-256 digest, the first byte
// as two lowercase hex digits, each later byte without a leading zero (33 to 64 digits).
// Throws IDGenerationError for an empty text and for every failing digest stage. Touches
// no shared state: safe to call from several threads at once.
std::string CreateMessageDigest(const std::string& platformInfo);

// As above, through the given operations, feeding texts longer than maxPiece bytes in
// pieces of at most maxPiece bytes (maxPiece must not be 0).
std::string CreateMessageDigest(const std::string& platformInfo, const DigestOperations& sha,
                                std::uint32_t maxPiece);

} // namespace Lib_ComputerID
