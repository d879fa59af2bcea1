// SHA-224 and SHA-256 (FIPS 180-4, sections 5.3.2, 5.3.3 and 6.2): one context, one input
// routine, one compression; the variants differ only in initial value and digest size.
#include "sha/sha.h"
#include "sha/sha_core.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>

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

// Indexed by the number of bits in a final partial byte.
constexpr std::uint8_t masks[8] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE};
constexpr std::uint8_t markbit[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

std::uint32_t Sigma0(std::uint32_t x)
{
    return std::rotr(x, 2) ^ std::rotr(x, 13) ^ std::rotr(x, 22);
}
std::uint32_t Sigma1(std::uint32_t x)
{
    return std::rotr(x, 6) ^ std::rotr(x, 11) ^ std::rotr(x, 25);
}
std::uint32_t sigma0(std::uint32_t x)
{
    return std::rotr(x, 7) ^ std::rotr(x, 18) ^ (x >> 3);
}
std::uint32_t sigma1(std::uint32_t x)
{
    return std::rotr(x, 17) ^ std::rotr(x, 19) ^ (x >> 10);
}
// Same bits as the textbook Ch and Maj, with one operation fewer each.
std::uint32_t Ch(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return z ^ (x & (y ^ z));
}
std::uint32_t Maj(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return (x & y) | (z & (x | y));
}

// Callers rotate the roles of the working variables instead of shifting their values, so a
// round writes only the two variables whose values change: d (to become e) and h (to become a).
// Declared inline because at -O2 GCC otherwise keeps it a call, with d and h in memory.
inline void Round(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d,
                  std::uint32_t e, std::uint32_t f, std::uint32_t g, std::uint32_t& h,
                  std::uint32_t k_plus_w)
{
    const std::uint32_t T1 = h + Sigma1(e) + Ch(e, f, g) + k_plus_w;
    d += T1;
    h = T1 + Sigma0(a) + Maj(a, b, c);
}

void SHA224_256ProcessMessageBlock(SHA256Context* context)
{
    std::uint32_t W[64];
    for (int t = 0; t < 16; ++t) {
        W[t] = sha_core::LoadBigEndian<std::uint32_t>(context->Message_Block + 4 * t);
    }
    for (int t = 16; t < 64; ++t) {
        W[t] = sigma1(W[t - 2]) + W[t - 7] + sigma0(W[t - 15]) + W[t - 16];
    }

    std::uint32_t* const H = context->Intermediate_Hash;
    std::uint32_t a = H[0], b = H[1], c = H[2], d = H[3], e = H[4], f = H[5], g = H[6], h = H[7];
    for (int t = 0; t < 64; t += 8) {
        Round(a, b, c, d, e, f, g, h, K[t] + W[t]);
        Round(h, a, b, c, d, e, f, g, K[t + 1] + W[t + 1]);
        Round(g, h, a, b, c, d, e, f, K[t + 2] + W[t + 2]);
        Round(f, g, h, a, b, c, d, e, K[t + 3] + W[t + 3]);
        Round(e, f, g, h, a, b, c, d, K[t + 4] + W[t + 4]);
        Round(d, e, f, g, h, a, b, c, K[t + 5] + W[t + 5]);
        Round(c, d, e, f, g, h, a, b, K[t + 6] + W[t + 6]);
        Round(b, c, d, e, f, g, h, a, K[t + 7] + W[t + 7]);
    }
    H[0] += a;
    H[1] += b;
    H[2] += c;
    H[3] += d;
    H[4] += e;
    H[5] += f;
    H[6] += g;
    H[7] += h;
    context->Message_Block_Index = 0;
}

void SHA224_256Finalize(SHA256Context* context, std::uint8_t Pad_Byte)
{
    sha_core::Finalize<SHA224_256ProcessMessageBlock>(context, Pad_Byte);
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
    return sha_core::Input<SHA224_256ProcessMessageBlock>(context, bytes, bytecount);
}

int SHA256FinalBits(SHA256Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return sha_core::FinalBits<SHA224_256Finalize>(context, message_bits, bit_count, masks,
                                                   markbit);
}

int SHA256Result(SHA256Context* context, std::uint8_t Message_Digest[SHA256HashSize])
{
    return SHA224_256ResultN(context, Message_Digest, SHA256HashSize);
}
