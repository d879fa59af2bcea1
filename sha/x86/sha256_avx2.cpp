// SHA-224 and SHA-256 on AVX2 and BMI2, for x86-64 processors without the SHA extensions.
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

// Blocks go two at a time. Their message schedules run side by side in 256-bit vectors, the
// first block in the low 128-bit half and the second in the high one, four words of each a
// step: the schedule of two blocks costs what one block's would in 128-bit vectors. The steps
// run among the first block's rounds, one after every four and sixteen words ahead of the
// rounds that use them, so the vector units work while the rounds' scalar chain sets the pace;
// the second block's rounds then only read what the steps stored. The steps keep K[t] + W[t]
// in memory, where each round reads it as the operand of an addition. A lone last block fills
// both halves, and its second half is left unused.
namespace {

#define SHA256_ISA "avx2,bmi,bmi2"

constexpr std::size_t Block_Size = SHA256_Message_Block_Size;
constexpr std::size_t Rounds = std::size(sha2::SHA256_K);

constexpr std::size_t Step_Words = 4;

constexpr std::size_t Slot(std::size_t t, std::size_t block)
{
    return paired_blocks::Slot<Step_Words>(t, block);
}

alignas(32) constexpr auto Paired_K = paired_blocks::PairedConstants<Step_Words>(sha2::SHA256_K);

template <int N>
SHA_TARGET_INLINE(SHA256_ISA)
__m256i RotateRight(__m256i x)
{
    return _mm256_or_si256(_mm256_srli_epi32(x, N), _mm256_slli_epi32(x, 32 - N));
}

constexpr const sha2::Amounts& SHA256_Amounts = sha2::Parameters<std::uint32_t>::amounts;

// sigma0 of every word.
SHA_TARGET_INLINE(SHA256_ISA) __m256i Sigma0(__m256i x)
{
    constexpr const int(&r)[3] = SHA256_Amounts.sigma0;
    return _mm256_xor_si256(_mm256_xor_si256(RotateRight<r[0]>(x), RotateRight<r[1]>(x)),
                            _mm256_srli_epi32(x, r[2]));
}

// sigma1 of two words of each half: words 0 and 1 (Selector 0x50) or 2 and 3 (0xFA). Each word
// is doubled into a 64-bit lane, where a 64-bit shift right leaves it rotated in the low half:
// two shifts do the work of four. The results stay in the low halves of the lanes, words 0
// and 2, for the caller to move.
template <int Selector>
SHA_TARGET_INLINE(SHA256_ISA)
__m256i TwoSigma1(__m256i x)
{
    constexpr const int(&r)[3] = SHA256_Amounts.sigma1;
    const __m256i doubled = _mm256_shuffle_epi32(x, Selector);
    return _mm256_xor_si256(
        _mm256_xor_si256(_mm256_srli_epi64(doubled, r[0]), _mm256_srli_epi64(doubled, r[1])),
        _mm256_srli_epi32(doubled, r[2]));
}

// Byte shuffles that move words 0 and 2 of each half to words 0 and 1, or to 2 and 3, and
// clear the other two.
struct Gathers {
    __m256i low;
    __m256i high;
};

// The schedule's last 16 words of both blocks: for the 16 words from some t on (t a multiple
// of 16), x[j] holds words t + 4j to t + 4j + 3.
struct Ring {
    __m256i x[4];
};

// Replaces x[j] with the words 16 later, after x[j - 1], and stores them with their constants
// at kw. The words that the step before gave feed the first two new words through sigma1, and
// those two feed the last two: that chain is the one the steps wait on.
SHA_TARGET_INLINE(SHA256_ISA)
void NextWords(Ring& ring, std::size_t j, const Gathers& gathers, std::uint32_t* kw,
               const std::uint32_t* k)
{
    const __m256i w16 = ring.x[j & 3];
    const __m256i w15 = _mm256_alignr_epi8(ring.x[(j + 1) & 3], w16, 4);
    const __m256i w7 = _mm256_alignr_epi8(ring.x[(j + 3) & 3], ring.x[(j + 2) & 3], 4);
    const __m256i w2 = ring.x[(j + 3) & 3];
    __m256i w = _mm256_add_epi32(_mm256_add_epi32(w16, Sigma0(w15)), w7);
    w = _mm256_add_epi32(w, _mm256_shuffle_epi8(TwoSigma1<0xFA>(w2), gathers.low));
    w = _mm256_add_epi32(w, _mm256_shuffle_epi8(TwoSigma1<0x50>(w), gathers.high));
    ring.x[j & 3] = w;
    sha_engines::StoreForRounds(kw, _mm256_add_epi32(w, paired_blocks::Load(k)));
}

// Run after the j-th four of the first block's sixteen rounds from round t: the step that
// gives words t + 16 + 4j to t + 19 + 4j.
struct ScheduleStep {
    Ring& ring;
    const Gathers& gathers;
    std::uint32_t* kw;
    std::size_t t;

    SHA_TARGET_INLINE(SHA256_ISA) void operator()(std::size_t j) const
    {
        const std::size_t slot = Slot(t + 16 + 4 * j, 0);
        NextWords(ring, j, gathers, kw + slot, Paired_K.data() + slot);
    }
};

// Four rounds on kw[0] to kw[3], the working variables' roles turning as sha2::OrderedRound
// expects.
SHA_ALWAYS_INLINE void FourRounds(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c,
                                  std::uint32_t& d, std::uint32_t& e, std::uint32_t& f,
                                  std::uint32_t& g, std::uint32_t& h, std::uint32_t& b_xor_c,
                                  const std::uint32_t* kw)
{
    sha2::OrderedRound(a, b, b_xor_c, d, e, f, g, h, kw[0]);
    sha2::OrderedRound(h, a, b_xor_c, c, d, e, f, g, kw[1]);
    sha2::OrderedRound(g, h, b_xor_c, b, c, d, e, f, kw[2]);
    sha2::OrderedRound(f, g, b_xor_c, a, b, c, d, e, kw[3]);
}

using Working = paired_blocks::Working<std::uint32_t>;

// Sixteen rounds from round t, of the block whose slots start at kw, with step(j) after the
// j-th four. Written out, so that every index into the ring is a constant.
template <class Step>
SHA_TARGET_INLINE(SHA256_ISA)
void SixteenRounds(Working& w, const std::uint32_t* kw, Step step)
{
    FourRounds(w.a, w.b, w.c, w.d, w.e, w.f, w.g, w.h, w.b_xor_c, kw);
    step(0);
    FourRounds(w.e, w.f, w.g, w.h, w.a, w.b, w.c, w.d, w.b_xor_c, kw + 8);
    step(1);
    FourRounds(w.a, w.b, w.c, w.d, w.e, w.f, w.g, w.h, w.b_xor_c, kw + 16);
    step(2);
    FourRounds(w.e, w.f, w.g, w.h, w.a, w.b, w.c, w.d, w.b_xor_c, kw + 24);
    step(3);
}

// Words 4j to 4j + 3 of both blocks into x[j], and with their constants into kw.
SHA_TARGET_INLINE(SHA256_ISA)
void LoadWords(Ring& ring, std::size_t j, std::uint32_t* kw, const std::uint8_t* first,
               const std::uint8_t* second)
{
    // Each 32-bit word from its four bytes, most significant first.
    const __m256i byte_swap = _mm256_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3,
                                              12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    const __m256i words = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(second + 16 * j),
                                              reinterpret_cast<const __m128i*>(first + 16 * j));
    ring.x[j] = _mm256_shuffle_epi8(words, byte_swap);
    sha_engines::StoreForRounds(
        kw + 8 * j, _mm256_add_epi32(ring.x[j], paired_blocks::Load(Paired_K.data() + 8 * j)));
}

} // namespace

SHA_TARGET("avx2,bmi,bmi2")
void sha_engines::SHA256BlocksAvx2Bmi2(std::uint32_t* H, const std::uint8_t* blocks,
                                       std::size_t count)
{
    constexpr std::int8_t none = -1;
    const Gathers gathers{
        _mm256_set_epi8(none, none, none, none, none, none, none, none, 11, 10, 9, 8, 3, 2, 1, 0,
                        none, none, none, none, none, none, none, none, 11, 10, 9, 8, 3, 2, 1, 0),
        _mm256_set_epi8(11, 10, 9, 8, 3, 2, 1, 0, none, none, none, none, none, none, none, none,
                        11, 10, 9, 8, 3, 2, 1, 0, none, none, none, none, none, none, none, none),
    };
    alignas(32) std::uint32_t kw[2 * Rounds];
    while (count != 0) {
        const bool pair = count > 1;
        const std::uint8_t* const second = pair ? blocks + Block_Size : blocks;
        Ring ring;
        LoadWords(ring, 0, kw, blocks, second);
        LoadWords(ring, 1, kw, blocks, second);
        LoadWords(ring, 2, kw, blocks, second);
        LoadWords(ring, 3, kw, blocks, second);
        Working first(H);
        SixteenRounds(first, kw + Slot(0, 0), ScheduleStep{ring, gathers, kw, 0});
        SixteenRounds(first, kw + Slot(16, 0), ScheduleStep{ring, gathers, kw, 16});
        SixteenRounds(first, kw + Slot(32, 0), ScheduleStep{ring, gathers, kw, 32});
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

#undef SHA256_ISA
