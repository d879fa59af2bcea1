// SHA-384 and SHA-512 (FIPS 180-4, sections 5.3.4, 5.3.5 and 6.4): one context, one input
// routine, one compression; the variants differ only in initial value and digest size.
#include "sha_core.h"
#include "sha_engines.h"
#include <computer_id/sha/sha.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>

#if SHA_X86_ENGINES
#include <immintrin.h>
#endif

namespace {

constexpr std::uint64_t K[80] = {
    0x428A2F98D728AE22, 0x7137449123EF65CD, 0xB5C0FBCFEC4D3B2F, 0xE9B5DBA58189DBBC,
    0x3956C25BF348B538, 0x59F111F1B605D019, 0x923F82A4AF194F9B, 0xAB1C5ED5DA6D8118,
    0xD807AA98A3030242, 0x12835B0145706FBE, 0x243185BE4EE4B28C, 0x550C7DC3D5FFB4E2,
    0x72BE5D74F27B896F, 0x80DEB1FE3B1696B1, 0x9BDC06A725C71235, 0xC19BF174CF692694,
    0xE49B69C19EF14AD2, 0xEFBE4786384F25E3, 0x0FC19DC68B8CD5B5, 0x240CA1CC77AC9C65,
    0x2DE92C6F592B0275, 0x4A7484AA6EA6E483, 0x5CB0A9DCBD41FBD4, 0x76F988DA831153B5,
    0x983E5152EE66DFAB, 0xA831C66D2DB43210, 0xB00327C898FB213F, 0xBF597FC7BEEF0EE4,
    0xC6E00BF33DA88FC2, 0xD5A79147930AA725, 0x06CA6351E003826F, 0x142929670A0E6E70,
    0x27B70A8546D22FFC, 0x2E1B21385C26C926, 0x4D2C6DFC5AC42AED, 0x53380D139D95B3DF,
    0x650A73548BAF63DE, 0x766A0ABB3C77B2A8, 0x81C2C92E47EDAEE6, 0x92722C851482353B,
    0xA2BFE8A14CF10364, 0xA81A664BBC423001, 0xC24B8B70D0F89791, 0xC76C51A30654BE30,
    0xD192E819D6EF5218, 0xD69906245565A910, 0xF40E35855771202A, 0x106AA07032BBD1B8,
    0x19A4C116B8D2D0C8, 0x1E376C085141AB53, 0x2748774CDF8EEB99, 0x34B0BCB5E19B48A8,
    0x391C0CB3C5C95A63, 0x4ED8AA4AE3418ACB, 0x5B9CCA4F7763E373, 0x682E6FF3D6B2B8A3,
    0x748F82EE5DEFB2FC, 0x78A5636F43172F60, 0x84C87814A1F0AB72, 0x8CC702081A6439EC,
    0x90BEFFFA23631E28, 0xA4506CEBDE82BDE9, 0xBEF9A3F7B2C67915, 0xC67178F2E372532B,
    0xCA273ECEEA26619C, 0xD186B8C721C0C207, 0xEADA7DD6CDE0EB1E, 0xF57D4F7FEE6ED178,
    0x06F067AA72176FBA, 0x0A637DC5A2C898A6, 0x113F9804BEF90DAE, 0x1B710B35131C471B,
    0x28DB77F523047D84, 0x32CAAB7B40C72493, 0x3C9EBE0A15C9BEBC, 0x431D67C49C100D4C,
    0x4CC5D4BECB3E42B6, 0x597F299CFC657E2A, 0x5FCB6FAB3AD6FAEC, 0x6C44198C4A475817,
};

constexpr std::uint64_t SHA384_H0[8] = {
    0xCBBB9D5DC1059ED8, 0x629A292A367CD507, 0x9159015A3070DD17, 0x152FECD8F70E5939,
    0x67332667FFC00B31, 0x8EB44A8768581511, 0xDB0C2E0D64F98FA7, 0x47B5481DBEFA4FA4,
};

constexpr std::uint64_t SHA512_H0[8] = {
    0x6A09E667F3BCC908, 0xBB67AE8584CAA73B, 0x3C6EF372FE94F82B, 0xA54FF53A5F1D36F1,
    0x510E527FADE682D1, 0x9B05688C2B3E6C1F, 0x1F83D9ABFB41BD6B, 0x5BE0CD19137E2179,
};

std::uint64_t Sigma0(std::uint64_t x)
{
    return std::rotr(x, 28) ^ std::rotr(x, 34) ^ std::rotr(x, 39);
}
std::uint64_t Sigma1(std::uint64_t x)
{
    return std::rotr(x, 14) ^ std::rotr(x, 18) ^ std::rotr(x, 41);
}
// Nested, the rotations of the schedule need fewer copies; they are off the rounds' chain of
// dependencies, where the longer chain of the nested form would cost.
std::uint64_t sigma0(std::uint64_t x)
{
    return std::rotr(x ^ std::rotr(x, 7), 1) ^ (x >> 7);
}
std::uint64_t sigma1(std::uint64_t x)
{
    return std::rotr(x ^ std::rotr(x, 42), 19) ^ (x >> 6);
}
// Same bits as the textbook Ch, with one operation fewer.
std::uint64_t Ch(std::uint64_t x, std::uint64_t y, std::uint64_t z)
{
    return z ^ (x & (y ^ z));
}

// Callers rotate the roles of the working variables instead of shifting their values, so a
// round writes only the two variables whose values change: d (to become e) and h (to become a).
// a ^ b is kept for the next round, where it is b ^ c and saves an operation of Maj.
SHA_ALWAYS_INLINE void Round(std::uint64_t a, std::uint64_t b, std::uint64_t& b_xor_c,
                             std::uint64_t& d, std::uint64_t e, std::uint64_t f, std::uint64_t g,
                             std::uint64_t& h, std::uint64_t k_plus_w)
{
    const std::uint64_t T1 = h + Sigma1(e) + Ch(e, f, g) + k_plus_w;
    const std::uint64_t a_xor_b = a ^ b;
    d += T1;
    h = T1 + Sigma0(a) + (b ^ (a_xor_b & b_xor_c));
    b_xor_c = a_xor_b;
}

// W[t] of the message schedule, over a ring of the 16 words still needed; i is t mod 16.
// Expanded in the rounds rather than ahead of them: a separate expansion loop gets vectorised
// two words at a time, and each step then waits on a load that straddles the previous step's
// store.
template <bool Expand>
SHA_ALWAYS_INLINE std::uint64_t Schedule(std::uint64_t (&W)[16], int i)
{
    if constexpr (Expand) {
        W[i] += sigma1(W[(i + 14) & 15]) + W[(i + 9) & 15] + sigma0(W[(i + 1) & 15]);
    }
    return W[i];
}

// Eight rounds with the round constants k[0] to k[7] and the ring's words from W[i] on.
template <bool Expand>
SHA_ALWAYS_INLINE void EightRounds(std::uint64_t (&v)[8], std::uint64_t& b_xor_c,
                                   const std::uint64_t* k, std::uint64_t (&W)[16], int i)
{
    std::uint64_t& a = v[0];
    std::uint64_t& b = v[1];
    std::uint64_t& c = v[2];
    std::uint64_t& d = v[3];
    std::uint64_t& e = v[4];
    std::uint64_t& f = v[5];
    std::uint64_t& g = v[6];
    std::uint64_t& h = v[7];
    Round(a, b, b_xor_c, d, e, f, g, h, k[0] + Schedule<Expand>(W, i));
    Round(h, a, b_xor_c, c, d, e, f, g, k[1] + Schedule<Expand>(W, i + 1));
    Round(g, h, b_xor_c, b, c, d, e, f, k[2] + Schedule<Expand>(W, i + 2));
    Round(f, g, b_xor_c, a, b, c, d, e, k[3] + Schedule<Expand>(W, i + 3));
    Round(e, f, b_xor_c, h, a, b, c, d, k[4] + Schedule<Expand>(W, i + 4));
    Round(d, e, b_xor_c, g, h, a, b, c, k[5] + Schedule<Expand>(W, i + 5));
    Round(c, d, b_xor_c, f, g, h, a, b, k[6] + Schedule<Expand>(W, i + 6));
    Round(b, c, b_xor_c, e, f, g, h, a, k[7] + Schedule<Expand>(W, i + 7));
}

} // namespace

void sha_engines::SHA512BlocksPortable(std::uint64_t* H, const std::uint8_t* blocks,
                                       std::size_t count)
{
    for (; count != 0; --count, blocks += SHA512_Message_Block_Size) {
        std::uint64_t W[16];
        for (std::size_t t = 0; t < 16; ++t) {
            W[t] = sha_core::LoadBigEndian<std::uint64_t>(blocks + 8 * t);
        }
        std::uint64_t v[8] = {H[0], H[1], H[2], H[3], H[4], H[5], H[6], H[7]};
        std::uint64_t b_xor_c = v[1] ^ v[2];
        EightRounds<false>(v, b_xor_c, K, W, 0);
        EightRounds<false>(v, b_xor_c, K + 8, W, 8);
        EightRounds<true>(v, b_xor_c, K + 16, W, 0);
        EightRounds<true>(v, b_xor_c, K + 24, W, 8);
        EightRounds<true>(v, b_xor_c, K + 32, W, 0);
        EightRounds<true>(v, b_xor_c, K + 40, W, 8);
        EightRounds<true>(v, b_xor_c, K + 48, W, 0);
        EightRounds<true>(v, b_xor_c, K + 56, W, 8);
        EightRounds<true>(v, b_xor_c, K + 64, W, 0);
        EightRounds<true>(v, b_xor_c, K + 72, W, 8);
        for (int i = 0; i < 8; ++i) {
            H[i] += v[i];
        }
    }
}

#if SHA_X86_ENGINES

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
    const std::uint64_t new_e = SHA_ASSOC_BARRIER(h_k_w_d + Ch(e, f, g)) + Sigma1(e);
    const std::uint64_t T1 = new_e - d;
    h = SHA_ASSOC_BARRIER(SHA_ASSOC_BARRIER(T1 + maj.b_and_c) + (a & maj.b_xor_c)) + Sigma0(a);
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

// sigma0 of two words: ROTR 1 XOR ROTR 8 XOR SHR 7.
SHA_TARGET_INLINE(SHA512_ISA) __m128i TwoSigma0(__m128i x)
{
    return _mm_xor_si128(_mm_xor_si128(RotateRight<1>(x), RotateRight<8>(x)), _mm_srli_epi64(x, 7));
}

// sigma1 of two words: ROTR 19 XOR ROTR 61 XOR SHR 6.
SHA_TARGET_INLINE(SHA512_ISA) __m128i TwoSigma1(__m128i x)
{
    return _mm_xor_si128(_mm_xor_si128(RotateRight<19>(x), RotateRight<61>(x)),
                         _mm_srli_epi64(x, 6));
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
    Store(kw, _mm_add_epi64(ring.last, Load(K + 2 * j)));
}

// Run after the j-th pair of a group of sixteen rounds that start at round t: the step of the
// schedule that gives words t + 16 + 2j and t + 17 + 2j.
struct ScheduleStep {
    Ring& ring;
    std::uint64_t* kw; // K[t] + W[t] on
    std::size_t t;

    SHA_TARGET_INLINE(SHA512_ISA) void operator()(std::size_t j) const
    {
        NextWords(ring, j, kw + t + 16 + 2 * j, K + t + 16 + 2 * j);
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

#if SHA_AVX512_ENGINE
SHA_TARGET("avx2,bmi2,avx512f,avx512vl")
void sha_engines::SHA512BlocksAvx512Bmi2(std::uint64_t* H, const std::uint8_t* blocks,
                                         std::size_t count)
{
    Blocks(H, blocks, count);
}
#endif

#undef SHA512_ISA

#endif

namespace {

void SHA512Blocks(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count)
{
#if SHA_X86_ENGINES
    switch (sha_engines::SHA384_512Engine()) {
#if SHA_AVX512_ENGINE
    case sha_engines::Engine::Avx512Bmi2:
        sha_engines::SHA512BlocksAvx512Bmi2(H, blocks, count);
        return;
#endif
    case sha_engines::Engine::Avx2Bmi2:
        sha_engines::SHA512BlocksAvx2Bmi2(H, blocks, count);
        return;
    default:
        break;
    }
#endif
    sha_engines::SHA512BlocksPortable(H, blocks, count);
}

void SHA384_512Finalize(SHA512Context* context, std::uint8_t Pad_Byte)
{
    sha_core::Finalize<SHA512Blocks>(context, Pad_Byte);
}

int SHA384_512Reset(SHA512Context* context, const std::uint64_t (&H0)[8])
{
    if (context == nullptr) {
        return shaNull;
    }
    std::copy(std::begin(H0), std::end(H0), context->Intermediate_Hash);
    sha_core::StartMessage(*context);
    return shaSuccess;
}

int SHA384_512ResultN(SHA512Context* context, std::uint8_t* Message_Digest, int HashSize)
{
    return sha_core::ResultN<SHA384_512Finalize>(context, Message_Digest, HashSize);
}

} // namespace

int SHA384Reset(SHA384Context* context)
{
    return SHA384_512Reset(context, SHA384_H0);
}

int SHA384Input(SHA384Context* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    return SHA512Input(context, bytes, bytecount);
}

int SHA384FinalBits(SHA384Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return SHA512FinalBits(context, message_bits, bit_count);
}

int SHA384Result(SHA384Context* context, std::uint8_t Message_Digest[SHA384HashSize])
{
    return SHA384_512ResultN(context, Message_Digest, SHA384HashSize);
}

int SHA512Reset(SHA512Context* context)
{
    return SHA384_512Reset(context, SHA512_H0);
}

int SHA512Input(SHA512Context* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    return sha_core::Input<SHA512Blocks>(context, bytes, bytecount);
}

int SHA512FinalBits(SHA512Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return sha_core::FinalBits<SHA384_512Finalize>(context, message_bits, bit_count);
}

int SHA512Result(SHA512Context* context, std::uint8_t Message_Digest[SHA512HashSize])
{
    return SHA384_512ResultN(context, Message_Digest, SHA512HashSize);
}
