#include <computer_id/sha/sha.h>

#include <cstdint>

int USHAReset(USHAContext* context, SHAversion whichSha)
{
    if (context == nullptr) {
        return shaNull;
    }
    // Kept even when invalid, so that every later call on this context answers shaBadParam.
    context->whichSha = whichSha;
    switch (context->whichSha) {
    case SHA1:
        return SHA1Reset(&context->ctx.sha1Context);
    case SHA224:
        return SHA224Reset(&context->ctx.sha224Context);
    case SHA256:
        return SHA256Reset(&context->ctx.sha256Context);
    case SHA384:
        return SHA384Reset(&context->ctx.sha384Context);
    case SHA512:
        return SHA512Reset(&context->ctx.sha512Context);
    default:
        return shaBadParam;
    }
}

int USHAInput(USHAContext* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    if (context == nullptr) {
        return shaNull;
    }
    switch (context->whichSha) {
    case SHA1:
        return SHA1Input(&context->ctx.sha1Context, bytes, bytecount);
    case SHA224:
        return SHA224Input(&context->ctx.sha224Context, bytes, bytecount);
    case SHA256:
        return SHA256Input(&context->ctx.sha256Context, bytes, bytecount);
    case SHA384:
        return SHA384Input(&context->ctx.sha384Context, bytes, bytecount);
    case SHA512:
        return SHA512Input(&context->ctx.sha512Context, bytes, bytecount);
    default:
        return shaBadParam;
    }
}

int USHAFinalBits(USHAContext* context, std::uint8_t bits, std::uint32_t bit_count)
{
    if (context == nullptr) {
        return shaNull;
    }
    switch (context->whichSha) {
    case SHA1:
        return SHA1FinalBits(&context->ctx.sha1Context, bits, bit_count);
    case SHA224:
        return SHA224FinalBits(&context->ctx.sha224Context, bits, bit_count);
    case SHA256:
        return SHA256FinalBits(&context->ctx.sha256Context, bits, bit_count);
    case SHA384:
        return SHA384FinalBits(&context->ctx.sha384Context, bits, bit_count);
    case SHA512:
        return SHA512FinalBits(&context->ctx.sha512Context, bits, bit_count);
    default:
        return shaBadParam;
    }
}

int USHAResult(USHAContext* context, std::uint8_t Message_Digest[USHAMaxHashSize])
{
    if (context == nullptr) {
        return shaNull;
    }
    switch (context->whichSha) {
    case SHA1:
        return SHA1Result(&context->ctx.sha1Context, Message_Digest);
    case SHA224:
        return SHA224Result(&context->ctx.sha224Context, Message_Digest);
    case SHA256:
        return SHA256Result(&context->ctx.sha256Context, Message_Digest);
    case SHA384:
        return SHA384Result(&context->ctx.sha384Context, Message_Digest);
    case SHA512:
        return SHA512Result(&context->ctx.sha512Context, Message_Digest);
    default:
        return shaBadParam;
    }
}
