// The dispatching interface's result codes and lifecycle: bad selectors, missing pointers,
// input after the result, sticky corruption, digest sizes, and the FIPS 180-4 examples; the
// same rules for HMAC.
#include "test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

constexpr std::uint8_t Fill = 0xE3;
constexpr std::uint8_t Guard = 0x5A;

using DigestBuffer = std::array<std::uint8_t, USHAMaxHashSize>;

DigestBuffer GuardedBuffer()
{
    DigestBuffer buffer;
    buffer.fill(Guard);
    return buffer;
}

USHAContext FilledContext(std::uint8_t fill = Fill)
{
    USHAContext context;
    std::memset(&context, fill, sizeof context);
    return context;
}

Bytes Digest(const DigestBuffer& buffer, SHAversion which)
{
    return Bytes(buffer.begin(),
                 buffer.begin() + static_cast<std::ptrdiff_t>(VariantOf(which).digest_size));
}

const Bytes abc = AsBytes("abc");

// FIPS 180-4's example messages with their published digests.
struct Example {
    SHAversion which;
    const char* message;
    const char* digest;
};
constexpr const char* two_block_256 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
constexpr const char* two_block_512 = "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmn"
                                      "hijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";
constexpr Example Fips_Examples[] = {
    {SHA1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {SHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {SHA1, two_block_256, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {SHA224, "", "d14a028c2a3a2bc9476102bb288234c415a2b01f828ea62ac5b3e42f"},
    {SHA224, "abc", "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
    {SHA224, two_block_256, "75388b16512776cc5dba5da1fd890150b0c6455cb4f58b1952522525"},
    {SHA256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {SHA256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {SHA256, two_block_256, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {SHA384, "",
     "38b060a751ac96384cd9327eb1b1e36a21fdb71114be0743"
     "4c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b"},
    {SHA384, "abc",
     "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded163"
     "1a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
    {SHA384, two_block_512,
     "09330c33f71147e83d192fc782cd1b4753111b173b3b05d2"
     "2fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039"},
    {SHA512, "",
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
     "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"},
    {SHA512, "abc",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
     "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
    {SHA512, two_block_512,
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
     "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
};

// The published digest of "abc".
Bytes AbcDigest(SHAversion which)
{
    for (const Example& example : Fips_Examples) {
        if (example.which == which && std::string_view(example.message) == "abc") {
            return FromHex(example.digest);
        }
    }
    return {};
}

enum class State { Accumulating, Computed, InputAfterResult, LengthOverflow };

struct StateCase {
    State state;
    const char* name;
    int input_code; // what a non-empty input then returns
    int result_code;
};

constexpr StateCase All_States[] = {
    {State::Accumulating, "Accumulating", shaSuccess, shaSuccess},
    {State::Computed, "Computed", shaStateError, shaSuccess},
    {State::InputAfterResult, "InputAfterResult", shaStateError, shaStateError},
    {State::LengthOverflow, "LengthOverflow", shaInputTooLong, shaInputTooLong},
};

USHAContext ContextIn(State state, SHAversion which)
{
    USHAContext context = FilledContext();
    EXPECT_EQ(USHAReset(&context, which), shaSuccess);
    EXPECT_EQ(USHAInput(&context, abc.data(), 3), shaSuccess);
    DigestBuffer digest;
    switch (state) {
    case State::Accumulating:
        break;
    case State::Computed:
        EXPECT_EQ(USHAResult(&context, digest.data()), shaSuccess);
        break;
    case State::InputAfterResult:
        EXPECT_EQ(USHAResult(&context, digest.data()), shaSuccess);
        EXPECT_EQ(USHAInput(&context, abc.data(), 1), shaStateError);
        break;
    case State::LengthOverflow: {
        constexpr auto all_ones = std::numeric_limits<std::uint64_t>::max();
        SetLength(context, all_ones, all_ones);
        EXPECT_EQ(USHAInput(&context, abc.data(), 1), shaInputTooLong);
        break;
    }
    }
    return context;
}

class EveryVariant : public testing::TestWithParam<Variant> {};

TEST_P(EveryVariant, FipsExampleMessages)
{
    int checked = 0;
    for (const Example& example : Fips_Examples) {
        if (example.which != GetParam().which)
            continue;
        ++checked;
        const Bytes message = AsBytes(example.message);
        USHAContext context = FilledContext();
        ASSERT_EQ(USHAReset(&context, example.which), shaSuccess);
        ASSERT_EQ(USHAInput(&context, message.data(), static_cast<std::uint32_t>(message.size())),
                  shaSuccess);
        ASSERT_EQ(USHAFinalBits(&context, 0xFF, 0), shaSuccess);
        DigestBuffer digest = GuardedBuffer();
        ASSERT_EQ(USHAResult(&context, digest.data()), shaSuccess);
        EXPECT_EQ(Hex(Digest(digest, example.which)), example.digest)
            << '"' << example.message << '"';
    }
    EXPECT_EQ(checked, 3);
}

// Only the variant's digest size is written, however large the buffer.
TEST_P(EveryVariant, ResultWritesExactlyTheDigestSize)
{
    const Variant& variant = GetParam();
    USHAContext context = FilledContext();
    ASSERT_EQ(USHAReset(&context, variant.which), shaSuccess);
    ASSERT_EQ(USHAInput(&context, abc.data(), 3), shaSuccess);
    DigestBuffer digest = GuardedBuffer();
    ASSERT_EQ(USHAResult(&context, digest.data()), shaSuccess);
    EXPECT_EQ(Digest(digest, variant.which), AbcDigest(variant.which));
    for (std::size_t i = variant.digest_size; i < digest.size(); ++i) {
        EXPECT_EQ(digest[i], Guard) << "byte " << i << " was written";
    }
}

TEST_P(EveryVariant, WhateverTheContextHeldBeforeResetGivesTheSameDigest)
{
    const Variant& variant = GetParam();
    const Bytes long_message = PatternBytes(3 * variant.block_size + 5, 7);
    const Bytes long_digest = OurDigest(variant.which, long_message);
    ASSERT_FALSE(long_digest.empty());
    for (const std::uint8_t fill : {0x00, 0xE3, 0xFF}) {
        for (const Bytes* message : {&abc, &long_message}) {
            USHAContext context = FilledContext(fill);
            ASSERT_EQ(USHAReset(&context, variant.which), shaSuccess);
            ASSERT_EQ(
                USHAInput(&context, message->data(), static_cast<std::uint32_t>(message->size())),
                shaSuccess);
            DigestBuffer digest;
            ASSERT_EQ(USHAResult(&context, digest.data()), shaSuccess);
            EXPECT_EQ(Digest(digest, variant.which),
                      message == &abc ? AbcDigest(variant.which) : long_digest)
                << message->size() << " bytes, context filled with " << int{fill};
        }
    }
}

TEST_P(EveryVariant, RepeatedResultGivesTheSameDigestAndChangesNothing)
{
    const Variant& variant = GetParam();
    USHAContext context = ContextIn(State::Computed, variant.which);
    const USHAContext before = context;
    DigestBuffer first = GuardedBuffer();
    DigestBuffer second = GuardedBuffer();
    EXPECT_EQ(USHAResult(&context, first.data()), shaSuccess);
    EXPECT_EQ(USHAResult(&context, second.data()), shaSuccess);
    EXPECT_TRUE(Untouched(context, before));
    EXPECT_EQ(first, second);
    EXPECT_EQ(Digest(first, variant.which), AbcDigest(variant.which));
}

TEST_P(EveryVariant, FinishingClearsTheMessageData)
{
    const Variant& variant = GetParam();
    const EngineView view = View(ContextIn(State::Computed, variant.which));
    EXPECT_EQ(view.Computed, 1);
    EXPECT_EQ(view.Corrupted, shaSuccess);
    EXPECT_EQ(view.Length_High, 0U);
    EXPECT_EQ(view.Length_Low, 0U);
    EXPECT_EQ(view.Message_Block_Index, 0);
    EXPECT_EQ(view.Message_Block, Bytes(variant.block_size, 0));
}

// A missing context is answered before anything else, in every operation.
TEST_P(EveryVariant, MissingContext)
{
    DigestBuffer digest = GuardedBuffer();
    EXPECT_EQ(USHAReset(nullptr, GetParam().which), shaNull);
    EXPECT_EQ(USHAInput(nullptr, abc.data(), 3), shaNull);
    EXPECT_EQ(USHAInput(nullptr, nullptr, 0), shaNull);
    EXPECT_EQ(USHAFinalBits(nullptr, 0, 0), shaNull);
    EXPECT_EQ(USHAFinalBits(nullptr, 0x80, 1), shaNull);
    EXPECT_EQ(USHAResult(nullptr, digest.data()), shaNull);
    EXPECT_EQ(digest, GuardedBuffer());
}

TEST_P(EveryVariant, InputAfterResultSpoilsUntilReset)
{
    const Variant& variant = GetParam();
    USHAContext context = ContextIn(State::Computed, variant.which);
    EXPECT_EQ(USHAInput(&context, abc.data(), 1), shaStateError);
    EXPECT_EQ(View(context).Corrupted, shaStateError);
    EXPECT_EQ(USHAInput(&context, abc.data(), 1), shaStateError);
    DigestBuffer digest = GuardedBuffer();
    EXPECT_EQ(USHAResult(&context, digest.data()), shaStateError);
    EXPECT_EQ(digest, GuardedBuffer()) << "a spoilt context wrote a digest";

    ASSERT_EQ(USHAReset(&context, variant.which), shaSuccess);
    ASSERT_EQ(USHAInput(&context, abc.data(), 3), shaSuccess);
    ASSERT_EQ(USHAResult(&context, digest.data()), shaSuccess);
    EXPECT_EQ(Digest(digest, variant.which), AbcDigest(variant.which));
}

INSTANTIATE_TEST_SUITE_P(Variants, EveryVariant, testing::ValuesIn(All_Variants), VariantName);

struct VariantAndState {
    Variant variant;
    StateCase state;
};

void PrintTo(const VariantAndState& param, std::ostream* out)
{
    *out << param.variant.name << " " << param.state.name;
}

class EveryState : public testing::TestWithParam<VariantAndState> {};

// In every state: missing pointers and empty calls are answered without changing anything,
// then the state's own codes are returned.
TEST_P(EveryState, CodesAndUntouchedContext)
{
    const auto& [variant, state] = GetParam();
    USHAContext context = ContextIn(state.state, variant.which);
    const USHAContext before = context;

    EXPECT_EQ(USHAInput(&context, nullptr, 0), shaSuccess);
    EXPECT_EQ(USHAInput(&context, abc.data(), 0), shaSuccess);
    EXPECT_EQ(USHAInput(&context, nullptr, 1), shaNull);
    EXPECT_EQ(USHAFinalBits(&context, 0xFF, 0), shaSuccess);
    EXPECT_EQ(USHAResult(&context, nullptr), shaNull);
    EXPECT_TRUE(Untouched(context, before));

    DigestBuffer digest = GuardedBuffer();
    EXPECT_EQ(USHAResult(&context, digest.data()), state.result_code);
    if (state.result_code != shaSuccess) {
        EXPECT_EQ(digest, GuardedBuffer()) << "a spoilt context wrote a digest";
    } else {
        EXPECT_EQ(Digest(digest, variant.which), AbcDigest(variant.which));
    }

    context = before;
    EXPECT_EQ(USHAInput(&context, abc.data(), 1), state.input_code);
    if (state.input_code != shaSuccess) {
        EXPECT_EQ(View(context).Corrupted, state.input_code);
    }

    ASSERT_EQ(USHAReset(&context, variant.which), shaSuccess);
    ASSERT_EQ(USHAInput(&context, abc.data(), 3), shaSuccess);
    ASSERT_EQ(USHAResult(&context, digest.data()), shaSuccess);
    EXPECT_EQ(Digest(digest, variant.which), AbcDigest(variant.which));
}

std::vector<VariantAndState> AllVariantsAndStates()
{
    std::vector<VariantAndState> cases;
    for (const Variant& variant : All_Variants) {
        for (const StateCase& state : All_States)
            cases.push_back({variant, state});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Variants, EveryState, testing::ValuesIn(AllVariantsAndStates()),
                         [](const testing::TestParamInfo<VariantAndState>& info) {
                             return std::string(info.param.variant.name) + "_" +
                                    info.param.state.name;
                         });

// HMAC keeps the same rules: its states, each with what a non-empty input and the result
// then return, the failed resets sticky until a good one.
enum class HmacState { Keyed, Computed, InputAfterResult, BadSelector, NullKey };

struct HmacStateCase {
    HmacState state;
    const char* name;
    int input_code;
    int result_code;
};

constexpr HmacStateCase Hmac_States[] = {
    {HmacState::Keyed, "Keyed", shaSuccess, shaSuccess},
    {HmacState::Computed, "Computed", shaStateError, shaSuccess},
    {HmacState::InputAfterResult, "InputAfterResult", shaStateError, shaStateError},
    {HmacState::BadSelector, "BadSelector", shaBadParam, shaBadParam},
    {HmacState::NullKey, "NullKey", shaNull, shaNull},
};

const Bytes hmac_key = AsBytes("key");

HMACContext HmacContextIn(HmacState state, SHAversion which)
{
    HMACContext context;
    std::memset(&context, Fill, sizeof context);
    switch (state) {
    case HmacState::BadSelector:
        EXPECT_EQ(HMACReset(&context, static_cast<SHAversion>(5), hmac_key.data(), 3), shaBadParam);
        return context;
    case HmacState::NullKey:
        EXPECT_EQ(HMACReset(&context, which, nullptr, 3), shaNull);
        return context;
    default:
        break;
    }
    EXPECT_EQ(HMACReset(&context, which, hmac_key.data(), 3), shaSuccess);
    EXPECT_EQ(HMACInput(&context, abc.data(), 3), shaSuccess);
    if (state != HmacState::Keyed) {
        DigestBuffer digest;
        EXPECT_EQ(HMACResult(&context, digest.data()), shaSuccess);
    }
    if (state == HmacState::InputAfterResult) {
        EXPECT_EQ(HMACInput(&context, abc.data(), 1), shaStateError);
    }
    return context;
}

// The context's fields, compared one by one: the structure has padding.
testing::AssertionResult Untouched(const HMACContext& after, const HMACContext& before)
{
    if (after.whichSha != before.whichSha || after.Corrupted != before.Corrupted ||
        after.Computed != before.Computed ||
        std::memcmp(after.k_opad, before.k_opad, sizeof after.k_opad) != 0) {
        return testing::AssertionFailure() << "an HMAC field changed";
    }
    return Untouched(after.shaContext, before.shaContext);
}

TEST(HmacStates, CodesThenAGoodResetAgain)
{
    for (const Variant& variant : All_Variants) {
        for (const HmacStateCase& state : Hmac_States) {
            SCOPED_TRACE(std::string(variant.name) + " " + state.name);
            const bool reset_failed =
                state.state == HmacState::BadSelector || state.state == HmacState::NullKey;
            HMACContext context = HmacContextIn(state.state, variant.which);
            const HMACContext before = context;

            EXPECT_EQ(HMACReset(nullptr, variant.which, hmac_key.data(), 3), shaNull);
            EXPECT_EQ(HMACInput(nullptr, abc.data(), 3), shaNull);
            EXPECT_EQ(HMACFinalBits(nullptr, 0x80, 1), shaNull);
            EXPECT_EQ(HMACInput(&context, nullptr, 0),
                      reset_failed ? state.input_code : shaSuccess);
            EXPECT_EQ(HMACFinalBits(&context, 0xFF, 0),
                      reset_failed ? state.input_code : shaSuccess);
            EXPECT_EQ(HMACResult(&context, nullptr), reset_failed ? state.result_code : shaNull);
            EXPECT_TRUE(Untouched(context, before));

            const Bytes expected = OurHmac(variant.which, hmac_key, abc);
            ASSERT_EQ(expected.size(), variant.digest_size);
            DigestBuffer digest = GuardedBuffer();
            EXPECT_EQ(HMACResult(&context, digest.data()), state.result_code);
            if (state.result_code == shaSuccess) {
                EXPECT_EQ(Digest(digest, variant.which), expected);
                EXPECT_EQ(HMACResult(&context, digest.data()), shaSuccess) << "a second result";
                EXPECT_EQ(Digest(digest, variant.which), expected);
            } else {
                EXPECT_EQ(digest, GuardedBuffer()) << "a spoilt context wrote a digest";
            }
            context = before;
            EXPECT_EQ(HMACInput(&context, abc.data(), 1), state.input_code);

            ASSERT_EQ(HMACReset(&context, variant.which, hmac_key.data(), 3), shaSuccess);
            ASSERT_EQ(HMACInput(&context, abc.data(), 3), shaSuccess);
            ASSERT_EQ(HMACResult(&context, digest.data()), shaSuccess);
            EXPECT_EQ(Digest(digest, variant.which), expected);
        }
    }
}

class BadSelector : public testing::TestWithParam<std::int32_t> {};

TEST_P(BadSelector, IsStoredAndAnsweredWithBadParamUntilAValidReset)
{
    const auto selector = static_cast<SHAversion>(GetParam());
    USHAContext context = FilledContext();
    ASSERT_EQ(USHAReset(&context, SHA256), shaSuccess);
    ASSERT_EQ(USHAInput(&context, abc.data(), 2), shaSuccess);
    USHAContext expected = context;
    expected.whichSha = selector;

    EXPECT_EQ(USHAReset(&context, selector), shaBadParam);
    EXPECT_EQ(context.whichSha, GetParam());
    EXPECT_TRUE(Untouched(context, expected)) << "the engine state was touched";

    DigestBuffer digest = GuardedBuffer();
    EXPECT_EQ(USHAInput(&context, abc.data(), 3), shaBadParam);
    EXPECT_EQ(USHAInput(&context, nullptr, 0), shaBadParam);
    EXPECT_EQ(USHAInput(&context, nullptr, 3), shaBadParam);
    EXPECT_EQ(USHAFinalBits(&context, 0, 0), shaBadParam);
    EXPECT_EQ(USHAFinalBits(&context, 0x80, 1), shaBadParam);
    EXPECT_EQ(USHAResult(&context, digest.data()), shaBadParam);
    EXPECT_EQ(USHAResult(&context, nullptr), shaBadParam);
    EXPECT_TRUE(Untouched(context, expected));
    EXPECT_EQ(digest, GuardedBuffer());

    ASSERT_EQ(USHAReset(&context, SHA256), shaSuccess);
    ASSERT_EQ(USHAInput(&context, abc.data(), 3), shaSuccess);
    ASSERT_EQ(USHAResult(&context, digest.data()), shaSuccess);
    EXPECT_EQ(Hex(Digest(digest, SHA256)),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

// Just past each end of the table of variants, and at each end of the selector's range.
INSTANTIATE_TEST_SUITE_P(Selectors, BadSelector,
                         testing::Values(5, -1, std::numeric_limits<std::int32_t>::max(),
                                         std::numeric_limits<std::int32_t>::min()),
                         [](const testing::TestParamInfo<std::int32_t>& info) {
                             const std::string digits = std::to_string(info.param);
                             return info.param < 0 ? "Minus" + digits.substr(1) : digits;
                         });

} // namespace
