#include <computer_id/message_digest.h>

#include "trace_format.h"
#include <computer_id/id_generation_error.h>

#include <algorithm>
#include <cstring>
#include <iomanip>

namespace Lib_ComputerID {
namespace {

[[noreturn]] void ThrowStageFailure(const char* stage, int code)
{
    TextStream<char> message;
    message << stage << code << ")" << std::endl;
    throw IDGenerationError(message.str().c_str());
}

} // namespace

std::string CreateMessageDigest(const std::string& platformInfo)
{
    return CreateMessageDigest(platformInfo, kUSHAOperations, kMaxDigestInputPiece);
}

std::string CreateMessageDigest(const std::string& platformInfo, const DigestOperations& sha,
                                std::uint32_t maxPiece)
{
    if (platformInfo.empty())
        throw IDGenerationError(
            "Failed to create message digest (Insufficient platform information)");

    USHAContext context;
    std::memset(&context, 0xE3, sizeof context);

    if (int code = sha.reset(&context, SHA256); code != shaSuccess)
        ThrowStageFailure("Failed to create message digest (Reset Error ", code);

    // The digest takes a 32-bit count, so a text longer than that goes in pieces.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(platformInfo.data());
    std::size_t remaining = platformInfo.size();
    do {
        const auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(remaining, maxPiece));
        if (int code = sha.input(&context, bytes, piece); code != shaSuccess)
            ThrowStageFailure("Failed to create message digest (Input Error ", code);
        bytes += piece;
        remaining -= piece;
    } while (remaining != 0);

    if (int code = sha.finalBits(&context, 0, 0); code != shaSuccess)
        ThrowStageFailure("Failed to create message digest (Final Bits Error ", code);

    std::uint8_t digest[USHAMaxHashSize];
    if (int code = sha.result(&context, digest); code != shaSuccess)
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
