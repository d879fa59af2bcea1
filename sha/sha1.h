// Internal to the digest library: SHA-1's constants (FIPS 180-4, section 4.2.1), shared by its
// portable engine and those for processor extensions.
#pragma once

#include <cstdint>

namespace sha1 {

// One constant for each group of 20 rounds.
inline constexpr std::uint32_t K[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};

} // namespace sha1
