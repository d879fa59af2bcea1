// SHA-384 and SHA-512 on the ARMv8.2 SHA-512 instructions.
#include "arm64_engines.h"

#include "sha2.h"
#include <computer_id/sha/sha.h>

#include <arm_neon.h>
#include <cstddef>
#include <cstdint>

namespace {

// Two rounds from round t on, with W[t] and W[t + 1] in w. The state is four pairs, the
// earlier letter in the low lane, as the hash value lies in memory. sha512h takes H and G with
// their rounds' K + W added (H's in the high lane), F and G, and D and E, and returns the two
// rounds' T1 without the D that E adds; sha512h2 takes those, C, and A and B, and returns the
// two new A. After the rounds, the new pairs are (A, B) in gh, the old (A, B) as (C, D) in ab,
// (C + T1, D + T1) as (E, F) in cd and the old (E, F) as (G, H) in ef: so the callers pass the
// four in turn, the next call's ab being this one's gh.
SHA_TARGET_INLINE("arch=armv8.2-a+sha3")
void TwoRounds(uint64x2_t ab, uint64x2_t& cd, uint64x2_t ef, uint64x2_t& gh, uint64x2_t w, int t)
{
    const uint64x2_t kw = vaddq_u64(w, vld1q_u64(sha2::SHA512_K + t));
    const uint64x2_t gh_plus_kw = vaddq_u64(gh, vextq_u64(kw, kw, 1));
    const uint64x2_t t1 = vsha512hq_u64(gh_plus_kw, vextq_u64(ef, gh, 1), vextq_u64(cd, ef, 1));
    gh = vsha512h2q_u64(t1, cd, ab);
    cd = vaddq_u64(cd, t1);
}

// W[t] and W[t + 1] from the pairs before them: sha512su0 adds sigma0 of W[t - 15] and
// W[t - 14] to W[t - 16] and W[t - 15], and sha512su1 adds sigma1 of W[t - 2] and W[t - 1] and
// W[t - 7] and W[t - 6], which straddle two pairs.
SHA_TARGET_INLINE("arch=armv8.2-a+sha3")
uint64x2_t NextTwo(uint64x2_t w16, uint64x2_t w14, uint64x2_t w8, uint64x2_t w6, uint64x2_t w2)
{
    return vsha512su1q_u64(vsha512su0q_u64(w16, w14), w2, vextq_u64(w8, w6, 1));
}

// Eight rounds from round t on, with the state's pairs passed on as TwoRounds leaves them.
SHA_TARGET_INLINE("arch=armv8.2-a+sha3")
void EightRounds(uint64x2_t& ab, uint64x2_t& cd, uint64x2_t& ef, uint64x2_t& gh, uint64x2_t w0,
                 uint64x2_t w1, uint64x2_t w2, uint64x2_t w3, int t)
{
    TwoRounds(ab, cd, ef, gh, w0, t);
    TwoRounds(gh, ab, cd, ef, w1, t + 2);
    TwoRounds(ef, gh, ab, cd, w2, t + 4);
    TwoRounds(cd, ef, gh, ab, w3, t + 6);
}

} // namespace

SHA_TARGET("arch=armv8.2-a+sha3")
void sha_engines::SHA512BlocksArmv82(std::uint64_t* H, const std::uint8_t* blocks,
                                     std::size_t count)
{
    // Each 64-bit lane from its eight bytes, most significant first.
    const auto load = [](const std::uint8_t* at) {
        return vreinterpretq_u64_u8(vrev64q_u8(vld1q_u8(at)));
    };
    uint64x2_t ab = vld1q_u64(H);
    uint64x2_t cd = vld1q_u64(H + 2);
    uint64x2_t ef = vld1q_u64(H + 4);
    uint64x2_t gh = vld1q_u64(H + 6);

    for (; count != 0; --count, blocks += SHA512_Message_Block_Size) {
        const uint64x2_t ab_before = ab;
        const uint64x2_t cd_before = cd;
        const uint64x2_t ef_before = ef;
        const uint64x2_t gh_before = gh;
        uint64x2_t w0 = load(blocks);
        uint64x2_t w1 = load(blocks + 16);
        uint64x2_t w2 = load(blocks + 32);
        uint64x2_t w3 = load(blocks + 48);
        uint64x2_t w4 = load(blocks + 64);
        uint64x2_t w5 = load(blocks + 80);
        uint64x2_t w6 = load(blocks + 96);
        uint64x2_t w7 = load(blocks + 112);
        EightRounds(ab, cd, ef, gh, w0, w1, w2, w3, 0);
        EightRounds(ab, cd, ef, gh, w4, w5, w6, w7, 8);
        for (int t = 16; t < 80; t += 16) {
            w0 = NextTwo(w0, w1, w4, w5, w7);
            w1 = NextTwo(w1, w2, w5, w6, w0);
            w2 = NextTwo(w2, w3, w6, w7, w1);
            w3 = NextTwo(w3, w4, w7, w0, w2);
            EightRounds(ab, cd, ef, gh, w0, w1, w2, w3, t);
            w4 = NextTwo(w4, w5, w0, w1, w3);
            w5 = NextTwo(w5, w6, w1, w2, w4);
            w6 = NextTwo(w6, w7, w2, w3, w5);
            w7 = NextTwo(w7, w0, w3, w4, w6);
            EightRounds(ab, cd, ef, gh, w4, w5, w6, w7, t + 8);
        }
        ab = vaddq_u64(ab, ab_before);
        cd = vaddq_u64(cd, cd_before);
        ef = vaddq_u64(ef, ef_before);
        gh = vaddq_u64(gh, gh_before);
    }

    vst1q_u64(H, ab);
    vst1q_u64(H + 2, cd);
    vst1q_u64(H + 4, ef);
    vst1q_u64(H + 6, gh);
}
