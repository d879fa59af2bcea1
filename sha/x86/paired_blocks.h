// Internal to the digest library, in builds for x86-64: what the SHA-256 and SHA-512 engines
// that take blocks in pairs share. Their message schedules run side by side in 256-bit vectors,
// the first block in the low 128-bit half and the second in the high one, Step_Words words of
// each a step, and the steps store K[t] + W[t] of both blocks where the rounds read them.
#pragma once

#include "sha2.h"
#include "x86_engines.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <immintrin.h>

namespace paired_blocks {

// Where round t of block 0 or 1 finds K[t] + W[t]: each Step_Words rounds from a multiple of
// Step_Words on take twice as many words, the first block's and then the second's, as one
// vector stores them.
template <std::size_t Step_Words>
constexpr std::size_t Slot(std::size_t t, std::size_t block)
{
    return 2 * Step_Words * (t / Step_Words) + Step_Words * block + t % Step_Words;
}

// The round constants laid out as the slots: K[t] for both blocks.
template <std::size_t Step_Words, class Word, std::size_t Rounds>
constexpr std::array<Word, 2 * Rounds> PairedConstants(const Word (&K)[Rounds])
{
    std::array<Word, 2 * Rounds> paired{};
    for (std::size_t t = 0; t < Rounds; ++t) {
        paired[Slot<Step_Words>(t, 0)] = K[t];
        paired[Slot<Step_Words>(t, 1)] = K[t];
    }
    return paired;
}

SHA_TARGET_INLINE("avx2") __m256i Load(const void* at)
{
    return _mm256_load_si256(static_cast<const __m256i*>(at));
}

// In place of a step of the schedule, for the rounds that run without one.
struct NoStep {
    void operator()(std::size_t /*j*/) const {}
};

// The working variables of a block, with what sha2::OrderedRound keeps of b and c.
template <class Word>
struct Working {
    Word a, b, c, d, e, f, g, h;
    Word b_xor_c;

    explicit Working(const Word* H)
        : a(H[0]), b(H[1]), c(H[2]), d(H[3]), e(H[4]), f(H[5]), g(H[6]), h(H[7]),
          b_xor_c(H[1] ^ H[2])
    {
    }

    void AddTo(Word* H) const
    {
        H[0] += a;
        H[1] += b;
        H[2] += c;
        H[3] += d;
        H[4] += e;
        H[5] += f;
        H[6] += g;
        H[7] += h;
    }
};

} // namespace paired_blocks
