// The ends of the bit-length counter (2^64 bits for SHA-1/224/256, 2^128 for SHA-384/512),
// reached by storing lengths near them: the call stops at the byte that wraps, and the state
// it leaves is rebuilt here from the bytes and OpenSSL's compression.
#include "openssl_oracle.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>

namespace {

constexpr std::uint64_t All_Ones = std::numeric_limits<std::uint64_t>::max();

struct WrapCase {
    const char* name;
    std::size_t held_before;   // bytes already in Message_Block when the call starts
    std::size_t wrapping_byte; // 1-based position, in the call, of the byte that wraps
    unsigned odd_bits;         // 0 to 7 bits of the starting length that are not whole bytes
};

struct Prepared {
    USHAContext context;
    Bytes held; // the bytes input before the lengths were set
    Bytes call; // the bytes offered to the wrapping call
    Bytes block_before;
};

class LengthWrap : public testing::TestWithParam<Variant> {};

// Lengths are set after the held bytes went in, so that the wrap lands on the chosen byte.
Prepared Prepare(const Variant& variant, std::size_t held_before, std::size_t call_size,
                 std::uint64_t length_high, std::uint64_t length_low)
{
    Prepared setup;
    std::memset(&setup.context, 0xE3, sizeof setup.context);
    setup.held = PatternBytes(held_before, 11);
    setup.call = PatternBytes(call_size, 12);
    EXPECT_EQ(USHAReset(&setup.context, variant.which), shaSuccess);
    EXPECT_EQ(USHAInput(&setup.context, setup.held.data(), static_cast<std::uint32_t>(held_before)),
              shaSuccess);
    SetLength(setup.context, length_high, length_low);
    setup.block_before = View(setup.context).Message_Block;
    return setup;
}

TEST_P(LengthWrap, InputStopsAtTheWrappingByte)
{
    const Variant& variant = GetParam();
    const std::size_t B = variant.block_size;
    const WrapCase cases[] = {
        {"first byte of an empty block", 0, 1, 0},
        {"first byte after held bytes", 5, 1, 0},
        {"all ones length", 5, 1, 7},
        {"byte that would fill the block", 5, B - 5, 0},
        {"byte that fills a held block", B - 1, 1, 0},
        {"last byte of the first whole block", 0, B, 3},
        {"first byte of the third block", 0, 2 * B + 1, 0},
        {"several blocks into the call", 5, 3 * B + 7, 5},
    };
    for (const WrapCase& wrap : cases) {
        SCOPED_TRACE(wrap.name);
        const std::size_t j = wrap.wrapping_byte;
        // 2^(2w) - 8j + odd_bits: byte j is the first whose 8 bits do not fit.
        const std::uint64_t odd_bits = wrap.odd_bits;
        const std::uint64_t start_low = odd_bits - 8 * static_cast<std::uint64_t>(j);
        Prepared setup = Prepare(variant, wrap.held_before, j + 2 * B + 3, All_Ones, start_low);

        EXPECT_EQ(USHAInput(&setup.context, setup.call.data(),
                            static_cast<std::uint32_t>(setup.call.size())),
                  shaInputTooLong);

        // Everything up to the wrapping byte, stored the way single bytes are.
        Bytes stream = setup.held;
        stream.insert(stream.end(), setup.call.begin(),
                      setup.call.begin() + static_cast<std::ptrdiff_t>(j));
        Bytes block = setup.block_before;
        for (std::size_t k = wrap.held_before; k < stream.size(); ++k)
            block[k % B] = stream[k];
        const std::size_t compressed = (stream.size() - 1) / B * B;

        const EngineView view = View(setup.context);
        EXPECT_EQ(view.Corrupted, shaInputTooLong);
        EXPECT_EQ(view.Computed, 0);
        EXPECT_EQ(view.Length_High, 0U);
        EXPECT_EQ(view.Length_Low, wrap.odd_bits);
        EXPECT_EQ(view.Message_Block_Index, static_cast<int>(stream.size() - compressed));
        EXPECT_EQ(Hex(view.Message_Block), Hex(block));
        EXPECT_EQ(Hex(view.Intermediate_Hash),
                  Hex(OpenSSLChainValue(variant.which, std::span(stream).first(compressed))));

        // Sticky: nothing more is taken, written or finished.
        const USHAContext spoilt = setup.context;
        std::array<std::uint8_t, USHAMaxHashSize> digest;
        digest.fill(0x5A);
        EXPECT_EQ(USHAInput(&setup.context, setup.call.data(), 1), shaInputTooLong);
        EXPECT_EQ(USHAInput(&setup.context, nullptr, 0), shaSuccess);
        EXPECT_EQ(USHAFinalBits(&setup.context, 0x80, 1), shaInputTooLong);
        EXPECT_EQ(USHAResult(&setup.context, digest.data()), shaInputTooLong);
        EXPECT_TRUE(Untouched(setup.context, spoilt));
        EXPECT_EQ(digest[0], 0x5A);

        ASSERT_EQ(USHAReset(&setup.context, variant.which), shaSuccess);
        ASSERT_EQ(USHAInput(&setup.context, setup.call.data(), 3), shaSuccess);
        Bytes recovered(USHAMaxHashSize);
        ASSERT_EQ(USHAResult(&setup.context, recovered.data()), shaSuccess);
        recovered.resize(variant.digest_size);
        EXPECT_EQ(recovered, OpenSSLDigest(variant.which, std::span(setup.call).first(3)));
    }
}

// A full high half alone is no overflow, nor is the low half wrapping into the high one;
// the digest then carries that length in its last block.
TEST_P(LengthWrap, CarriesWithoutOverflowAndFinishesWithTheCarriedLength)
{
    const Variant& variant = GetParam();
    const std::size_t B = variant.block_size;
    const std::uint64_t low_max = B == 64 ? 0xFFFFFFFF : All_Ones;
    struct CarryCase {
        const char* name;
        std::uint64_t start_high, start_low, end_high, end_low;
    };
    const std::uint64_t call_bits = 8 * (3 * B + 9);
    const CarryCase cases[] = {
        {"high half full", low_max, 0, low_max, call_bits},
        {"low half wraps", 6, low_max - 15, 7, call_bits - 16},
        {"ends one bit short of the wrap", low_max, low_max - call_bits, low_max, low_max},
    };
    for (const CarryCase& carry : cases) {
        SCOPED_TRACE(carry.name);
        Prepared setup = Prepare(variant, 0, 3 * B + 9, carry.start_high, carry.start_low);
        ASSERT_EQ(USHAInput(&setup.context, setup.call.data(),
                            static_cast<std::uint32_t>(setup.call.size())),
                  shaSuccess);
        const EngineView view = View(setup.context);
        EXPECT_EQ(view.Corrupted, shaSuccess);
        EXPECT_EQ(view.Length_High, carry.end_high);
        EXPECT_EQ(view.Length_Low, carry.end_low);
        EXPECT_EQ(view.Message_Block_Index, 9);

        Bytes digest(USHAMaxHashSize);
        ASSERT_EQ(USHAResult(&setup.context, digest.data()), shaSuccess);
        digest.resize(variant.digest_size);
        Bytes expected = OpenSSLChainValue(
            variant.which, PaddedMessage(variant, setup.call, 0, 0, carry.end_high, carry.end_low));
        expected.resize(variant.digest_size);
        EXPECT_EQ(Hex(digest), Hex(expected));
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, LengthWrap, testing::ValuesIn(All_Variants), VariantName);

} // namespace
