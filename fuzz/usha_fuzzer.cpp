// The digest interface against OpenSSL's digests. The input picks the variant, the
// message and its split over USHAInput calls, and which misuse the context suffers on
// the way; every digest must equal OpenSSL's and every result code must be the promised
// one.
//
// Input: variant byte, options byte, context fill byte, bad selector word, then pieces of
// the message, each a length (InputReader::Length) and that many bytes.

#include "input_reader.h"

#include <computer_id/sha/sha.h>

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

using fuzz::Check;

enum Option : std::uint8_t {
    kEmptyInputs = 1 << 0,   // a null pointer with a count of 0 before each piece
    kNullBytes = 1 << 1,     // a null pointer with a non-zero count after each piece
    kLongFinalBits = 1 << 2, // a final bit count above 7 before the result
    kNullDigest = 1 << 3,    // a result into a null buffer before the real one
    kInputAfterResult = 1 << 4,
    kBadSelector = 1 << 5,
    kNullContext = 1 << 6,
};

const EVP_MD* OracleOf(SHAversion variant)
{
    switch (variant) {
    case SHA1:
        return EVP_sha1();
    case SHA224:
        return EVP_sha224();
    case SHA256:
        return EVP_sha256();
    case SHA384:
        return EVP_sha384();
    case SHA512:
        return EVP_sha512();
    }
    fuzz::Fail("no oracle for the variant");
}

int DigestSize(SHAversion variant)
{
    switch (variant) {
    case SHA1:
        return SHA1HashSize;
    case SHA224:
        return SHA224HashSize;
    case SHA256:
        return SHA256HashSize;
    case SHA384:
        return SHA384HashSize;
    case SHA512:
        return SHA512HashSize;
    }
    fuzz::Fail("no digest size for the variant");
}

std::vector<std::uint8_t> OracleDigest(SHAversion variant, const std::vector<std::uint8_t>& message)
{
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned size = 0;
    Check(EVP_Digest(message.data(), message.size(), digest.data(), &size, OracleOf(variant),
                     nullptr) == 1,
          "OpenSSL digest");
    Check(static_cast<int>(size) == DigestSize(variant), "OpenSSL digest size");
    digest.resize(size);
    return digest;
}

// A buffer one guard byte wider than any digest; the guard and every byte past the
// variant's digest size must keep the pattern.
using DigestBuffer = std::array<std::uint8_t, USHAMaxHashSize + 1>;
constexpr std::uint8_t kPattern = 0xA5;

void CheckDigest(const DigestBuffer& buffer, const std::vector<std::uint8_t>& expected,
                 const char* what)
{
    Check(std::memcmp(buffer.data(), expected.data(), expected.size()) == 0, what);
    for (std::size_t i = expected.size(); i < buffer.size(); ++i)
        Check(buffer[i] == kPattern, "result wrote past the digest size");
}

bool Untouched(const DigestBuffer& buffer)
{
    return std::all_of(buffer.begin(), buffer.end(),
                       [](std::uint8_t byte) { return byte == kPattern; });
}

void CheckNullContext(SHAversion variant)
{
    std::uint8_t byte = 0;
    DigestBuffer buffer;
    buffer.fill(kPattern);
    Check(USHAReset(nullptr, variant) == shaNull, "reset of a null context");
    Check(USHAInput(nullptr, &byte, 1) == shaNull, "input into a null context");
    Check(USHAFinalBits(nullptr, 0, 0) == shaNull, "final bits of a null context");
    Check(USHAResult(nullptr, buffer.data()) == shaNull, "result of a null context");
    Check(Untouched(buffer), "result of a null context wrote the buffer");
}

// Input after the result spoils the context with shaStateError until the next reset.
void CheckInputAfterResult(USHAContext& context, std::uint8_t byte)
{
    Check(USHAInput(&context, &byte, 1) == shaStateError, "input after the result");
    DigestBuffer buffer;
    buffer.fill(kPattern);
    Check(USHAResult(&context, buffer.data()) == shaStateError, "result of a spoilt context");
    Check(Untouched(buffer), "result of a spoilt context wrote the buffer");
    Check(USHAInput(&context, nullptr, 0) == shaSuccess, "empty input into a spoilt context");
    Check(USHAInput(&context, &byte, 1) == shaStateError, "input into a spoilt context");
    Check(USHAFinalBits(&context, byte, 0) == shaSuccess, "no final bits on a spoilt context");
}

// A selector outside the five variants is stored and answered with shaBadParam by every
// operation; a reset with a valid one makes the context usable again.
void CheckBadSelector(USHAContext& context, std::int32_t selector, SHAversion variant)
{
    if (selector >= SHA1 && selector <= SHA512)
        selector += SHA512 + 1;
    std::uint8_t byte = 0;
    Check(USHAReset(&context, static_cast<SHAversion>(selector)) == shaBadParam,
          "reset with a bad selector");
    Check(context.whichSha == selector, "bad selector not stored");
    Check(USHAInput(&context, &byte, 1) == shaBadParam, "input with a bad selector");
    Check(USHAInput(&context, nullptr, 0) == shaBadParam, "empty input with a bad selector");
    Check(USHAFinalBits(&context, byte, 0) == shaBadParam, "final bits with a bad selector");
    DigestBuffer buffer;
    buffer.fill(kPattern);
    Check(USHAResult(&context, buffer.data()) == shaBadParam, "result with a bad selector");
    Check(Untouched(buffer), "result with a bad selector wrote the buffer");

    Check(USHAReset(&context, variant) == shaSuccess, "reset after a bad selector");
    Check(USHAResult(&context, buffer.data()) == shaSuccess, "result after a bad selector");
    CheckDigest(buffer, OracleDigest(variant, {}), "empty message after a bad selector");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::InputReader input(data, size);
    const auto variant = static_cast<SHAversion>(input.Byte() % (SHA512 + 1));
    const std::uint8_t options = input.Byte();
    const std::uint8_t fill = input.Byte();
    const auto badSelector = static_cast<std::int32_t>(input.Word());

    if ((options & kNullContext) != 0)
        CheckNullContext(variant);

    // Whatever the context held before the reset must not matter.
    USHAContext context;
    std::memset(&context, fill, sizeof context);
    Check(USHAReset(&context, variant) == shaSuccess, "reset");
    Check(context.whichSha == variant, "selector not stored");

    std::vector<std::uint8_t> message;
    while (!input.Empty()) {
        const std::string_view piece = input.Segment();
        if ((options & kEmptyInputs) != 0)
            Check(USHAInput(&context, nullptr, 0) == shaSuccess, "empty input");
        Check(USHAInput(&context, reinterpret_cast<const std::uint8_t*>(piece.data()),
                        static_cast<std::uint32_t>(piece.size())) == shaSuccess,
              "input");
        message.insert(message.end(), piece.begin(), piece.end());
        if ((options & kNullBytes) != 0)
            Check(USHAInput(&context, nullptr, 1 + fill) == shaNull, "input of null bytes");
    }

    Check(USHAFinalBits(&context, fill, 0) == shaSuccess, "final bits");
    if ((options & kLongFinalBits) != 0)
        Check(USHAFinalBits(&context, fill, 8U + fill) == shaBadParam, "final bit count above 7");
    if ((options & kNullDigest) != 0)
        Check(USHAResult(&context, nullptr) == shaNull, "result into a null buffer");

    const std::vector<std::uint8_t> expected = OracleDigest(variant, message);
    DigestBuffer digest;
    digest.fill(kPattern);
    Check(USHAResult(&context, digest.data()) == shaSuccess, "result");
    CheckDigest(digest, expected, "digest differs from OpenSSL's");

    digest.fill(kPattern);
    Check(USHAResult(&context, digest.data()) == shaSuccess, "repeated result");
    CheckDigest(digest, expected, "repeated result differs");
    Check(USHAInput(&context, nullptr, 0) == shaSuccess, "empty input after the result");
    Check(USHAFinalBits(&context, fill, 0) == shaSuccess, "final bits after the result");

    if ((options & kInputAfterResult) != 0)
        CheckInputAfterResult(context, fill);
    if ((options & kBadSelector) != 0)
        CheckBadSelector(context, badSelector, variant);
    return 0;
}
