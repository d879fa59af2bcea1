// Internal to the digest library, in builds for x86-64: the block functions for processor
// extensions.
#pragma once

#include "sha_engines.h"

#include <cstddef>
#include <cstdint>
#include <immintrin.h>

// The rest of the library keeps the baseline instruction set: only functions marked with
// SHA_TARGET (SHA_TARGET_INLINE for their always inlined pieces) use the extensions, and they
// run only where the processor reported them. MSVC takes intrinsics anywhere and needs no mark.
#if defined(__GNUC__) || defined(__clang__)
#define SHA_TARGET(isa) __attribute__((target(isa)))
#define SHA_TARGET_INLINE(isa) __attribute__((target(isa), always_inline)) inline
#else
#define SHA_TARGET(isa)
#define SHA_TARGET_INLINE(isa) SHA_ALWAYS_INLINE
#endif

namespace sha_engines {

// Stores K[t] + W[t] of the AVX2 engines for their rounds. GCC would otherwise hand the words
// to rounds it sees nearby through vpextrd or vpextrq, an instruction more each than reading
// them as the operand of the addition (SHA-1: 830 instructions a block rather than 756); the
// empty asm tells it that the memory may have changed since.
SHA_TARGET_INLINE("avx2") void StoreForRounds(void* at, __m256i x)
{
    auto* const slot = static_cast<__m256i*>(at);
    _mm256_store_si256(slot, x);
#if defined(__GNUC__) || defined(__clang__)
    asm("" : "+m"(*slot));
#endif
}

void SHA1BlocksShaExtensions(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA1BlocksAvx2Bmi2(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA256BlocksShaExtensions(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA256BlocksAvx2Bmi2(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA512BlocksAvx2Bmi2Pairs(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA512BlocksAvx512Bmi2Pairs(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA512BlocksAvx2Bmi2(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA512BlocksAvx512Bmi2(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count);

} // namespace sha_engines
