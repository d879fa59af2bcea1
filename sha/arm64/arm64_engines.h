// Internal to the digest library, in builds for 64-bit ARM: the block functions for the
// ARMv8 Cryptography Extension and the ARMv8.2 SHA-512 instructions.
#pragma once

#include <cstddef>
#include <cstdint>

// The rest of the library keeps the ARMv8-A baseline: only functions marked with SHA_TARGET
// (SHA_TARGET_INLINE for their always inlined pieces) use the SHA instructions, and they run
// only where the kernel reported them. GCC names the SHA-512 instructions' extension "sha3".
#define SHA_TARGET(extensions) __attribute__((target(extensions)))
#define SHA_TARGET_INLINE(extensions) __attribute__((target(extensions), always_inline)) inline

namespace sha_engines {

void SHA1BlocksArmv8(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA256BlocksArmv8(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA512BlocksArmv82(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count);

} // namespace sha_engines
