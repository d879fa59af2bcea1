// A message that ends in 1 to 7 bits: checked against blocks padded here, bit by bit, and run
// through OpenSSL's compression; and the codes of the final-bits call in every state.
#include "openssl_oracle.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>

namespace {

using DigestBuffer = std::array<std::uint8_t, USHAMaxHashSize>;

USHAContext StartedWith(const Variant& variant, std::span<const std::uint8_t> message)
{
    USHAContext context;
    std::memset(&context, 0xE3, sizeof context);
    EXPECT_EQ(USHAReset(&context, variant.which), shaSuccess);
    EXPECT_EQ(USHAInput(&context, message.data(), static_cast<std::uint32_t>(message.size())),
              shaSuccess);
    return context;
}

Bytes OracleDigest(const Variant& variant, const Bytes& padded)
{
    Bytes digest = OpenSSLChainValue(variant.which, padded);
    digest.resize(variant.digest_size);
    return digest;
}

class FinalBits : public testing::TestWithParam<Variant> {};

TEST_P(FinalBits, EveryBitCountAtEveryPaddingPosition)
{
    const Variant& variant = GetParam();
    const std::size_t B = variant.block_size;
    const std::size_t length_field = B / 8; // 8 or 16 bytes
    int checked = 0;
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, B - length_field - 1,
                                   B - length_field, B - 1, B, 2 * B + 3}) {
        const Bytes message = PatternBytes(size, static_cast<std::uint32_t>(size));
        for (unsigned bit_count = 1; bit_count <= 7; ++bit_count) {
            for (const std::uint8_t bits : {0x00, 0xFF, 0x5B, 0xA4}) {
                SCOPED_TRACE(testing::Message()
                             << size << " bytes, then " << bit_count << " bits of " << int{bits});
                USHAContext context = StartedWith(variant, message);
                ASSERT_EQ(USHAFinalBits(&context, bits, bit_count), shaSuccess);
                EXPECT_EQ(View(context).Computed, 1);
                DigestBuffer digest;
                ASSERT_EQ(USHAResult(&context, digest.data()), shaSuccess);
                const Bytes expected =
                    OracleDigest(variant, PaddedMessage(variant, message, bits, bit_count, 0,
                                                        8 * size + bit_count));
                EXPECT_EQ(Hex(std::span(digest).first(variant.digest_size)), Hex(expected));
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 7 * 7 * 4);
}

// The oracle itself must agree with a whole-byte message: 8 bits are a byte.
TEST_P(FinalBits, PaddingOracleMatchesEvpForWholeBytes)
{
    const Variant& variant = GetParam();
    const Bytes message = PatternBytes(variant.block_size + 17, 3);
    EXPECT_EQ(
        Hex(OracleDigest(variant, PaddedMessage(variant, message, 0, 0, 0, 8 * message.size()))),
        Hex(OpenSSLDigest(variant.which, message)));
}

TEST_P(FinalBits, CountsAboveSevenAreRefusedInEveryState)
{
    const Variant& variant = GetParam();
    const Bytes message = AsBytes("abc");
    USHAContext accumulating = StartedWith(variant, message);
    USHAContext computed = StartedWith(variant, message);
    DigestBuffer digest;
    ASSERT_EQ(USHAResult(&computed, digest.data()), shaSuccess);
    USHAContext spoilt = computed;
    ASSERT_EQ(USHAInput(&spoilt, message.data(), 1), shaStateError);

    for (USHAContext* context : {&accumulating, &computed, &spoilt}) {
        const USHAContext before = *context;
        for (const std::uint32_t bit_count : {8U, 9U, 1000U, 0xFFFFFFFFU}) {
            EXPECT_EQ(USHAFinalBits(context, 0xFF, bit_count), shaBadParam) << bit_count;
        }
        EXPECT_TRUE(Untouched(*context, before));
    }
}

TEST_P(FinalBits, StickyCodesComeFirst)
{
    const Variant& variant = GetParam();
    const Bytes message = AsBytes("abc");
    USHAContext context = StartedWith(variant, message);
    DigestBuffer first;
    DigestBuffer second;
    ASSERT_EQ(USHAFinalBits(&context, 0x80, 1), shaSuccess);
    ASSERT_EQ(USHAResult(&context, first.data()), shaSuccess);

    // Finished: a second final-bits call is input after the result.
    EXPECT_EQ(USHAFinalBits(&context, 0x80, 1), shaStateError);
    EXPECT_EQ(View(context).Corrupted, shaStateError);
    second.fill(0x5A);
    EXPECT_EQ(USHAResult(&context, second.data()), shaStateError);
    EXPECT_EQ(second[0], 0x5A);
    const USHAContext spoilt = context;
    EXPECT_EQ(USHAFinalBits(&context, 0x80, 7), shaStateError);
    EXPECT_TRUE(Untouched(context, spoilt));

    // And input after final bits is refused just the same.
    context = StartedWith(variant, message);
    ASSERT_EQ(USHAFinalBits(&context, 0x00, 4), shaSuccess);
    first.fill(0);
    second.fill(0);
    ASSERT_EQ(USHAResult(&context, second.data()), shaSuccess);
    ASSERT_EQ(USHAResult(&context, first.data()), shaSuccess);
    EXPECT_EQ(first, second);
    EXPECT_EQ(USHAInput(&context, message.data(), 1), shaStateError);
}

// The counter's last free bits: two more fit exactly, three wrap it.
TEST_P(FinalBits, BitsThatWrapTheLength)
{
    const Variant& variant = GetParam();
    const std::uint64_t low_max =
        variant.block_size == 64 ? 0xFFFFFFFF : std::numeric_limits<std::uint64_t>::max();
    const Bytes message = PatternBytes(5, 9);

    USHAContext fits = StartedWith(variant, message);
    SetLength(fits, low_max, low_max - 2);
    ASSERT_EQ(USHAFinalBits(&fits, 0xC0, 2), shaSuccess);
    DigestBuffer digest;
    ASSERT_EQ(USHAResult(&fits, digest.data()), shaSuccess);
    EXPECT_EQ(
        Hex(std::span(digest).first(variant.digest_size)),
        Hex(OracleDigest(variant, PaddedMessage(variant, message, 0xC0, 2, low_max, low_max))));

    USHAContext wraps = StartedWith(variant, message);
    SetLength(wraps, low_max, low_max - 2);
    const Bytes block_before = View(wraps).Message_Block;
    EXPECT_EQ(USHAFinalBits(&wraps, 0xE0, 3), shaInputTooLong);
    const EngineView view = View(wraps);
    EXPECT_EQ(view.Corrupted, shaInputTooLong);
    EXPECT_EQ(view.Computed, 0);
    EXPECT_EQ(view.Length_High, 0U);
    EXPECT_EQ(view.Length_Low, 0U);
    EXPECT_EQ(view.Message_Block_Index, 5);
    EXPECT_EQ(view.Message_Block, block_before);
    digest.fill(0x5A);
    EXPECT_EQ(USHAResult(&wraps, digest.data()), shaInputTooLong);
    EXPECT_EQ(digest[0], 0x5A);
}

INSTANTIATE_TEST_SUITE_P(Variants, FinalBits, testing::ValuesIn(All_Variants), VariantName);

} // namespace
