// SHA-224 and SHA-256 (FIPS 180-4, sections 5.3.2, 5.3.3 and 6.2): one context, one input
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

constexpr std::uint32_t K[64] = {
    0x428A2F98, 0x71374491, 0xB5C0FBCF, 0xE9B5DBA5, 0x3956C25B, 0x59F111F1, 0x923F82A4, 0xAB1C5ED5,
    0xD807AA98, 0x12835B01, 0x243185BE, 0x550C7DC3, 0x72BE5D74, 0x80DEB1FE, 0x9BDC06A7, 0xC19BF174,
    0xE49B69C1, 0xEFBE4786, 0x0FC19DC6, 0x240CA1CC, 0x2DE92C6F, 0x4A7484AA, 0x5CB0A9DC, 0x76F988DA,
    0x983E5152, 0xA831C66D, 0xB00327C8, 0xBF597FC7, 0xC6E00BF3, 0xD5A79147, 0x06CA6351, 0x14292967,
    0x27B70A85, 0x2E1B2138, 0x4D2C6DFC, 0x53380D13, 0x650A7354, 0x766A0ABB, 0x81C2C92E, 0x92722C85,
    0xA2BFE8A1, 0xA81A664B, 0xC24B8B70, 0xC76C51A3, 0xD192E819, 0xD6990624, 0xF40E3585, 0x106AA070,
    0x19A4C116, 0x1E376C08, 0x2748774C, 0x34B0BCB5, 0x391C0CB3, 0x4ED8AA4A, 0x5B9CCA4F, 0x682E6FF3,
    0x748F82EE, 0x78A5636F, 0x84C87814, 0x8CC70208, 0x90BEFFFA, 0xA4506CEB, 0xBEF9A3F7, 0xC67178F2,
};

constexpr std::uint32_t SHA224_H0[8] = {
    0xC1059ED8, 0x367CD507, 0x3070DD17, 0xF70E5939, 0xFFC00B31, 0x68581511, 0x64F98FA7, 0xBEFA4FA4,
};

constexpr std::uint32_t SHA256_H0[8] = {
    0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A, 0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19,
};

std::uint32_t Sigma0(std::uint32_t x)
{
    return std::rotr(x, 2) ^ std::rotr(x, 13) ^ std::rotr(x, 22);
}
std::uint32_t Sigma1(std::uint32_t x)
{
    return std::rotr(x, 6) ^ std::rotr(x, 11) ^ std::rotr(x, 25);
}
// Nested, the rotations of the schedule need fewer copies; they are off the rounds' chain of
// dependencies, where the longer chain of the nested form would cost.
std::uint32_t sigma0(std::uint32_t x)
{
    return std::rotr(x ^ std::rotr(x, 11), 7) ^ (x >> 3);
}
std::uint32_t sigma1(std::uint32_t x)
{
    return std::rotr(x ^ std::rotr(x, 2), 17) ^ (x >> 10);
}
// Same bits as the textbook Ch, with one operation fewer.
std::uint32_t Ch(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return z ^ (x & (y ^ z));
}

// Callers rotate the roles of the working variables instead of shifting their values, so a
// round writes only the two variables whose values change: d (to become e) and h (to become a).
// a ^ b is kept for the next round, where it is b ^ c and saves an operation of Maj.
SHA_ALWAYS_INLINE void Round(std::uint32_t a, std::uint32_t b, std::uint32_t& b_xor_c,
                             std::uint32_t& d, std::uint32_t e, std::uint32_t f, std::uint32_t g,
                             std::uint32_t& h, std::uint32_t k_plus_w)
{
    const std::uint32_t T1 = h + Sigma1(e) + Ch(e, f, g) + k_plus_w;
    const std::uint32_t a_xor_b = a ^ b;
    d += T1;
    h = T1 + Sigma0(a) + (b ^ (a_xor_b & b_xor_c));
    b_xor_c = a_xor_b;
}

// W[t] of the message schedule, over a ring of the 16 words still needed; i is t mod 16.
// Expanded in the rounds rather than ahead of them: a separate expansion loop gets vectorised
// two words at a time, and each step then waits on a load that straddles the previous step's
// store.
template <bool Expand>
SHA_ALWAYS_INLINE std::uint32_t Schedule(std::uint32_t (&W)[16], int i)
{
    if constexpr (Expand) {
        W[i] += sigma1(W[(i + 14) & 15]) + W[(i + 9) & 15] + sigma0(W[(i + 1) & 15]);
    }
    return W[i];
}

// Eight rounds with the round constants k[0] to k[7] and the ring's words from W[i] on.
template <bool Expand>
SHA_ALWAYS_INLINE void EightRounds(std::uint32_t (&v)[8], std::uint32_t& b_xor_c,
                                   const std::uint32_t* k, std::uint32_t (&W)[16], int i)
{
    std::uint32_t& a = v[0];
    std::uint32_t& b = v[1];
    std::uint32_t& c = v[2];
    std::uint32_t& d = v[3];
    std::uint32_t& e = v[4];
    std::uint32_t& f = v[5];
    std::uint32_t& g = v[6];
    std::uint32_t& h = v[7];
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

void sha_engines::SHA256BlocksPortable(std::uint32_t* H, const std::uint8_t* blocks,
                                       std::size_t count)
{
    for (; count != 0; --count, blocks += SHA256_Message_Block_Size) {
        std::uint32_t W[16];
        for (std::size_t t = 0; t < 16; ++t) {
            W[t] = sha_core::LoadBigEndian<std::uint32_t>(blocks + 4 * t);
        }
        std::uint32_t v[8] = {H[0], H[1], H[2], H[3], H[4], H[5], H[6], H[7]};
        std::uint32_t b_xor_c = v[1] ^ v[2];
        EightRounds<false>(v, b_xor_c, K, W, 0);
        EightRounds<false>(v, b_xor_c, K + 8, W, 8);
        EightRounds<true>(v, b_xor_c, K + 16, W, 0);
        EightRounds<true>(v, b_xor_c, K + 24, W, 8);
        EightRounds<true>(v, b_xor_c, K + 32, W, 0);
        EightRounds<true>(v, b_xor_c, K + 40, W, 8);
        EightRounds<true>(v, b_xor_c, K + 48, W, 0);
        EightRounds<true>(v, b_xor_c, K + 56, W, 8);
        for (int i = 0; i < 8; ++i) {
            H[i] += v[i];
        }
    }
}

#if SHA_X86_ENGINES

namespace {

// Four rounds from round t on, with W[t] to W[t + 3] in w: each sha256rnds2 takes two of
// them, from the low half of its third operand. The state travels as ABEF and CDGH (A in the
// top lane), the order the instruction reads; the second instruction takes the first one's
// result as ABEF and the old ABEF as CDGH, so the two registers trade places and back.
SHA_TARGET_INLINE("sha,sse4.1,ssse3")
void FourRounds(__m128i& abef, __m128i& cdgh, __m128i w, int t)
{
    const __m128i k_plus_w =
        _mm_add_epi32(w, _mm_loadu_si128(reinterpret_cast<const __m128i*>(K + t)));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k_plus_w);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(k_plus_w, 0x0E));
}

// W[t] to W[t + 3] from the four vectors before them: sha256msg1 adds sigma0 of W[t - 15..]
// to W[t - 16..], W[t - 7..] is added here, and sha256msg2 adds sigma1 of W[t - 2..], which
// for the upper two lanes are the words that it has just produced.
SHA_TARGET_INLINE("sha,sse4.1,ssse3")
__m128i NextFour(__m128i w16, __m128i w12, __m128i w8, __m128i w4)
{
    const __m128i w7 = _mm_alignr_epi8(w4, w8, 4);
    return _mm_sha256msg2_epu32(_mm_add_epi32(_mm_sha256msg1_epu32(w16, w12), w7), w4);
}

} // namespace

SHA_TARGET("sha,sse4.1,ssse3")
void sha_engines::SHA256BlocksShaExtensions(std::uint32_t* H, const std::uint8_t* blocks,
                                            std::size_t count)
{
    // Each 32-bit lane from its four bytes, most significant first.
    const __m128i byte_swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    const auto load = [](const void* at) {
        return _mm_loadu_si128(static_cast<const __m128i*>(at));
    };
    const __m128i dcba = _mm_shuffle_epi32(load(H), 0x1B);
    const __m128i hgfe = _mm_shuffle_epi32(load(H + 4), 0x1B);
    __m128i abef = _mm_unpackhi_epi64(hgfe, dcba);
    __m128i cdgh = _mm_unpacklo_epi64(hgfe, dcba);

    for (; count != 0; --count, blocks += SHA256_Message_Block_Size) {
        const __m128i abef_before = abef;
        const __m128i cdgh_before = cdgh;
        __m128i w0 = _mm_shuffle_epi8(load(blocks), byte_swap);
        __m128i w1 = _mm_shuffle_epi8(load(blocks + 16), byte_swap);
        __m128i w2 = _mm_shuffle_epi8(load(blocks + 32), byte_swap);
        __m128i w3 = _mm_shuffle_epi8(load(blocks + 48), byte_swap);
        FourRounds(abef, cdgh, w0, 0);
        FourRounds(abef, cdgh, w1, 4);
        FourRounds(abef, cdgh, w2, 8);
        FourRounds(abef, cdgh, w3, 12);
        for (int t = 16; t < 64; t += 16) {
            w0 = NextFour(w0, w1, w2, w3);
            FourRounds(abef, cdgh, w0, t);
            w1 = NextFour(w1, w2, w3, w0);
            FourRounds(abef, cdgh, w1, t + 4);
            w2 = NextFour(w2, w3, w0, w1);
            FourRounds(abef, cdgh, w2, t + 8);
            w3 = NextFour(w3, w0, w1, w2);
            FourRounds(abef, cdgh, w3, t + 12);
        }
        abef = _mm_add_epi32(abef, abef_before);
        cdgh = _mm_add_epi32(cdgh, cdgh_before);
    }

    _mm_storeu_si128(reinterpret_cast<__m128i*>(H),
                     _mm_shuffle_epi32(_mm_unpackhi_epi64(cdgh, abef), 0x1B));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(H + 4),
                     _mm_shuffle_epi32(_mm_unpacklo_epi64(cdgh, abef), 0x1B));
}

#endif

namespace {

void SHA256Blocks(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count)
{
#if SHA_X86_ENGINES
    if (sha_engines::SHA224_256Engine() == sha_engines::Engine::ShaExtensions) {
        sha_engines::SHA256BlocksShaExtensions(H, blocks, count);
        return;
    }
#endif
    sha_engines::SHA256BlocksPortable(H, blocks, count);
}

void SHA224_256Finalize(SHA256Context* context, std::uint8_t Pad_Byte)
{
    sha_core::Finalize<SHA256Blocks>(context, Pad_Byte);
}

int SHA224_256Reset(SHA256Context* context, const std::uint32_t (&H0)[8])
{
    if (context == nullptr) {
        return shaNull;
    }
    std::copy(std::begin(H0), std::end(H0), context->Intermediate_Hash);
    sha_core::StartMessage(*context);
    return shaSuccess;
}

int SHA224_256ResultN(SHA256Context* context, std::uint8_t* Message_Digest, int HashSize)
{
    return sha_core::ResultN<SHA224_256Finalize>(context, Message_Digest, HashSize);
}

} // namespace

int SHA224Reset(SHA224Context* context)
{
    return SHA224_256Reset(context, SHA224_H0);
}

int SHA224Input(SHA224Context* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    return SHA256Input(context, bytes, bytecount);
}

int SHA224FinalBits(SHA224Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return SHA256FinalBits(context, message_bits, bit_count);
}

int SHA224Result(SHA224Context* context, std::uint8_t Message_Digest[SHA224HashSize])
{
    return SHA224_256ResultN(context, Message_Digest, SHA224HashSize);
}

int SHA256Reset(SHA256Context* context)
{
    return SHA224_256Reset(context, SHA256_H0);
}

int SHA256Input(SHA256Context* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    return sha_core::Input<SHA256Blocks>(context, bytes, bytecount);
}

int SHA256FinalBits(SHA256Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return sha_core::FinalBits<SHA224_256Finalize>(context, message_bits, bit_count);
}

int SHA256Result(SHA256Context* context, std::uint8_t Message_Digest[SHA256HashSize])
{
    return SHA224_256ResultN(context, Message_Digest, SHA256HashSize);
}
