// SHA-384 and SHA-512 on AVX2 and BMI2, and on AVX-512VL and BMI2, two blocks at a time: the
// engines for cores with four integer ALUs.
#include "x86_engines.h"

#include "paired_blocks.h"
#include "sha2.h"
#include "sha_engines.h"
#include <computer_id/sha/sha.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <immintrin.h>
#include <iterator>

// Where four ALUs run the rounds, the count of instructions sets the pace more than the
// rounds' chain of dependencies does, so these engines spend as few as they can: the rounds
// are sha2::OrderedRound's, and the message schedules of two blocks run side by side in 256-bit
// vectors, the first block in the low 128-bit half and the second in the high one, two words
// of each a step, so that each word costs half the vector work of a schedule of one block. The
// steps run among the first block's rounds, one after every two and sixteen words ahead of the
// rounds that use them; the second block's rounds then only read what the steps stored. The
// steps keep K[t] + W[t] in memory, where each round reads it as the operand of an addition. A
// lone last block fills both halves, and its second half is left unused.
//
// The same code is built twice: for AVX2, and for AVX-512VL, where the compiler turns the
// schedule's rotations into vprorq and its three-way XORs into vpternlogq.
namespace {

#define SHA512_ISA "avx2,bmi2"

constexpr std::size_t Block_Size = SHA512_Message_Block_Size;
constexpr std::size_t Rounds = std::size(sha2::SHA512_K);

constexpr std::size_t Step_Words = 2;

constexpr std::size_t Slot(std::size_t t, std::size_t block)
{
    return paired_blocks::Slot<Step_Words>(t, block);
}

alignas(32) constexpr auto Paired_K = paired_blocks::PairedConstants<Step_Words>(sha2::SHA512_K);

template <int N>
SHA_TARGET_INLINE(SHA512_ISA)
__m256i RotateRight(__m256i x)
{
    return _mm256_or_si256(_mm256_srli_epi64(x, N), _mm256_slli_epi64(x, 64 - N));
}

// sigma0 or sigma1 of every word: rotated by the first two of FIPS 180-4's amounts, shifted by
// the third.
template <int Rotate, int Rotate_Again, int Shift>
SHA_TARGET_INLINE(SHA512_ISA)
__m256i Sigma(__m256i x)
{
    return _mm256_xor_si256(_mm256_xor_si256(RotateRight<Rotate>(x), RotateRight<Rotate_Again>(x)),
                            _mm256_srli_epi64(x, Shift));
}

constexpr const sha2::Amounts& SHA512_Amounts = sha2::Parameters<std::uint64_t>::amounts;

SHA_TARGET_INLINE(SHA512_ISA) __m256i Sigma0(__m256i x)
{
    constexpr const int(&r)[3] = SHA512_Amounts.sigma0;
    return Sigma<r[0], r[1], r[2]>(x);
}

SHA_TARGET_INLINE(SHA512_ISA) __m256i Sigma1(__m256i x)
{
    constexpr const int(&r)[3] = SHA512_Amounts.sigma1;
    return Sigma<r[0], r[1], r[2]>(x);
}

// The schedule's last 16 words of both blocks: for the 16 words from some t on (t a multiple
// of 16), x[j] holds words t + 2j and t + 2j + 1.
struct Ring {
    __m256i x[8];
};

// Replaces x[j] with the words 16 later, after x[j - 1], and stores them with their constants
// at kw. Both new words of a block take sigma1 of words that earlier steps gave: the chain from
// step to step is sigma1 and one addition.
SHA_TARGET_INLINE(SHA512_ISA)
void NextWords(Ring& ring, std::size_t j, std::uint64_t* kw, const std::uint64_t* k)
{
    const __m256i w16 = ring.x[j & 7];
    const __m256i w15 = _mm256_alignr_epi8(ring.x[(j + 1) & 7], w16, 8);
    const __m256i w7 = _mm256_alignr_epi8(ring.x[(j + 5) & 7], ring.x[(j + 4) & 7], 8);
    const __m256i early = _mm256_add_epi64(_mm256_add_epi64(w16, Sigma0(w15)), w7);
    const __m256i w = _mm256_add_epi64(SHA_ASSOC_BARRIER(early), Sigma1(ring.x[(j + 7) & 7]));
    ring.x[j & 7] = w;
    sha_engines::StoreForRounds(kw, _mm256_add_epi64(w, paired_blocks::Load(k)));
}

// Run after the j-th pair of the first block's sixteen rounds from round t: the step that
// gives words t + 16 + 2j and t + 17 + 2j.
struct ScheduleStep {
    Ring& ring;
    std::uint64_t* kw;
    std::size_t t;

    SHA_TARGET_INLINE(SHA512_ISA) void operator()(std::size_t j) const
    {
        const std::size_t slot = Slot(t + 16 + 2 * j, 0);
        NextWords(ring, j, kw + slot, Paired_K.data() + slot);
    }
};

// Two rounds on kw[0] and kw[1], the working variables' roles turning as sha2::OrderedRound
// expects.
SHA_ALWAYS_INLINE void TwoRounds(std::uint64_t a, std::uint64_t b, std::uint64_t& c,
                                 std::uint64_t& d, std::uint64_t e, std::uint64_t f,
                                 std::uint64_t& g, std::uint64_t& h, std::uint64_t& b_xor_c,
                                 const std::uint64_t* kw)
{
    sha2::OrderedRound(a, b, b_xor_c, d, e, f, g, h, kw[0]);
    sha2::OrderedRound(h, a, b_xor_c, c, d, e, f, g, kw[1]);
}

using Working = paired_blocks::Working<std::uint64_t>;

// Eight rounds, of the block whose slots start at kw, with step(first + j) after the j-th
// pair.
template <class Step>
SHA_TARGET_INLINE(SHA512_ISA)
void EightRounds(std::uint64_t& a, std::uint64_t& b, std::uint64_t& c, std::uint64_t& d,
                 std::uint64_t& e, std::uint64_t& f, std::uint64_t& g, std::uint64_t& h,
                 std::uint64_t& b_xor_c, const std::uint64_t* kw, Step step, std::size_t first)
{
    TwoRounds(a, b, c, d, e, f, g, h, b_xor_c, kw);
    step(first);
    TwoRounds(g, h, a, b, c, d, e, f, b_xor_c, kw + 4);
    step(first + 1);
    TwoRounds(e, f, g, h, a, b, c, d, b_xor_c, kw + 8);
    step(first + 2);
    TwoRounds(c, d, e, f, g, h, a, b, b_xor_c, kw + 12);
    step(first + 3);
}

// Sixteen rounds, with step(j) after the j-th pair. Written out, so that every index into the
// ring is a constant.
template <class Step>
SHA_TARGET_INLINE(SHA512_ISA)
void SixteenRounds(Working& w, const std::uint64_t* kw, Step step)
{
    EightRounds(w.a, w.b, w.c, w.d, w.e, w.f, w.g, w.h, w.b_xor_c, kw, step, 0);
    EightRounds(w.a, w.b, w.c, w.d, w.e, w.f, w.g, w.h, w.b_xor_c, kw + 16, step, 4);
}

// Words 2j and 2j + 1 of both blocks into x[j], and with their constants into kw.
SHA_TARGET_INLINE(SHA512_ISA)
void LoadWords(Ring& ring, std::size_t j, std::uint64_t* kw, const std::uint8_t* first,
               const std::uint8_t* second)
{
    // Each 64-bit word from its eight bytes, most significant first.
    const __m256i byte_swap = _mm256_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7,
                                              8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i words = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(second + 16 * j),
                                              reinterpret_cast<const __m128i*>(first + 16 * j));
    ring.x[j] = _mm256_shuffle_epi8(words, byte_swap);
    sha_engines::StoreForRounds(
        kw + 4 * j, _mm256_add_epi64(ring.x[j], paired_blocks::Load(Paired_K.data() + 4 * j)));
}

SHA_TARGET_INLINE(SHA512_ISA)
void Blocks(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count)
{
    alignas(32) std::uint64_t kw[2 * Rounds];
    while (count != 0) {
        const bool pair = count > 1;
        const std::uint8_t* const second = pair ? blocks + Block_Size : blocks;
        Ring ring;
        LoadWords(ring, 0, kw, blocks, second);
        LoadWords(ring, 1, kw, blocks, second);
        LoadWords(ring, 2, kw, blocks, second);
        LoadWords(ring, 3, kw, blocks, second);
        LoadWords(ring, 4, kw, blocks, second);
        LoadWords(ring, 5, kw, blocks, second);
        LoadWords(ring, 6, kw, blocks, second);
        LoadWords(ring, 7, kw, blocks, second);
        Working first(H);
        for (std::size_t t = 0; t < Rounds - 16; t += 16) {
            SixteenRounds(first, kw + Slot(t, 0), ScheduleStep{ring, kw, t});
        }
        SixteenRounds(first, kw + Slot(Rounds - 16, 0), paired_blocks::NoStep{});
        first.AddTo(H);
        if (!pair) {
            return;
        }
        Working next(H);
        for (std::size_t t = 0; t < Rounds; t += 16) {
            SixteenRounds(next, kw + Slot(t, 1), paired_blocks::NoStep{});
        }
        next.AddTo(H);
        blocks += 2 * Block_Size;
        count -= 2;
    }
}

} // namespace

SHA_TARGET("avx2,bmi2")
void sha_engines::SHA512BlocksAvx2Bmi2Pairs(std::uint64_t* H, const std::uint8_t* blocks,
                                            std::size_t count)
{
    Blocks(H, blocks, count);
}

SHA_TARGET("avx2,bmi2,avx512f,avx512vl")
void sha_engines::SHA512BlocksAvx512Bmi2Pairs(std::uint64_t* H, const std::uint8_t* blocks,
                                              std::size_t count)
{
    Blocks(H, blocks, count);
}

#undef SHA512_ISA
