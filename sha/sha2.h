// Internal to the digest library: SHA-256 and SHA-512 (FIPS 180-4, sections 4.1.2, 4.1.3,
// 4.2.2, 4.2.3 and 6.2, 6.4), which differ only in the word size, the rotation and shift
// amounts, the round constants and the number of rounds: those, and the portable rounds written
// once over them.
#pragma once

#include "sha_core.h"
#include "sha_engines.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

namespace sha2 {

inline constexpr std::uint32_t SHA256_K[64] = {
    0x428A2F98, 0x71374491, 0xB5C0FBCF, 0xE9B5DBA5, 0x3956C25B, 0x59F111F1, 0x923F82A4, 0xAB1C5ED5,
    0xD807AA98, 0x12835B01, 0x243185BE, 0x550C7DC3, 0x72BE5D74, 0x80DEB1FE, 0x9BDC06A7, 0xC19BF174,
    0xE49B69C1, 0xEFBE4786, 0x0FC19DC6, 0x240CA1CC, 0x2DE92C6F, 0x4A7484AA, 0x5CB0A9DC, 0x76F988DA,
    0x983E5152, 0xA831C66D, 0xB00327C8, 0xBF597FC7, 0xC6E00BF3, 0xD5A79147, 0x06CA6351, 0x14292967,
    0x27B70A85, 0x2E1B2138, 0x4D2C6DFC, 0x53380D13, 0x650A7354, 0x766A0ABB, 0x81C2C92E, 0x92722C85,
    0xA2BFE8A1, 0xA81A664B, 0xC24B8B70, 0xC76C51A3, 0xD192E819, 0xD6990624, 0xF40E3585, 0x106AA070,
    0x19A4C116, 0x1E376C08, 0x2748774C, 0x34B0BCB5, 0x391C0CB3, 0x4ED8AA4A, 0x5B9CCA4F, 0x682E6FF3,
    0x748F82EE, 0x78A5636F, 0x84C87814, 0x8CC70208, 0x90BEFFFA, 0xA4506CEB, 0xBEF9A3F7, 0xC67178F2,
};

inline constexpr std::uint64_t SHA512_K[80] = {
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

// Sigma0 and Sigma1 rotate by all three amounts; sigma0 and sigma1 by the first two and shift by
// the third.
struct Amounts {
    int Sigma0[3];
    int Sigma1[3];
    int sigma0[3];
    int sigma1[3];
};

template <class Word>
struct Parameters;

template <>
struct Parameters<std::uint32_t> {
    static constexpr Amounts amounts = {{2, 13, 22}, {6, 11, 25}, {7, 18, 3}, {17, 19, 10}};
    static constexpr const auto& K = SHA256_K;
};

template <>
struct Parameters<std::uint64_t> {
    static constexpr Amounts amounts = {{28, 34, 39}, {14, 18, 41}, {1, 8, 7}, {19, 61, 6}};
    static constexpr const auto& K = SHA512_K;
};

template <class Word>
Word Sigma0(Word x)
{
    constexpr const int(&r)[3] = Parameters<Word>::amounts.Sigma0;
    return std::rotr(x, r[0]) ^ std::rotr(x, r[1]) ^ std::rotr(x, r[2]);
}

template <class Word>
Word Sigma1(Word x)
{
    constexpr const int(&r)[3] = Parameters<Word>::amounts.Sigma1;
    return std::rotr(x, r[0]) ^ std::rotr(x, r[1]) ^ std::rotr(x, r[2]);
}

// Nested, the rotations of the schedule need fewer copies; they are off the rounds' chain of
// dependencies, where the longer chain of the nested form would cost.
template <class Word>
Word sigma0(Word x)
{
    constexpr const int(&r)[3] = Parameters<Word>::amounts.sigma0;
    return std::rotr(x ^ std::rotr(x, r[1] - r[0]), r[0]) ^ (x >> r[2]);
}

template <class Word>
Word sigma1(Word x)
{
    constexpr const int(&r)[3] = Parameters<Word>::amounts.sigma1;
    return std::rotr(x ^ std::rotr(x, r[1] - r[0]), r[0]) ^ (x >> r[2]);
}

// Callers rotate the roles of the working variables instead of shifting their values, so a
// round writes only the two variables whose values change: d (to become e) and h (to become a).
// a ^ b is kept for the next round, where it is b ^ c and saves an operation of Maj.
template <class Word>
SHA_ALWAYS_INLINE void Round(Word a, Word b, Word& b_xor_c, Word& d, Word e, Word f, Word g,
                             Word& h, Word k_plus_w)
{
    const Word T1 = h + Sigma1(e) + sha_core::Ch(e, f, g) + k_plus_w;
    const Word a_xor_b = a ^ b;
    d += T1;
    h = T1 + Sigma0(a) + (b ^ (a_xor_b & b_xor_c));
    b_xor_c = a_xor_b;
}

// Round with its sums in the order their terms become ready, Sigma1(e) and Sigma0(a) last: the
// rounds of the AVX2 engines, where GCC's own order of Round costs instructions (SHA-512's
// paired engine: 19.75 M a MiB against 19.68 M). The portable engine keeps Round, with which
// SHA-512's 64-byte messages ran a third faster on AMD's family 26 at the same count.
template <class Word>
SHA_ALWAYS_INLINE void OrderedRound(Word a, Word b, Word& b_xor_c, Word& d, Word e, Word f, Word g,
                                    Word& h, Word k_plus_w)
{
    const Word T1 =
        SHA_ASSOC_BARRIER(SHA_ASSOC_BARRIER(h + k_plus_w) + sha_core::Ch(e, f, g)) + Sigma1(e);
    const Word a_xor_b = a ^ b;
    d += T1;
    h = SHA_ASSOC_BARRIER(T1 + (b ^ (a_xor_b & b_xor_c))) + Sigma0(a);
    b_xor_c = a_xor_b;
}

// W[t] of the message schedule, over a ring of the 16 words still needed; i is t mod 16.
// Expanded in the rounds rather than ahead of them: a separate expansion loop gets vectorised
// two words at a time, and each step then waits on a load that straddles the previous step's
// store.
template <bool Expand, class Word>
SHA_ALWAYS_INLINE Word Schedule(Word (&W)[16], int i)
{
    if constexpr (Expand) {
        W[i] += sigma1(W[(i + 14) & 15]) + W[(i + 9) & 15] + sigma0(W[(i + 1) & 15]);
    }
    return W[i];
}

// Eight rounds with the round constants k[0] to k[7] and the ring's words from W[i] on.
template <bool Expand, class Word>
SHA_ALWAYS_INLINE void EightRounds(Word (&v)[8], Word& b_xor_c, const Word* k, Word (&W)[16], int i)
{
    Word& a = v[0];
    Word& b = v[1];
    Word& c = v[2];
    Word& d = v[3];
    Word& e = v[4];
    Word& f = v[5];
    Word& g = v[6];
    Word& h = v[7];
    Round(a, b, b_xor_c, d, e, f, g, h, k[0] + Schedule<Expand>(W, i));
    Round(h, a, b_xor_c, c, d, e, f, g, k[1] + Schedule<Expand>(W, i + 1));
    Round(g, h, b_xor_c, b, c, d, e, f, k[2] + Schedule<Expand>(W, i + 2));
    Round(f, g, b_xor_c, a, b, c, d, e, k[3] + Schedule<Expand>(W, i + 3));
    Round(e, f, b_xor_c, h, a, b, c, d, k[4] + Schedule<Expand>(W, i + 4));
    Round(d, e, b_xor_c, g, h, a, b, c, k[5] + Schedule<Expand>(W, i + 5));
    Round(c, d, b_xor_c, f, g, h, a, b, k[6] + Schedule<Expand>(W, i + 6));
    Round(b, c, b_xor_c, e, f, g, h, a, k[7] + Schedule<Expand>(W, i + 7));
}

// The rounds after the first sixteen expand the schedule as they go; all of them written out,
// eight at a time, so that every index into the ring is a constant.
template <class Word, std::size_t... Group>
SHA_ALWAYS_INLINE void ExpandingRounds(Word (&v)[8], Word& b_xor_c, Word (&W)[16],
                                       std::index_sequence<Group...>)
{
    constexpr const auto& K = Parameters<Word>::K;
    (EightRounds<true>(v, b_xor_c, K + 16 + 8 * Group, W, 8 * static_cast<int>(Group % 2)), ...);
}

// The portable block function of either word size.
template <class Word>
void PortableBlocks(Word* H, const std::uint8_t* blocks, std::size_t count)
{
    constexpr const auto& K = Parameters<Word>::K;
    constexpr std::size_t block_size = 16 * sizeof(Word);
    for (; count != 0; --count, blocks += block_size) {
        Word W[16];
        for (std::size_t t = 0; t < 16; ++t) {
            W[t] = sha_core::LoadBigEndian<Word>(blocks + sizeof(Word) * t);
        }
        Word v[8] = {H[0], H[1], H[2], H[3], H[4], H[5], H[6], H[7]};
        Word b_xor_c = v[1] ^ v[2];
        EightRounds<false>(v, b_xor_c, K, W, 0);
        EightRounds<false>(v, b_xor_c, K + 8, W, 8);
        ExpandingRounds(v, b_xor_c, W, std::make_index_sequence<(std::size(K) - 16) / 8>{});
        for (int i = 0; i < 8; ++i) {
            H[i] += v[i];
        }
    }
}

} // namespace sha2
