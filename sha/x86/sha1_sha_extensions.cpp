// SHA-1 on the x86 SHA extensions.
#include "x86_engines.h"

#include "sha_engines.h"
#include <computer_id/sha/sha.h>

#include <cstddef>
#include <cstdint>
#include <immintrin.h>

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
