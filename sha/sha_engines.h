// Internal to the digest library: the block functions of each engine family, one portable and,
// on x86-64, one for processor extensions, and which of them a family runs. A block function
// compresses `count` consecutive blocks into the hash value H.
//
// Built with SHA_PORTABLE_ONLY defined, the library leaves the processor-specific functions
// out and always runs the portable ones, as on every processor but x86-64; with
// SHA_WITHOUT_AVX512 it leaves out the AVX-512 one, as if the processor had none. The tests and
// the benchmark build these variants so as to run every engine where the full library would
// pick another.
#pragma once

#include <cstddef>
#include <cstdint>

#if !defined(SHA_PORTABLE_ONLY) &&                                                                 \
    (defined(__x86_64__) || (defined(_M_X64) && !defined(_M_ARM64EC)))
#define SHA_X86_ENGINES 1
#else
#define SHA_X86_ENGINES 0
#endif

#if SHA_X86_ENGINES && !defined(SHA_WITHOUT_AVX512)
#define SHA_AVX512_ENGINE 1
#else
#define SHA_AVX512_ENGINE 0
#endif

// For the pieces of the block functions: at -O2 GCC keeps a call to anything the size of a
// few rounds, and the working variables then live in memory.
#if defined(__GNUC__) || defined(__clang__)
#define SHA_ALWAYS_INLINE [[gnu::always_inline]] inline
#elif defined(_MSC_VER)
#define SHA_ALWAYS_INLINE __forceinline
#else
#define SHA_ALWAYS_INLINE inline
#endif

// Keeps the compiler from reordering a sum across it. The rounds add their terms in the order
// they become ready, so that the one that arrives last, late in the round's chain of
// dependencies, waits for one addition only; GCC otherwise sorts the terms its own way and
// puts three additions after it.
#if defined(__has_builtin)
#if __has_builtin(__builtin_assoc_barrier)
#define SHA_ASSOC_BARRIER(x) __builtin_assoc_barrier(x)
#endif
#endif
#ifndef SHA_ASSOC_BARRIER
#define SHA_ASSOC_BARRIER(x) (x)
#endif

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

enum class Engine {
    Portable,
    ShaExtensions, // SHA-1 and SHA-256 rounds and schedule in the x86 SHA instructions
    Avx2Bmi2,      // SHA-512 schedule in AVX2 vectors, rounds in BMI2 rotates
    Avx512Bmi2,    // the same with the vector rotations and XORs of AVX-512VL
};

const char* EngineName(Engine engine);

// The engine that each family runs in this build on this processor.
Engine SHA1Engine();
Engine SHA224_256Engine();
Engine SHA384_512Engine();

void SHA1BlocksPortable(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA256BlocksPortable(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA512BlocksPortable(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count);

#if SHA_X86_ENGINES
struct CpuFeatures {
    bool sha_extensions; // SHA, with the SSSE3 and SSE4.1 shuffles around it
    bool avx2_bmi2;      // AVX2 and BMI2, with the operating system saving the AVX state
    bool avx512vl;       // AVX-512F and VL, with the operating system saving the AVX-512 state
};

// Asked of the processor once, on first use, by whichever thread gets there first.
const CpuFeatures& DetectedCpuFeatures();

void SHA1BlocksShaExtensions(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA256BlocksShaExtensions(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA512BlocksAvx2Bmi2(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count);
#endif
#if SHA_AVX512_ENGINE
void SHA512BlocksAvx512Bmi2(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count);
#endif

} // namespace sha_engines
