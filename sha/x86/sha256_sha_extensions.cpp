// SHA-224 and SHA-256 on the x86 SHA extensions.
#include "x86_engines.h"

#include "sha2.h"
#include "sha_engines.h"
#include <computer_id/sha/sha.h>

#include <cstddef>
#include <cstdint>
#include <immintrin.h>

namespace {

// Four rounds from round t on, with W[t] to W[t + 3] in w: each sha256rnds2 takes two of
// them, from the low half of its third operand. The state travels as ABEF and CDGH (A in the
// top lane), the order the instruction reads; the second instruction takes the first one's
// result as ABEF and the old ABEF as CDGH, so the two registers trade places and back.
SHA_TARGET_INLINE("sha,sse4.1,ssse3")
void FourRounds(__m128i& abef, __m128i& cdgh, __m128i w, int t)
{
    const __m128i k_plus_w =
        _mm_add_epi32(w, _mm_loadu_si128(reinterpret_cast<const __m128i*>(sha2::SHA256_K + t)));
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
