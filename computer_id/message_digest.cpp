#include <computer_id/message_digest.h>

#include "digest_pieces.h"
#include "failure_messages.h"
#include "trace_format.h"
#include <computer_id/id_generation_error.h>
#include <computer_id/sha/sha.h>

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <limits>

namespace Lib_ComputerID {
namespace {

[[noreturn]] void ThrowStageFailure(const char* stage, int code)
{
    TextStream<char> message;
    message << stage << code << ")" << std::endl;
    throw IDGenerationError(message.str().c_str());
}

// Feeds a text to a digest's input function in pieces of at most maxPiece bytes: the
// digests take a 32-bit count.
template <typename Input>
void InputInPieces(const std::string& text, std::uint32_t maxPiece, Input input)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t remaining = text.size();
    do {
        const auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(remaining, maxPiece));
        if (int code = input(bytes, piece); code != shaSuccess)
            ThrowStageFailure("Failed to create message digest (Input Error ", code);
        bytes += piece;
        remaining -= piece;
    } while (remaining != 0);
}

} // namespace

std::string CreateAppSpecificDigest(const std::string& platformInfo,
                                    std::span<const std::uint8_t> appKey)
{
    if (platformInfo.empty())
        throw IDGenerationError(failure_messages::kNoPlatformInformation);

    HMACContext context;
    std::memset(&context, 0xE3, sizeof context);
    // The caller has checked that the key's length fits the digest's count.
    if (int code =
            HMACReset(&context, SHA256, appKey.data(), static_cast<unsigned int>(appKey.size()));
        code != shaSuccess)
        ThrowStageFailure("Failed to create message digest (Reset Error ", code);
    InputInPieces(platformInfo, std::numeric_limits<std::uint32_t>::max(),
                  [&context](const std::uint8_t* bytes, std::uint32_t count) {
                      return HMACInput(&context, bytes, count);
                  });
    std::uint8_t digest[USHAMaxHashSize];
    if (int code = HMACResult(&context, digest); code != shaSuccess)
        ThrowStageFailure("Failed to create message digest (Result Error ", code);

    TextStream<char> text;
    text << std::hex << std::setfill('0');
    for (int i = 0; i < SHA256HashSize; ++i)
        text << std::setw(2) << static_cast<unsigned>(digest[i]);
    return text.str();
}

std::string CreateMessageDigest(const std::string& platformInfo)
{
    return CreateMessageDigest(platformInfo, std::numeric_limits<std::uint32_t>::max());
}

std::string CreateMessageDigest(const std::string& platformInfo, std::uint32_t maxPiece)
{
    if (platformInfo.empty())
        throw IDGenerationError(failure_messages::kNoPlatformInformation);

    USHAContext context;
    std::memset(&context, 0xE3, sizeof context);

    if (int code = USHAReset(&context, SHA256); code != shaSuccess)
        ThrowStageFailure("Failed to create message digest (Reset Error ", code);

    InputInPieces(platformInfo, maxPiece,
                  [&context](const std::uint8_t* bytes, std::uint32_t count) {
                      return USHAInput(&context, bytes, count);
                  });

    if (int code = USHAFinalBits(&context, 0, 0); code != shaSuccess)
        ThrowStageFailure("Failed to create message digest (Final Bits Error ", code);

    std::uint8_t digest[USHAMaxHashSize];
    if (int code = USHAResult(&context, digest); code != shaSuccess)
        ThrowStageFailure("Failed to create message digest (Result Error ", code);

    // Width and fill apply to the first byte only; later bytes lose their leading zero.
    // Stored IDs depend on this exact shape.
    TextStream<char> text;
    text << std::hex << std::setw(2) << std::setfill('0');
    for (int i = 0; i < SHA256HashSize; ++i)
        text << static_cast<unsigned>(digest[i]);
    return text.str();
}

} // namespace Lib_ComputerID
