// SHA-384 and SHA-512 on AVX2 and BMI2, and on AVX-512VL and BMI2, one block at a time with
// short chains of dependencies: the engines for AMD's cores from family 26 on, whose six
// integer ALUs leave the rounds' chains to set the pace (sha512_avx_pairs.cpp has those for
// cores with four).
#include "x86_engines.h"

#include "sha2.h"
#include "sha_core.h"
#include "sha_engines.h"
#include <computer_id/sha/sha.h>

#include <cstddef>
#include <cstdint>
#include <immintrin.h>

// One block at a time, its 80 rounds as five groups of sixteen, the first four in a loop.
// Written out, the rounds of two blocks (some 23 KB of code) ran at 7.6 cycles a round on an
// AMD family-26 core, the same rounds in a loop at 5.8. That core has no performance counters
// to show why; likely the written-out code no longer fits the cache of decoded operations, and
// the decoders deliver fewer operations a cycle than the rounds need. The message schedule runs in
// 128-bit vectors, two words a step, one step after every pair of rounds and 16 words ahead of the
// rounds that use them; the steps keep K[t] + W[t] in memory, where each round reads it as the
// operand of an addition. The last sixteen rounds of a block load the first 16 words of the next
// one.
//
// The same code is built twice: for AVX2, and for AVX-512VL, where the compiler turns the
// schedule's rotations into vprorq and its three-way XORs into vpternlogq, and keeps the
// schedule in its 32 vector registers. The pieces are marked for AVX2 only, which lets them be
// inlined into either.
namespace {

#define SHA512_ISA "avx2,bmi2"

// What Maj needs of the round's b and c: b XOR c and b AND c, kept from the round before.
struct MajTerms {
    std::uint64_t b_xor_c;
    std::uint64_t b_and_c;
};

// The round with the chains of dependencies from e to the new e and from a to the new a four
// operations long each (the textbook order makes them five): the terms known early
// (h + K[t] + W[t] + d, then Ch) are summed before Sigma1(e), which comes last, and T1 is taken
// back out of the new e. Maj(a, b, c) is (a AND (b XOR c)) + (b AND c), two terms with no bit
// in common, of which only the first waits for a.
SHA_ALWAYS_INLINE void FastRound(std::uint64_t a, std::uint64_t b, MajTerms& maj, std::uint64_t& d,
                                 std::uint64_t e, std::uint64_t f, std::uint64_t g,
                                 std::uint64_t& h, std::uint64_t k_plus_w)
{
    const std::uint64_t h_k_w_d = SHA_ASSOC_BARRIER(h + k_plus_w) + d;
    const std::uint64_t new_e =
        SHA_ASSOC_BARRIER(h_k_w_d + sha_core::Ch(e, f, g)) + sha2::Sigma1(e);
    const std::uint64_t T1 = new_e - d;
    h = SHA_ASSOC_BARRIER(SHA_ASSOC_BARRIER(T1 + maj.b_and_c) + (a & maj.b_xor_c)) +
        sha2::Sigma0(a);
    maj = {a ^ b, a & b};
    d = new_e;
}

SHA_TARGET_INLINE(SHA512_ISA) __m128i Load(const void* at)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(at));
}

SHA_TARGET_INLINE(SHA512_ISA) void Store(void* at, __m128i x)
{
    _mm_storeu_si128(static_cast<__m128i*>(at), x);
}

template <int N>
SHA_TARGET_INLINE(SHA512_ISA)
__m128i RotateRight(__m128i x)
{
    return _mm_or_si128(_mm_srli_epi64(x, N), _mm_slli_epi64(x, 64 - N));
}

// sigma0 or sigma1 of two words: rotated by the first two of FIPS 180-4's amounts, shifted by
// the third.
template <int Rotate, int Rotate_Again, int Shift>
SHA_TARGET_INLINE(SHA512_ISA)
__m128i TwoSigma(__m128i x)
{
    return _mm_xor_si128(_mm_xor_si128(RotateRight<Rotate>(x), RotateRight<Rotate_Again>(x)),
                         _mm_srli_epi64(x, Shift));
}

constexpr const sha2::Amounts& SHA512_Amounts = sha2::Parameters<std::uint64_t>::amounts;

SHA_TARGET_INLINE(SHA512_ISA) __m128i TwoSigma0(__m128i x)
{
    constexpr const int(&r)[3] = SHA512_Amounts.sigma0;
    return TwoSigma<r[0], r[1], r[2]>(x);
}

SHA_TARGET_INLINE(SHA512_ISA) __m128i TwoSigma1(__m128i x)
{
    constexpr const int(&r)[3] = SHA512_Amounts.sigma1;
    return TwoSigma<r[0], r[1], r[2]>(x);
}

// The schedule's last 16 words, as a ring: for the 16 words from some t on (t a multiple of
// 16), pair j holds W[t + 2j] and W[t + 2j + 1]. With AVX2's 16 vector registers the ring lives
// in memory: a step reads pairs that earlier steps stored whole, so every load takes its value
// from one store, and only the pair the step before gave comes in a register, the one value
// that each step waits for.
struct Ring {
    alignas(16) std::uint64_t words[16];
    __m128i last;
};

SHA_TARGET_INLINE(SHA512_ISA) __m128i Pair(const Ring& ring, std::size_t j)
{
    return Load(ring.words + 2 * (j & 7));
}

// Replaces pair j with the words 16 later, after pair j - 1, and stores them with their
// constants from k at kw.
SHA_TARGET_INLINE(SHA512_ISA)
void NextWords(Ring& ring, std::size_t j, std::uint64_t* kw, const std::uint64_t* k)
{
    const __m128i w16 = Pair(ring, j);
    const __m128i w15 = _mm_alignr_epi8(Pair(ring, j + 1), w16, 8);
    const __m128i w7 = _mm_alignr_epi8(Pair(ring, j + 5), Pair(ring, j + 4), 8);
    // Summed before sigma1 of the pair the step before gave, so that the chain from step to
    // step is sigma1 and one addition.
    const __m128i early = _mm_add_epi64(_mm_add_epi64(w16, TwoSigma0(w15)), w7);
    ring.last = _mm_add_epi64(SHA_ASSOC_BARRIER(early), TwoSigma1(ring.last));
    Store(ring.words + 2 * j, ring.last);
    Store(kw, _mm_add_epi64(ring.last, Load(k)));
}

// Words 2j and 2j + 1 of the block into pair j, and with their constants into kw.
SHA_TARGET_INLINE(SHA512_ISA)
void LoadWords(Ring& ring, std::size_t j, std::uint64_t* kw, const std::uint8_t* block)
{
    // Each 64-bit lane from its eight bytes, most significant first.
    const __m128i byte_swap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    ring.last = _mm_shuffle_epi8(Load(block + 16 * j), byte_swap);
    Store(ring.words + 2 * j, ring.last);
    Store(kw, _mm_add_epi64(ring.last, Load(sha2::SHA512_K + 2 * j)));
}

// Run after the j-th pair of a group of sixteen rounds that start at round t: the step of the
// schedule that gives words t + 16 + 2j and t + 17 + 2j.
struct ScheduleStep {
    Ring& ring;
    std::uint64_t* kw; // K[t] + W[t] on
    std::size_t t;

    SHA_TARGET_INLINE(SHA512_ISA) void operator()(std::size_t j) const
    {
        NextWords(ring, j, kw + t + 16 + 2 * j, sha2::SHA512_K + t + 16 + 2 * j);
    }
};

// Run in the place of a step: words 2j and 2j + 1 of the next block.
struct NextBlockWords {
    Ring& ring;
    std::uint64_t* kw;
    const std::uint8_t* block;

    SHA_TARGET_INLINE(SHA512_ISA) void operator()(std::size_t j) const
    {
        LoadWords(ring, j, kw + 2 * j, block);
    }
};

// Eight rounds on kw[0] to kw[7], with step(first + j) run after the j-th pair. The working
// variables come one by one rather than as an array: from an array, GCC put two-cycle `lea`s on
// the rounds' chains, and the rounds took 5.5 cycles each on family 26 rather than 5.1.
template <class Step>
SHA_TARGET_INLINE(SHA512_ISA)
void EightRounds(std::uint64_t& a, std::uint64_t& b, std::uint64_t& c, std::uint64_t& d,
                 std::uint64_t& e, std::uint64_t& f, std::uint64_t& g, std::uint64_t& h,
                 MajTerms& maj, const std::uint64_t* kw, Step step, std::size_t first)
{
    FastRound(a, b, maj, d, e, f, g, h, kw[0]);
    FastRound(h, a, maj, c, d, e, f, g, kw[1]);
    step(first);
    FastRound(g, h, maj, b, c, d, e, f, kw[2]);
    FastRound(f, g, maj, a, b, c, d, e, kw[3]);
    step(first + 1);
    FastRound(e, f, maj, h, a, b, c, d, kw[4]);
    FastRound(d, e, maj, g, h, a, b, c, kw[5]);
    step(first + 2);
    FastRound(c, d, maj, f, g, h, a, b, kw[6]);
    FastRound(b, c, maj, e, f, g, h, a, kw[7]);
    step(first + 3);
}

// The working variables of a block: a to h, with what Maj needs of b and c.
struct Working {
    std::uint64_t a, b, c, d, e, f, g, h;
    MajTerms maj;
};

// Sixteen rounds on kw[0] to kw[15], with step(j) run after the j-th pair. Written out, so
// that every index into the ring is a constant.
template <class Step>
SHA_TARGET_INLINE(SHA512_ISA)
void SixteenRounds(Working& w, const std::uint64_t* kw, Step step)
{
    EightRounds(w.a, w.b, w.c, w.d, w.e, w.f, w.g, w.h, w.maj, kw, step, 0);
    EightRounds(w.a, w.b, w.c, w.d, w.e, w.f, w.g, w.h, w.maj, kw + 8, step, 4);
}

SHA_TARGET_INLINE(SHA512_ISA)
void Blocks(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count)
{
    if (count == 0) {
        return;
    }
    constexpr std::size_t block_size = SHA512_Message_Block_Size;
    alignas(16) std::uint64_t kw[80];
    Ring ring;
    for (std::size_t j = 0; j < 8; ++j) {
        LoadWords(ring, j, kw + 2 * j, blocks);
    }
    for (; count != 0; --count) {
        Working w{H[0], H[1], H[2], H[3], H[4], H[5], H[6], H[7], {H[1] ^ H[2], H[1] & H[2]}};
        for (std::size_t t = 0; t < 64; t += 16) {
            SixteenRounds(w, kw + t, ScheduleStep{ring, kw, t});
        }
        // The last block loads its own words again, so that no load goes past the run's end.
        const std::uint8_t* const next = count > 1 ? blocks + block_size : blocks;
        SixteenRounds(w, kw + 64, NextBlockWords{ring, kw, next});
        H[0] += w.a;
        H[1] += w.b;
        H[2] += w.c;
        H[3] += w.d;
        H[4] += w.e;
        H[5] += w.f;
        H[6] += w.g;
        H[7] += w.h;
        blocks = next;
    }
}

} // namespace

SHA_TARGET("avx2,bmi2")
void sha_engines::SHA512BlocksAvx2Bmi2(std::uint64_t* H, const std::uint8_t* blocks,
                                       std::size_t count)
{
    Blocks(H, blocks, count);
}

SHA_TARGET("avx2,bmi2,avx512f,avx512vl")
void sha_engines::SHA512BlocksAvx512Bmi2(std::uint64_t* H, const std::uint8_t* blocks,
                                         std::size_t count)
{
    Blocks(H, blocks, count);
}

#undef SHA512_ISA
