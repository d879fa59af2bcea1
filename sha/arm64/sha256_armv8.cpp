// SHA-224 and SHA-256 on the ARMv8 SHA-256 instructions.
#include "arm64_engines.h"

#include "sha2.h"
#include <computer_id/sha/sha.h>

#include <arm_neon.h>
#include <cstddef>
#include <cstdint>

namespace {

// Four rounds from round t on, with W[t] to W[t + 3] in w. sha256h returns the new A to D and
// sha256h2 the new E to H, each from both halves of the old state, A and E in the low lanes.
SHA_TARGET_INLINE("+crypto")
void FourRounds(uint32x4_t& abcd, uint32x4_t& efgh, uint32x4_t w, int t)
{
    const uint32x4_t kw = vaddq_u32(w, vld1q_u32(sha2::SHA256_K + t));
    const uint32x4_t abcd_before = abcd;
    abcd = vsha256hq_u32(abcd, efgh, kw);
    efgh = vsha256h2q_u32(efgh, abcd_before, kw);
}

// W[t] to W[t + 3] from the four vectors before them: sha256su0 adds sigma0 of W[t - 15..] to
// W[t - 16..], and sha256su1 adds W[t - 7..] and sigma1 of W[t - 2..], which for the upper two
// lanes are the words that it has just produced.
SHA_TARGET_INLINE("+crypto")
uint32x4_t NextFour(uint32x4_t w16, uint32x4_t w12, uint32x4_t w8, uint32x4_t w4)
{
    return vsha256su1q_u32(vsha256su0q_u32(w16, w12), w8, w4);
}

} // namespace

SHA_TARGET("+crypto")
void sha_engines::SHA256BlocksArmv8(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count)
{
    // Each 32-bit lane from its four bytes, most significant first.
    const auto load = [](const std::uint8_t* at) {
        return vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(at)));
    };
    uint32x4_t abcd = vld1q_u32(H);
    uint32x4_t efgh = vld1q_u32(H + 4);

    for (; count != 0; --count, blocks += SHA256_Message_Block_Size) {
        const uint32x4_t abcd_before = abcd;
        const uint32x4_t efgh_before = efgh;
        uint32x4_t w0 = load(blocks);
        uint32x4_t w1 = load(blocks + 16);
        uint32x4_t w2 = load(blocks + 32);
        uint32x4_t w3 = load(blocks + 48);
        FourRounds(abcd, efgh, w0, 0);
        FourRounds(abcd, efgh, w1, 4);
        FourRounds(abcd, efgh, w2, 8);
        FourRounds(abcd, efgh, w3, 12);
        for (int t = 16; t < 64; t += 16) {
            w0 = NextFour(w0, w1, w2, w3);
            FourRounds(abcd, efgh, w0, t);
            w1 = NextFour(w1, w2, w3, w0);
            FourRounds(abcd, efgh, w1, t + 4);
            w2 = NextFour(w2, w3, w0, w1);
            FourRounds(abcd, efgh, w2, t + 8);
            w3 = NextFour(w3, w0, w1, w2);
            FourRounds(abcd, efgh, w3, t + 12);
        }
        abcd = vaddq_u32(abcd, abcd_before);
        efgh = vaddq_u32(efgh, efgh_before);
    }

    vst1q_u32(H, abcd);
    vst1q_u32(H + 4, efgh);
}
