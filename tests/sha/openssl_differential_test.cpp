// Against OpenSSL's EVP digests: random messages split at random points, checking after every
// call that the context is the one that feeding single bytes gives; and the lengths around
// the block and padding boundaries. Against OpenSSL's HMAC: random keys and split messages.
#include "openssl_oracle.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace {

class AgainstOpenSSL : public testing::TestWithParam<Variant> {};

USHAContext ResetContext(SHAversion which)
{
    USHAContext context;
    std::memset(&context, 0xE3, sizeof context);
    EXPECT_EQ(USHAReset(&context, which), shaSuccess);
    return context;
}

TEST_P(AgainstOpenSSL, RandomMessagesSplitAtRandomPoints)
{
    const Variant& variant = GetParam();
    std::mt19937 random(20240607U + static_cast<std::uint32_t>(variant.which));
    std::uniform_int_distribution<std::size_t> message_size(0, 4096);
    for (int round = 0; round < 60; ++round) {
        const Bytes message =
            PatternBytes(message_size(random), static_cast<std::uint32_t>(random()));
        // Cut points drawn anywhere, so pieces are empty, single bytes, and several blocks.
        std::uniform_int_distribution<std::size_t> cut(0, message.size());
        std::vector<std::size_t> cuts(1 + random() % 24);
        for (auto& point : cuts)
            point = cut(random);
        cuts.push_back(message.size());
        std::sort(cuts.begin(), cuts.end());

        USHAContext bulk = ResetContext(variant.which);
        USHAContext single = ResetContext(variant.which);
        // Every byte lands at its position modulo the block size and stays until overwritten.
        Bytes block = View(bulk).Message_Block;
        std::size_t at = 0;
        for (const std::size_t end : cuts) {
            ASSERT_EQ(USHAInput(&bulk, message.data() + at, static_cast<std::uint32_t>(end - at)),
                      shaSuccess);
            for (; at < end; ++at) {
                ASSERT_EQ(USHAInput(&single, message.data() + at, 1), shaSuccess);
                block[at % variant.block_size] = message[at];
            }
            ASSERT_TRUE(SameState(bulk, single))
                << message.size() << "-byte message, after byte " << end;
            const EngineView view = View(bulk);
            ASSERT_EQ(Hex(view.Message_Block), Hex(block)) << "after byte " << end;
            ASSERT_EQ(view.Message_Block_Index, static_cast<int>(end % variant.block_size));
            ASSERT_EQ(view.Length_Low, 8 * end);
        }
        Bytes digest(USHAMaxHashSize);
        ASSERT_EQ(USHAResult(&bulk, digest.data()), shaSuccess);
        digest.resize(variant.digest_size);
        ASSERT_EQ(Hex(digest), Hex(OpenSSLDigest(variant.which, message)))
            << message.size() << "-byte message";
    }
}

// HMAC with keys shorter and longer than a block (the empty one too), messages split at
// random points.
TEST_P(AgainstOpenSSL, HmacOfRandomKeysAndMessagesSplitAtRandomPoints)
{
    const Variant& variant = GetParam();
    std::mt19937 random(20261210U + static_cast<std::uint32_t>(variant.which));
    std::uniform_int_distribution<std::size_t> key_size(0, 300);
    std::uniform_int_distribution<std::size_t> message_size(0, 1000);
    for (int round = 0; round < 60; ++round) {
        const Bytes key = PatternBytes(key_size(random), static_cast<std::uint32_t>(random()));
        const Bytes message =
            PatternBytes(message_size(random), static_cast<std::uint32_t>(random()));
        std::uniform_int_distribution<std::size_t> piece(0, message.size());
        std::vector<std::size_t> pieces(random() % 8);
        for (auto& size : pieces)
            size = piece(random);
        ASSERT_EQ(Hex(OurHmac(variant.which, key, message, pieces)),
                  Hex(OpenSSLHmac(variant.which, key, message)))
            << key.size() << "-byte key, " << message.size() << "-byte message";
    }
}

// One or two final blocks, and the length bytes at every possible distance from the data.
TEST_P(AgainstOpenSSL, LengthsAtTheBlockBoundaries)
{
    const Variant& variant = GetParam();
    for (const std::size_t size :
         {0, 1, 55, 56, 63, 64, 65, 111, 112, 119, 120, 127, 128, 129, 239, 255, 256, 257}) {
        const Bytes message = PatternBytes(size, static_cast<std::uint32_t>(size));
        const std::string expected = Hex(OpenSSLDigest(variant.which, message));
        EXPECT_EQ(Hex(OurDigest(variant.which, message)), expected) << size << " bytes in one call";
        for (const std::size_t piece : {1, 7, 63, 64, 65, 127, 128, 129}) {
            const std::vector<std::size_t> pieces(size / piece + 1, piece);
            EXPECT_EQ(Hex(OurDigest(variant.which, message, pieces)), expected)
                << size << " bytes in pieces of " << piece;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, AgainstOpenSSL, testing::ValuesIn(All_Variants), VariantName);

} // namespace
