// SHA-1 (FIPS 180-4, sections 5.3.1 and 6.1).
#include "sha/sha.h"
#include "sha/sha_core.h"

#include <bit>
#include <cstdint>

namespace {

// One constant for each group of 20 rounds.
constexpr std::uint32_t K[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};

// Indexed by the number of bits in a final partial byte.
constexpr std::uint8_t masks[8] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE};
constexpr std::uint8_t markbit[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

// Same bits as the textbook Ch and Maj, with one operation fewer each.
std::uint32_t Ch(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return z ^ (x & (y ^ z));
}
std::uint32_t Parity(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return x ^ y ^ z;
}
std::uint32_t Maj(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return (x & y) | (z & (x | y));
}

// Callers rotate the roles of the working variables instead of shifting their values, so a
// round writes only the two variables whose values change: e (to become a) and b (to become c).
// Declared inline, like the helpers below, because at -O2 GCC otherwise keeps calls here.
template <auto F>
inline void Round(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t& e, std::uint32_t k_plus_w)
{
    e += std::rotl(a, 5) + F(b, c, d) + k_plus_w;
    b = std::rotl(b, 30);
}

// W[t] of the message schedule, over a ring of the 16 words still needed. Expanded in the
// rounds rather than ahead of them: a separate expansion loop gets vectorised two words at a
// time, and each step then waits on a load that straddles the previous step's store.
inline std::uint32_t Schedule(std::uint32_t (&W)[16], int t)
{
    if (t < 16) {
        return W[t];
    }
    std::uint32_t& w = W[t & 15];
    w = std::rotl(W[(t - 3) & 15] ^ W[(t - 8) & 15] ^ W[(t - 14) & 15] ^ w, 1);
    return w;
}

// The working variables travel by value: as references they could alias the schedule, and
// every round would go through memory.
struct Working {
    std::uint32_t a, b, c, d, e;
};

template <auto F, int First>
inline Working TwentyRounds(Working v, std::uint32_t (&W)[16], std::uint32_t k)
{
    std::uint32_t a = v.a, b = v.b, c = v.c, d = v.d, e = v.e;
    for (int t = First; t < First + 20; t += 5) {
        Round<F>(a, b, c, d, e, k + Schedule(W, t));
        Round<F>(e, a, b, c, d, k + Schedule(W, t + 1));
        Round<F>(d, e, a, b, c, k + Schedule(W, t + 2));
        Round<F>(c, d, e, a, b, k + Schedule(W, t + 3));
        Round<F>(b, c, d, e, a, k + Schedule(W, t + 4));
    }
    return {a, b, c, d, e};
}

void SHA1ProcessMessageBlock(SHA1Context* context)
{
    std::uint32_t W[16];
    for (int t = 0; t < 16; ++t) {
        W[t] = sha_core::LoadBigEndian<std::uint32_t>(context->Message_Block + 4 * t);
    }

    std::uint32_t* const H = context->Intermediate_Hash;
    Working v{H[0], H[1], H[2], H[3], H[4]};
    v = TwentyRounds<Ch, 0>(v, W, K[0]);
    v = TwentyRounds<Parity, 20>(v, W, K[1]);
    v = TwentyRounds<Maj, 40>(v, W, K[2]);
    v = TwentyRounds<Parity, 60>(v, W, K[3]);
    H[0] += v.a;
    H[1] += v.b;
    H[2] += v.c;
    H[3] += v.d;
    H[4] += v.e;
    context->Message_Block_Index = 0;
}

void SHA1Finalize(SHA1Context* context, std::uint8_t Pad_Byte)
{
    sha_core::Finalize<SHA1ProcessMessageBlock>(context, Pad_Byte);
}

} // namespace

int SHA1Reset(SHA1Context* context)
{
    if (context == nullptr) {
        return shaNull;
    }
    context->Intermediate_Hash[0] = 0x67452301;
    context->Intermediate_Hash[1] = 0xEFCDAB89;
    context->Intermediate_Hash[2] = 0x98BADCFE;
    context->Intermediate_Hash[3] = 0x10325476;
    context->Intermediate_Hash[4] = 0xC3D2E1F0;
    sha_core::StartMessage(*context);
    return shaSuccess;
}

int SHA1Input(SHA1Context* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    return sha_core::Input<SHA1ProcessMessageBlock>(context, bytes, bytecount);
}

int SHA1FinalBits(SHA1Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return sha_core::FinalBits<SHA1Finalize>(context, message_bits, bit_count, masks, markbit);
}

int SHA1Result(SHA1Context* context, std::uint8_t Message_Digest[SHA1HashSize])
{
    return sha_core::ResultN<SHA1Finalize>(context, Message_Digest, SHA1HashSize);
}
