// SHA-1 on AVX2, BMI1 and BMI2.
#include "x86_engines.h"

#include "sha1.h"
#include "sha_engines.h"
#include <computer_id/sha/sha.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <immintrin.h>

// Two blocks at a time. The message schedule of both runs in 256-bit vectors, the first block in
// the low half, the second in the high one, four words a step; the steps keep K[t] + W[t] of
// both blocks in memory, where each round reads it as the operand of an addition. The rounds of
// the first block run with the steps among them, 16 words ahead of the rounds that use them; those
// of the second only read what the steps stored, and their last sixteen load the first 16 words of
// the next two blocks. An odd last block goes into both halves and its rounds run once.
//
// The rounds of both blocks are written out, some 6.6 KB of code: on the AMD family-26 core they
// take 2.0 cycles each, the latency of the rorx and the addition on the chain from a to the next
// a, so that the scalar instructions of a round (7 to 10) and the schedule's fit beside it.
namespace {

#define SHA1_ISA "avx2,bmi,bmi2"

using Word = std::uint32_t;

struct Working {
    Word a, b, c, d, e;
};

// Each round function in its fewest instructions, added to the sum of the round's terms known
// early. Its terms are added one at a time, so that a term that waits on b waits for one
// addition only. The round has already kept the rotation of b in another register, and the
// function may overwrite b itself.
struct ChTerms {
    // (NOT b AND d) and (b AND c), two terms with no bit in common: andn (BMI1) takes three
    // operands and the AND then overwrites b, where d ^ (b & (c ^ d)) needs a copy of c: with
    // GCC 12, 756 instructions a block rather than 774.
    SHA_ALWAYS_INLINE static Word AddTo(Word sum, Word b, Word c, Word d)
    {
        return SHA_ASSOC_BARRIER(sum + (~b & d)) + (b & c);
    }
};

struct ParityTerms {
    // b XOR c first, into b: GCC 12 otherwise starts from c XOR d, which needs a copy of c,
    // and took 803 instructions a block rather than 756.
    SHA_ALWAYS_INLINE static Word AddTo(Word sum, Word b, Word c, Word d)
    {
        return sum + (SHA_ASSOC_BARRIER(b ^ c) ^ d);
    }
};

struct MajTerms {
    // (b AND c) and (d AND (b XOR c)), two terms with no bit in common, which take a copy of b.
    // The form without one, andn(b XOR c, c) for b AND c, GCC 12 folds back into this one. The
    // definition leaves nothing to keep for the next round: its b XOR c is a XOR ROTL30(b).
    SHA_ALWAYS_INLINE static Word AddTo(Word sum, Word b, Word c, Word d)
    {
        return SHA_ASSOC_BARRIER(sum + (b & c)) + (d & (b ^ c));
    }
};

// Callers rotate the roles of the working variables instead of shifting their values, so a round
// writes only the two variables whose values change: e (to become a) and b (to become c). The
// rotation of a, which the previous round has just given, is added last: it is the one term on
// the chain from round to round.
template <class F>
SHA_ALWAYS_INLINE void Round(Word a, Word& b, Word c, Word d, Word& e, Word k_plus_w)
{
    const Word early = F::AddTo(SHA_ASSOC_BARRIER(e + k_plus_w), b, c, d);
    b = std::rotl(b, 30);
    e = SHA_ASSOC_BARRIER(early) + std::rotl(a, 5);
}

// K[t] + W[t] of both blocks: for the four words from 4g on, first those of the first block,
// then those of the second.
constexpr std::size_t Group_Stride = 8;
constexpr std::size_t Groups = 20;

// The schedule's last 32 words of both blocks, as a ring of groups of four: group g in
// groups[g % 8].
struct Ring {
    __m256i groups[8];
};

SHA_TARGET_INLINE(SHA1_ISA) __m128i Load(const std::uint8_t* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

template <int N>
SHA_TARGET_INLINE(SHA1_ISA)
__m256i RotateLeft(__m256i x)
{
    return _mm256_or_si256(_mm256_slli_epi32(x, N), _mm256_srli_epi32(x, 32 - N));
}

SHA_TARGET_INLINE(SHA1_ISA) __m256i Xor(__m256i x, __m256i y)
{
    return _mm256_xor_si256(x, y);
}

// Keeps group g of both blocks in the ring, and stores it with its constant.
SHA_TARGET_INLINE(SHA1_ISA) void Keep(Ring& ring, Word* kw, std::size_t g, __m256i words)
{
    ring.groups[g % 8] = words;
    const __m256i k = _mm256_set1_epi32(static_cast<int>(sha1::K[4 * g / 20]));
    sha_engines::StoreForRounds(kw + Group_Stride * g, _mm256_add_epi32(words, k));
}

// Group g (one of the first four) of the blocks at first and second.
SHA_TARGET_INLINE(SHA1_ISA)
void LoadWords(Ring& ring, Word* kw, std::size_t g, const std::uint8_t* first,
               const std::uint8_t* second)
{
    // Each word's four bytes, most significant first.
    const __m256i byte_swap = _mm256_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3,
                                              12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    const __m256i bytes = _mm256_inserti128_si256(_mm256_castsi128_si256(Load(first + 16 * g)),
                                                  Load(second + 16 * g), 1);
    Keep(ring, kw, g, _mm256_shuffle_epi8(bytes, byte_swap));
}

// The group `groups` before group g.
SHA_TARGET_INLINE(SHA1_ISA) __m256i Back(const Ring& ring, std::size_t g, std::size_t groups)
{
    return ring.groups[(g - groups) % 8];
}

// Group g, words t = 4g to 4g + 3, from the groups before it.
SHA_TARGET_INLINE(SHA1_ISA) void NextWords(Ring& ring, Word* kw, std::size_t g)
{
    if (g < 8) {
        // W[t] = ROTL1(W[t - 3] ^ W[t - 8] ^ W[t - 14] ^ W[t - 16]), where the last word's
        // W[t - 3] is the first word of this group: it is left out, and ROTL1 of that word,
        // shifted up, brings it in after the rotation.
        const __m256i x =
            Xor(Xor(Back(ring, g, 4), _mm256_alignr_epi8(Back(ring, g, 3), Back(ring, g, 4), 8)),
                Xor(Back(ring, g, 2), _mm256_srli_si256(Back(ring, g, 1), 4)));
        const __m256i w = RotateLeft<1>(x);
        Keep(ring, kw, g, Xor(w, RotateLeft<1>(_mm256_slli_si256(w, 12))));
    } else {
        // The recurrence applied to each of its own four terms, whose common terms cancel:
        // W[t] = ROTL2(W[t - 6] ^ W[t - 16] ^ W[t - 28] ^ W[t - 32]), with no word of the group
        // on another.
        Keep(ring, kw, g,
             RotateLeft<2>(Xor(Xor(Back(ring, g, 8), Back(ring, g, 7)),
                               Xor(Back(ring, g, 4),
                                   _mm256_alignr_epi8(Back(ring, g, 1), Back(ring, g, 2), 8)))));
    }
}

// Run after the rounds of group i of the first block: the step that gives group i + 4.
struct ScheduleStep {
    Ring& ring;
    Word* kw;

    SHA_TARGET_INLINE(SHA1_ISA) void operator()(std::size_t i) const
    {
        if (i + 4 < Groups) {
            NextWords(ring, kw, i + 4);
        }
    }
};

// Run after the rounds of group i of the second block: in the last four, whose words are
// already in memory, the first four groups of the next two blocks.
struct NextBlocksWords {
    Ring& ring;
    Word* kw;
    const std::uint8_t* first;
    const std::uint8_t* second;

    SHA_TARGET_INLINE(SHA1_ISA) void operator()(std::size_t i) const
    {
        if (i >= Groups - 4) {
            LoadWords(ring, kw, i - (Groups - 4), first, second);
        }
    }
};

// Rounds 4i to 4i + 3 with the working variables' roles as they stand at round 4i.
template <class F>
SHA_ALWAYS_INLINE void FourRounds(Word& a, Word& b, Word& c, Word& d, Word& e, const Word* kw)
{
    Round<F>(a, b, c, d, e, kw[0]);
    Round<F>(e, a, b, c, d, kw[1]);
    Round<F>(d, e, a, b, c, kw[2]);
    Round<F>(c, d, e, a, b, kw[3]);
}

// The 20 rounds of one round function, from group `first` on, with step(i) run after group i.
// After four rounds the roles have moved back by one, after twenty by none.
template <class F, class Step>
SHA_TARGET_INLINE(SHA1_ISA)
void TwentyRounds(Working& v, const Word* kw, Step step, std::size_t first)
{
    FourRounds<F>(v.a, v.b, v.c, v.d, v.e, kw + Group_Stride * first);
    step(first);
    FourRounds<F>(v.b, v.c, v.d, v.e, v.a, kw + Group_Stride * (first + 1));
    step(first + 1);
    FourRounds<F>(v.c, v.d, v.e, v.a, v.b, kw + Group_Stride * (first + 2));
    step(first + 2);
    FourRounds<F>(v.d, v.e, v.a, v.b, v.c, kw + Group_Stride * (first + 3));
    step(first + 3);
    FourRounds<F>(v.e, v.a, v.b, v.c, v.d, kw + Group_Stride * (first + 4));
    step(first + 4);
}

// The 80 rounds of one block, whose K[t] + W[t] are kw[Group_Stride * (t / 4) + t % 4], added to
// the hash value h.
template <class Step>
SHA_TARGET_INLINE(SHA1_ISA)
Working Block(const Working& h, const Word* kw, Step step)
{
    Working v = h;
    TwentyRounds<ChTerms>(v, kw, step, 0);
    TwentyRounds<ParityTerms>(v, kw, step, 5);
    TwentyRounds<MajTerms>(v, kw, step, 10);
    TwentyRounds<ParityTerms>(v, kw, step, 15);
    return {h.a + v.a, h.b + v.b, h.c + v.c, h.d + v.d, h.e + v.e};
}

SHA_TARGET_INLINE(SHA1_ISA)
void Blocks(Word* H, const std::uint8_t* blocks, std::size_t count)
{
    if (count == 0) {
        return;
    }
    constexpr std::size_t block_size = SHA1_Message_Block_Size;
    alignas(32) Word k_plus_w[Groups * Group_Stride];
    Ring ring;
    const std::uint8_t* second = count > 1 ? blocks + block_size : blocks;
    // Written out, so that the groups stay in registers.
    LoadWords(ring, k_plus_w, 0, blocks, second);
    LoadWords(ring, k_plus_w, 1, blocks, second);
    LoadWords(ring, k_plus_w, 2, blocks, second);
    LoadWords(ring, k_plus_w, 3, blocks, second);
    Working h{H[0], H[1], H[2], H[3], H[4]};
    for (;;) {
        h = Block(h, k_plus_w, ScheduleStep{ring, k_plus_w});
        if (count == 1) {
            break;
        }
        // The last two blocks load their own words again, so that no load goes past the run's
        // end.
        const std::uint8_t* const next = count > 2 ? blocks + 2 * block_size : blocks;
        second = count > 3 ? next + block_size : next;
        h = Block(h, k_plus_w + 4, NextBlocksWords{ring, k_plus_w, next, second});
        count -= 2;
        if (count == 0) {
            break;
        }
        blocks = next;
    }
    H[0] = h.a;
    H[1] = h.b;
    H[2] = h.c;
    H[3] = h.d;
    H[4] = h.e;
}

} // namespace

SHA_TARGET("avx2,bmi,bmi2")
void sha_engines::SHA1BlocksAvx2Bmi2(std::uint32_t* H, const std::uint8_t* blocks,
                                     std::size_t count)
{
    Blocks(H, blocks, count);
}

#undef SHA1_ISA
