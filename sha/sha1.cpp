// SHA-1 (FIPS 180-4, sections 5.3.1 and 6.1).
#include "sha1.h"
#include "sha_core.h"
#include "sha_engines.h"
#include <computer_id/sha/sha.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

constexpr std::uint32_t H0[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

std::uint32_t Parity(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return x ^ y ^ z;
}
// Same bits as the textbook Maj, with one operation fewer.
std::uint32_t Maj(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return (x & y) | (z & (x | y));
}

// Callers rotate the roles of the working variables instead of shifting their values, so a
// round writes only the two variables whose values change: e (to become a) and b (to become c).
template <auto F>
SHA_ALWAYS_INLINE void Round(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d,
                             std::uint32_t& e, std::uint32_t k_plus_w)
{
    e += std::rotl(a, 5) + F(b, c, d) + k_plus_w;
    b = std::rotl(b, 30);
}

// W[t] of the message schedule, over a ring of the 16 words still needed. Expanded in the
// rounds rather than ahead of them: a separate expansion loop gets vectorised two words at a
// time, and each step then waits on a load that straddles the previous step's store.
template <int T>
SHA_ALWAYS_INLINE std::uint32_t Schedule(std::uint32_t (&W)[16])
{
    if constexpr (T >= 16) {
        W[T & 15] = std::rotl(W[(T - 3) & 15] ^ W[(T - 8) & 15] ^ W[(T - 14) & 15] ^ W[T & 15], 1);
    }
    return W[T & 15];
}

// The working variables travel by value: as references they could alias the schedule, and
// every round would go through memory.
struct Working {
    std::uint32_t a, b, c, d, e;
};

// Rounds T to T + 4, within one group of 20, which picks the function and the constant.
template <int T>
SHA_ALWAYS_INLINE Working FiveRounds(Working v, std::uint32_t (&W)[16])
{
    constexpr auto F = T < 20   ? sha_core::Ch<std::uint32_t>
                       : T < 40 ? Parity
                       : T < 60 ? Maj
                                : Parity;
    constexpr std::uint32_t k = sha1::K[T / 20];
    std::uint32_t a = v.a;
    std::uint32_t b = v.b;
    std::uint32_t c = v.c;
    std::uint32_t d = v.d;
    std::uint32_t e = v.e;
    Round<F>(a, b, c, d, e, k + Schedule<T>(W));
    Round<F>(e, a, b, c, d, k + Schedule<T + 1>(W));
    Round<F>(d, e, a, b, c, k + Schedule<T + 2>(W));
    Round<F>(c, d, e, a, b, k + Schedule<T + 3>(W));
    Round<F>(b, c, d, e, a, k + Schedule<T + 4>(W));
    return {a, b, c, d, e};
}

// All 80 rounds written out, so that every index into the ring is a constant.
template <int... Group>
SHA_ALWAYS_INLINE Working Rounds(Working v, std::uint32_t (&W)[16],
                                 std::integer_sequence<int, Group...>)
{
    ((v = FiveRounds<5 * Group>(v, W)), ...);
    return v;
}

} // namespace

void sha_engines::SHA1BlocksPortable(std::uint32_t* H, const std::uint8_t* blocks,
                                     std::size_t count)
{
    Working v{H[0], H[1], H[2], H[3], H[4]};
    for (; count != 0; --count, blocks += SHA1_Message_Block_Size) {
        std::uint32_t W[16];
        for (std::size_t t = 0; t < 16; ++t) {
            W[t] = sha_core::LoadBigEndian<std::uint32_t>(blocks + 4 * t);
        }
        const Working before = v;
        v = Rounds(v, W, std::make_integer_sequence<int, 16>{});
        v = {v.a + before.a, v.b + before.b, v.c + before.c, v.d + before.d, v.e + before.e};
    }
    H[0] = v.a;
    H[1] = v.b;
    H[2] = v.c;
    H[3] = v.d;
    H[4] = v.e;
}

namespace {

void SHA1Blocks(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count)
{
    sha_engines::ChosenEngines().sha1.blocks(H, blocks, count);
}

} // namespace

int SHA1Reset(SHA1Context* context)
{
    return sha_core::Reset(context, H0);
}

int SHA1Input(SHA1Context* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    return sha_core::Input<SHA1Blocks>(context, bytes, bytecount);
}

int SHA1FinalBits(SHA1Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return sha_core::FinalBits<SHA1Blocks>(context, message_bits, bit_count);
}

int SHA1Result(SHA1Context* context, std::uint8_t Message_Digest[SHA1HashSize])
{
    return sha_core::ResultN<SHA1Blocks>(context, Message_Digest, SHA1HashSize);
}
