#include <computer_id/digest_pieces.h>
#include <computer_id/id_generation_error.h>
#include <computer_id/message_digest.h>

#include <support/reference_id.h>

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

using Lib_ComputerID::CreateMessageDigest;
using Lib_ComputerID::IDGenerationError;

constexpr std::uint32_t kLargestPiece = std::numeric_limits<std::uint32_t>::max();

// Records every digest call that the code under test makes while armed, and can make one
// stage return a chosen code. The test executable is linked with the digest interface
// wrapped (see CMakeLists.txt), so the library's calls come through here.
struct DigestRecorder {
    bool armed = false;
    std::vector<std::string> calls;
    std::vector<std::uint32_t> inputCounts;
    std::string failingStage;
    int failingCode = 0;
};
DigestRecorder recorder;

int Outcome(const char* stage, int realCode)
{
    if (!recorder.armed)
        return realCode;
    recorder.calls.push_back(stage);
    return recorder.failingStage == stage ? recorder.failingCode : realCode;
}

} // namespace

// The linker's names for the wrapped functions and the originals (Itanium C++ ABI).
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,readability-identifier-naming)
extern "C" {
int __real__Z9USHAResetP11USHAContext10SHAversion(USHAContext* context, SHAversion which);
int __real__Z9USHAInputP11USHAContextPKhj(USHAContext* context, const std::uint8_t* bytes,
                                          std::uint32_t count);
int __real__Z13USHAFinalBitsP11USHAContexthj(USHAContext* context, std::uint8_t bits,
                                             std::uint32_t count);
int __real__Z10USHAResultP11USHAContextPh(USHAContext* context, std::uint8_t* digest);

int __wrap__Z9USHAResetP11USHAContext10SHAversion(USHAContext* context, SHAversion which)
{
    return Outcome("reset", __real__Z9USHAResetP11USHAContext10SHAversion(context, which));
}
int __wrap__Z9USHAInputP11USHAContextPKhj(USHAContext* context, const std::uint8_t* bytes,
                                          std::uint32_t count)
{
    if (recorder.armed)
        recorder.inputCounts.push_back(count);
    return Outcome("input", __real__Z9USHAInputP11USHAContextPKhj(context, bytes, count));
}
int __wrap__Z13USHAFinalBitsP11USHAContexthj(USHAContext* context, std::uint8_t bits,
                                             std::uint32_t count)
{
    return Outcome("finalBits", __real__Z13USHAFinalBitsP11USHAContexthj(context, bits, count));
}
int __wrap__Z10USHAResultP11USHAContextPh(USHAContext* context, std::uint8_t* digest)
{
    return Outcome("result", __real__Z10USHAResultP11USHAContextPh(context, digest));
}
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,readability-identifier-naming)

namespace {

class MessageDigestTest : public ::testing::Test {
protected:
    void SetUp() override { recorder = DigestRecorder{}; }
};

// The ID through the recorder, fed in pieces of at most maxPiece bytes.
std::string RecordedId(const std::string& text, std::uint32_t maxPiece = kLargestPiece)
{
    recorder.armed = true;
    std::string id = CreateMessageDigest(text, maxPiece);
    recorder.armed = false;
    return id;
}

std::string MessageOf(const std::string& text, std::uint32_t maxPiece = kLargestPiece)
{
    recorder.armed = true;
    try {
        CreateMessageDigest(text, maxPiece);
    } catch (const IDGenerationError& error) {
        recorder.armed = false;
        return error.what();
    }
    recorder.armed = false;
    return "(no exception)";
}

TEST_F(MessageDigestTest, AbcGivesTheSixtyOneCharacterId)
{
    const std::string id = CreateMessageDigest("abc");
    EXPECT_EQ(id, "ba7816bf8f1cfea414140de5dae2223b0361a396177a9cb410ff61f2015ad");
    EXPECT_EQ(id.size(), 61U);
}

TEST_F(MessageDigestTest, EmptyTextIsRejectedWithoutTouchingTheDigest)
{
    EXPECT_EQ(MessageOf(""), "Failed to create message digest (Insufficient platform information)");
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(MessageDigestTest, DrivesTheFourStagesOnceEachInOrder)
{
    const std::string text = "GenuineIntel\nCPU0\n";
    recorder.armed = true;
    const std::string id = CreateMessageDigest(text);
    recorder.armed = false;
    EXPECT_EQ(id, test_support::ReferenceId(text));
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"reset", "input", "finalBits", "result"}));
    EXPECT_EQ(recorder.inputCounts, (std::vector<std::uint32_t>{18}));
}

struct StageFailure {
    const char* stage;
    int code;
    const char* message;
};

TEST_F(MessageDigestTest, EachFailingStageGivesItsMessageWithTheCodeInDecimal)
{
    const StageFailure cases[] = {
        {"reset", 1, "Failed to create message digest (Reset Error 1)\n"},
        {"reset", 4, "Failed to create message digest (Reset Error 4)\n"},
        {"input", 2, "Failed to create message digest (Input Error 2)\n"},
        {"input", 3, "Failed to create message digest (Input Error 3)\n"},
        {"finalBits", 4, "Failed to create message digest (Final Bits Error 4)\n"},
        {"result", 3, "Failed to create message digest (Result Error 3)\n"},
        {"result", -12, "Failed to create message digest (Result Error -12)\n"},
        {"input", 17, "Failed to create message digest (Input Error 17)\n"},
    };
    for (const StageFailure& failure : cases) {
        SCOPED_TRACE(std::string(failure.stage) + " " + std::to_string(failure.code));
        recorder = DigestRecorder{};
        recorder.failingStage = failure.stage;
        recorder.failingCode = failure.code;
        EXPECT_EQ(MessageOf("x"), failure.message);
        // Nothing runs after the failing stage.
        EXPECT_EQ(recorder.calls.back(), failure.stage);
    }
}

TEST_F(MessageDigestTest, LongTextGoesInPiecesCoveringEveryByte)
{
    std::string text(100, '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + i % 26);

    EXPECT_EQ(RecordedId(text, 7), test_support::ReferenceId(text));
    std::vector<std::uint32_t> expected(14, 7);
    expected.push_back(2);
    EXPECT_EQ(recorder.inputCounts, expected);

    recorder = DigestRecorder{};
    EXPECT_EQ(RecordedId(text, 100), test_support::ReferenceId(text));
    EXPECT_EQ(recorder.inputCounts, (std::vector<std::uint32_t>{100}));

    recorder = DigestRecorder{};
    EXPECT_EQ(RecordedId(text, 99), test_support::ReferenceId(text));
    EXPECT_EQ(recorder.inputCounts, (std::vector<std::uint32_t>{99, 1}));
}

TEST_F(MessageDigestTest, FailingPieceStopsTheInput)
{
    recorder.failingStage = "input";
    recorder.failingCode = 2;
    EXPECT_EQ(MessageOf(std::string(30, 'q'), 10),
              "Failed to create message digest (Input Error 2)\n");
    EXPECT_EQ(recorder.inputCounts, (std::vector<std::uint32_t>{10}));
}

// Searches texts until the SHA-256 digest has the wanted property, so the short-byte rule
// is exercised on real digests rather than on guessed ones.
template <typename Predicate>
std::string FindText(Predicate wanted)
{
    for (int i = 0; i < 100000; ++i) {
        std::string text = "probe " + std::to_string(i) + "\n";
        std::uint8_t digest[USHAMaxHashSize];
        test_support::Sha256(text, digest);
        if (wanted(digest))
            return text;
    }
    ADD_FAILURE() << "no text found";
    return "x";
}

TEST_F(MessageDigestTest, LaterBytesBelowSixteenLoseTheirLeadingZero)
{
    const std::string text =
        FindText([](const std::uint8_t* d) { return d[0] >= 16 && d[5] < 16 && d[9] == 0; });
    const std::string id = CreateMessageDigest(text);
    EXPECT_EQ(id, test_support::ReferenceId(text));
    EXPECT_LT(id.size(), 63U);
}

TEST_F(MessageDigestTest, FirstByteBelowSixteenKeepsItsLeadingZero)
{
    const std::string text = FindText([](const std::uint8_t* d) { return d[0] < 16; });
    const std::string id = CreateMessageDigest(text);
    EXPECT_EQ(id, test_support::ReferenceId(text));
    EXPECT_EQ(id[0], '0');
}

TEST_F(MessageDigestTest, AnyNonEmptyTextGivesThirtyThreeToSixtyFourLowercaseDigits)
{
    for (const std::string text : {"\n", "a", "abc\n\n", "\xE9\xAC\n"}) {
        const std::string id = CreateMessageDigest(text);
        EXPECT_EQ(id, test_support::ReferenceId(text));
        EXPECT_GE(id.size(), 33U);
        EXPECT_LE(id.size(), 64U);
        EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
        EXPECT_EQ(CreateMessageDigest(text), id);
    }
}

TEST(IDGenerationErrorTest, KeepsACopyOfTheMessage)
{
    std::string text = "Could not connect. Error code = 0x80041003\n";
    const IDGenerationError error(text.c_str());
    text.assign(text.size(), '#');
    EXPECT_STREQ(error.what(), "Could not connect. Error code = 0x80041003\n");
    // The copy is what is checked here.
    const IDGenerationError copy = error; // NOLINT(performance-unnecessary-copy-initialization)
    EXPECT_STREQ(copy.what(), error.what());
    EXPECT_STREQ(IDGenerationError(nullptr).what(), "Unknown exception");
}

} // namespace
