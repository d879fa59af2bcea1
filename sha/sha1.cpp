// SHA-1 (FIPS 180-4, sections 5.3.1 and 6.1).
#include "sha_core.h"
#include "sha_engines.h"
#include <computer_id/sha/sha.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#if SHA_X86_ENGINES
#include <immintrin.h>
#endif

namespace {

// One constant for each group of 20 rounds.
constexpr std::uint32_t K[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};

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
    constexpr auto F = T < 20 ? Ch : T < 40 ? Parity : T < 60 ? Maj : Parity;
    constexpr std::uint32_t k = K[T / 20];
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

#if SHA_X86_ENGINES

namespace {

// Four rounds with the words in w, W[t] in the top lane. sha1nexte adds to W[t] the E of these
// rounds, which is A of four rounds before (the state in `previous`) rotated by 30; the first
// four rounds take E from the hash value instead.
template <int Function>
SHA_TARGET_INLINE("sha,sse4.1,ssse3")
void FourRounds(__m128i& abcd, __m128i& previous, __m128i w)
{
    const __m128i w_plus_e = _mm_sha1nexte_epu32(previous, w);
    previous = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, w_plus_e, Function);
}

// W[t] to W[t + 3] from the four vectors before them: sha1msg1 XORs W[t - 14..] into
// W[t - 16..], W[t - 8..] is XORed here, and sha1msg2 XORs in W[t - 3..] (for the last lane the
// word it has just produced) and rotates.
SHA_TARGET_INLINE("sha,sse4.1,ssse3")
__m128i NextFour(__m128i w16, __m128i w12, __m128i w8, __m128i w4)
{
    return _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(w16, w12), w8), w4);
}

} // namespace

SHA_TARGET("sha,sse4.1,ssse3")
void sha_engines::SHA1BlocksShaExtensions(std::uint32_t* H, const std::uint8_t* blocks,
                                          std::size_t count)
{
    // The 16 bytes reversed: each word most significant byte first, the first word on top,
    // the order in which the instructions read the words and the state.
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const auto load = [](const void* at) {
        return _mm_loadu_si128(static_cast<const __m128i*>(at));
    };
    __m128i abcd = _mm_shuffle_epi32(load(H), 0x1B);
    __m128i e = _mm_set_epi32(static_cast<int>(H[4]), 0, 0, 0);

    for (; count != 0; --count, blocks += SHA1_Message_Block_Size) {
        const __m128i abcd_before = abcd;
        const __m128i e_before = e;
        __m128i w0 = _mm_shuffle_epi8(load(blocks), reverse);
        __m128i w1 = _mm_shuffle_epi8(load(blocks + 16), reverse);
        __m128i w2 = _mm_shuffle_epi8(load(blocks + 32), reverse);
        __m128i w3 = _mm_shuffle_epi8(load(blocks + 48), reverse);

        __m128i previous = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e, w0), 0);
        FourRounds<0>(abcd, previous, w1);
        FourRounds<0>(abcd, previous, w2);
        FourRounds<0>(abcd, previous, w3);
        w0 = NextFour(w0, w1, w2, w3);
        FourRounds<0>(abcd, previous, w0);
        w1 = NextFour(w1, w2, w3, w0);
        FourRounds<1>(abcd, previous, w1);
        w2 = NextFour(w2, w3, w0, w1);
        FourRounds<1>(abcd, previous, w2);
        w3 = NextFour(w3, w0, w1, w2);
        FourRounds<1>(abcd, previous, w3);
        w0 = NextFour(w0, w1, w2, w3);
        FourRounds<1>(abcd, previous, w0);
        w1 = NextFour(w1, w2, w3, w0);
        FourRounds<1>(abcd, previous, w1);
        w2 = NextFour(w2, w3, w0, w1);
        FourRounds<2>(abcd, previous, w2);
        w3 = NextFour(w3, w0, w1, w2);
        FourRounds<2>(abcd, previous, w3);
        w0 = NextFour(w0, w1, w2, w3);
        FourRounds<2>(abcd, previous, w0);
        w1 = NextFour(w1, w2, w3, w0);
        FourRounds<2>(abcd, previous, w1);
        w2 = NextFour(w2, w3, w0, w1);
        FourRounds<2>(abcd, previous, w2);
        w3 = NextFour(w3, w0, w1, w2);
        FourRounds<3>(abcd, previous, w3);
        w0 = NextFour(w0, w1, w2, w3);
        FourRounds<3>(abcd, previous, w0);
        w1 = NextFour(w1, w2, w3, w0);
        FourRounds<3>(abcd, previous, w1);
        w2 = NextFour(w2, w3, w0, w1);
        FourRounds<3>(abcd, previous, w2);
        w3 = NextFour(w3, w0, w1, w2);
        FourRounds<3>(abcd, previous, w3);

        // E of the last four rounds, added to the hash value's E.
        e = _mm_sha1nexte_epu32(previous, e_before);
        abcd = _mm_add_epi32(abcd, abcd_before);
    }

    _mm_storeu_si128(reinterpret_cast<__m128i*>(H), _mm_shuffle_epi32(abcd, 0x1B));
    H[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e, 3));
}

#endif

namespace {

void SHA1Blocks(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count)
{
#if SHA_X86_ENGINES
    if (sha_engines::SHA1Engine() == sha_engines::Engine::ShaExtensions) {
        sha_engines::SHA1BlocksShaExtensions(H, blocks, count);
        return;
    }
#endif
    sha_engines::SHA1BlocksPortable(H, blocks, count);
}

void SHA1Finalize(SHA1Context* context, std::uint8_t Pad_Byte)
{
    sha_core::Finalize<SHA1Blocks>(context, Pad_Byte);
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
    return sha_core::Input<SHA1Blocks>(context, bytes, bytecount);
}

int SHA1FinalBits(SHA1Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return sha_core::FinalBits<SHA1Finalize>(context, message_bits, bit_count);
}

int SHA1Result(SHA1Context* context, std::uint8_t Message_Digest[SHA1HashSize])
{
    return sha_core::ResultN<SHA1Finalize>(context, Message_Digest, SHA1HashSize);
}
