// Internal to the digest library: the engines of each family, one portable and, in builds for
// x86-64 and 64-bit ARM, ones for processor extensions, and the one that each family runs. A
// block function compresses `count` consecutive blocks into the hash value H.
//
// Which engines a build holds is the choice of its build files: the portable set
// (portable_engines.cpp), the x86-64 set (x86/engines.cpp) or the 64-bit ARM set
// (arm64/engines.cpp). The tests and the benchmark also build the library with the portable
// set, and on x86-64 with the x86-64 set less its AVX-512 engine, so as to run every engine
// where the full library would pick another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

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

namespace sha_engines {

template <class Word>
using BlockFunction = void (*)(Word* H, const std::uint8_t* blocks, std::size_t count);

enum class Engine {
    Portable,
    ShaExtensions,         // SHA-1 and SHA-256 rounds and schedule in the x86 SHA instructions
    Avx2Bmi2,              // two blocks' schedules in AVX2 vectors, rounds in BMI1 and BMI2
    Avx512Bmi2,            // the same with the vector rotations and XORs of AVX-512VL
    Avx2Bmi2ShortChains,   // SHA-512 one block at a time, rounds with short dependency chains
    Avx512Bmi2ShortChains, // the same with the vector rotations and XORs of AVX-512VL
    Armv8Sha1,             // SHA-1 rounds and schedule in the ARMv8 SHA-1 instructions
    Armv8Sha256,           // SHA-256 rounds and schedule in the ARMv8 SHA-256 instructions
    Armv82Sha512,          // SHA-512 rounds and schedule in the ARMv8.2 SHA-512 instructions
};

const char* EngineName(Engine engine);

template <class Word>
struct Implementation {
    Engine engine;
    BlockFunction<Word> blocks;
};

// Each family's engines in this build, best first, ending with the portable one.
struct Engines {
    std::span<const Implementation<std::uint32_t>> sha1;
    std::span<const Implementation<std::uint32_t>> sha224_256;
    std::span<const Implementation<std::uint64_t>> sha384_512;
};

const Engines& BuiltEngines();

// Whether this processor can run the engine and it is one the engine is meant for; the
// processor is asked once, on first use.
bool RunsHere(Engine engine);

struct Choice {
    Implementation<std::uint32_t> sha1;
    Implementation<std::uint32_t> sha224_256;
    Implementation<std::uint64_t> sha384_512;
};

// The first engine of each family in BuiltEngines that RunsHere; picked on first use, by
// whichever thread gets there first, and kept for the life of the program.
const Choice& ChosenEngines();

void SHA1BlocksPortable(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA256BlocksPortable(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count);
void SHA512BlocksPortable(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count);

// The last entry of each family's list in every build.
inline constexpr Implementation<std::uint32_t> SHA1Portable{Engine::Portable, SHA1BlocksPortable};
inline constexpr Implementation<std::uint32_t> SHA224_256Portable{Engine::Portable,
                                                                  SHA256BlocksPortable};
inline constexpr Implementation<std::uint64_t> SHA384_512Portable{Engine::Portable,
                                                                  SHA512BlocksPortable};

} // namespace sha_engines
