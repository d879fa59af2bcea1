// SHA-1 on the ARMv8 SHA-1 instructions.
#include "arm64_engines.h"

#include "sha1.h"
#include <computer_id/sha/sha.h>

#include <arm_neon.h>
#include <cstddef>
#include <cstdint>

namespace {

enum class Function { Choose, Parity, Majority };

// Four rounds with W[t] + K to W[t + 3] + K in kw. The instructions take E as a scalar and
// return only A to D; the E of the next four rounds is A of these four's start rotated by 30,
// which sha1h gives.
template <Function F>
SHA_TARGET_INLINE("+crypto")
void FourRounds(uint32x4_t& abcd, std::uint32_t& e, uint32x4_t w, std::uint32_t k)
{
    const uint32x4_t kw = vaddq_u32(w, vdupq_n_u32(k));
    const std::uint32_t next_e = vsha1h_u32(vgetq_lane_u32(abcd, 0));
    if constexpr (F == Function::Choose) {
        abcd = vsha1cq_u32(abcd, e, kw);
    } else if constexpr (F == Function::Parity) {
        abcd = vsha1pq_u32(abcd, e, kw);
    } else {
        abcd = vsha1mq_u32(abcd, e, kw);
    }
    e = next_e;
}

// W[t] to W[t + 3] from the four vectors before them: sha1su0 XORs W[t - 14..], W[t - 16..]
// and W[t - 8..], and sha1su1 XORs in W[t - 3..] (for the last lane the word it has just
// produced) and rotates.
SHA_TARGET_INLINE("+crypto")
uint32x4_t NextFour(uint32x4_t w16, uint32x4_t w12, uint32x4_t w8, uint32x4_t w4)
{
    return vsha1su1q_u32(vsha1su0q_u32(w16, w12, w8), w4);
}

} // namespace

SHA_TARGET("+crypto")
void sha_engines::SHA1BlocksArmv8(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count)
{
    // Each 32-bit lane from its four bytes, most significant first.
    const auto load = [](const std::uint8_t* at) {
        return vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(at)));
    };
    constexpr auto choose = Function::Choose;
    constexpr auto parity = Function::Parity;
    constexpr auto majority = Function::Majority;
    const auto& K = sha1::K;
    uint32x4_t abcd = vld1q_u32(H);
    std::uint32_t e = H[4];

    for (; count != 0; --count, blocks += SHA1_Message_Block_Size) {
        const uint32x4_t abcd_before = abcd;
        const std::uint32_t e_before = e;
        uint32x4_t w0 = load(blocks);
        uint32x4_t w1 = load(blocks + 16);
        uint32x4_t w2 = load(blocks + 32);
        uint32x4_t w3 = load(blocks + 48);

        FourRounds<choose>(abcd, e, w0, K[0]);
        FourRounds<choose>(abcd, e, w1, K[0]);
        FourRounds<choose>(abcd, e, w2, K[0]);
        FourRounds<choose>(abcd, e, w3, K[0]);
        w0 = NextFour(w0, w1, w2, w3);
        FourRounds<choose>(abcd, e, w0, K[0]);
        w1 = NextFour(w1, w2, w3, w0);
        FourRounds<parity>(abcd, e, w1, K[1]);
        w2 = NextFour(w2, w3, w0, w1);
        FourRounds<parity>(abcd, e, w2, K[1]);
        w3 = NextFour(w3, w0, w1, w2);
        FourRounds<parity>(abcd, e, w3, K[1]);
        w0 = NextFour(w0, w1, w2, w3);
        FourRounds<parity>(abcd, e, w0, K[1]);
        w1 = NextFour(w1, w2, w3, w0);
        FourRounds<parity>(abcd, e, w1, K[1]);
        w2 = NextFour(w2, w3, w0, w1);
        FourRounds<majority>(abcd, e, w2, K[2]);
        w3 = NextFour(w3, w0, w1, w2);
        FourRounds<majority>(abcd, e, w3, K[2]);
        w0 = NextFour(w0, w1, w2, w3);
        FourRounds<majority>(abcd, e, w0, K[2]);
        w1 = NextFour(w1, w2, w3, w0);
        FourRounds<majority>(abcd, e, w1, K[2]);
        w2 = NextFour(w2, w3, w0, w1);
        FourRounds<majority>(abcd, e, w2, K[2]);
        w3 = NextFour(w3, w0, w1, w2);
        FourRounds<parity>(abcd, e, w3, K[3]);
        w0 = NextFour(w0, w1, w2, w3);
        FourRounds<parity>(abcd, e, w0, K[3]);
        w1 = NextFour(w1, w2, w3, w0);
        FourRounds<parity>(abcd, e, w1, K[3]);
        w2 = NextFour(w2, w3, w0, w1);
        FourRounds<parity>(abcd, e, w2, K[3]);
        w3 = NextFour(w3, w0, w1, w2);
        FourRounds<parity>(abcd, e, w3, K[3]);

        abcd = vaddq_u32(abcd, abcd_before);
        e += e_before;
    }

    vst1q_u32(H, abcd);
    H[4] = e;
}
