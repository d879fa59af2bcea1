// SHA-384 and SHA-512 (FIPS 180-4, sections 5.3.4, 5.3.5 and 6.4): one context, one input
// routine, one compression; the variants differ only in initial value and digest size.
#include "sha/sha.h"
#include "sha/sha_core.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>

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

// Indexed by the number of bits in a final partial byte.
constexpr std::uint8_t masks[8] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE};
constexpr std::uint8_t markbit[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

std::uint64_t Sigma0(std::uint64_t x)
{
    return std::rotr(x, 28) ^ std::rotr(x, 34) ^ std::rotr(x, 39);
}
std::uint64_t Sigma1(std::uint64_t x)
{
    return std::rotr(x, 14) ^ std::rotr(x, 18) ^ std::rotr(x, 41);
}
std::uint64_t sigma0(std::uint64_t x)
{
    return std::rotr(x, 1) ^ std::rotr(x, 8) ^ (x >> 7);
}
std::uint64_t sigma1(std::uint64_t x)
{
    return std::rotr(x, 19) ^ std::rotr(x, 61) ^ (x >> 6);
}
// Same bits as the textbook Ch and Maj, with one operation fewer each.
std::uint64_t Ch(std::uint64_t x, std::uint64_t y, std::uint64_t z)
{
    return z ^ (x & (y ^ z));
}
std::uint64_t Maj(std::uint64_t x, std::uint64_t y, std::uint64_t z)
{
    return (x & y) | (z & (x | y));
}

// Callers rotate the roles of the working variables instead of shifting their values, so a
// round writes only the two variables whose values change: d (to become e) and h (to become a).
// Declared inline because at -O2 GCC otherwise keeps it a call, with d and h in memory.
inline void Round(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t& d,
                  std::uint64_t e, std::uint64_t f, std::uint64_t g, std::uint64_t& h,
                  std::uint64_t k_plus_w)
{
    const std::uint64_t T1 = h + Sigma1(e) + Ch(e, f, g) + k_plus_w;
    d += T1;
    h = T1 + Sigma0(a) + Maj(a, b, c);
}

void SHA384_512ProcessMessageBlock(SHA512Context* context)
{
    std::uint64_t W[80];
    for (int t = 0; t < 16; ++t) {
        W[t] = sha_core::LoadBigEndian<std::uint64_t>(context->Message_Block + 8 * t);
    }
    for (int t = 16; t < 80; ++t) {
        W[t] = sigma1(W[t - 2]) + W[t - 7] + sigma0(W[t - 15]) + W[t - 16];
    }

    std::uint64_t* const H = context->Intermediate_Hash;
    std::uint64_t a = H[0], b = H[1], c = H[2], d = H[3], e = H[4], f = H[5], g = H[6], h = H[7];
    for (int t = 0; t < 80; t += 8) {
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

void SHA384_512Finalize(SHA512Context* context, std::uint8_t Pad_Byte)
{
    sha_core::Finalize<SHA384_512ProcessMessageBlock>(context, Pad_Byte);
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
    return sha_core::Input<SHA384_512ProcessMessageBlock>(context, bytes, bytecount);
}

int SHA512FinalBits(SHA512Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return sha_core::FinalBits<SHA384_512Finalize>(context, message_bits, bit_count, masks,
                                                   markbit);
}

int SHA512Result(SHA512Context* context, std::uint8_t Message_Digest[SHA512HashSize])
{
    return SHA384_512ResultN(context, Message_Digest, SHA512HashSize);
}
