#include <computer_id/sha/sha.h>

#include <cstddef>
#include <cstring>
#include <iterator>

namespace {

// Indexed by SHAversion.
constexpr unsigned int Block_Sizes[] = {SHA1_Message_Block_Size, SHA224_Message_Block_Size,
                                        SHA256_Message_Block_Size, SHA384_Message_Block_Size,
                                        SHA512_Message_Block_Size};
constexpr unsigned int Hash_Sizes[] = {SHA1HashSize, SHA224HashSize, SHA256HashSize, SHA384HashSize,
                                       SHA512HashSize};
static_assert(std::size(Block_Sizes) == SHA512 + 1 && std::size(Hash_Sizes) == SHA512 + 1);

constexpr std::uint8_t Inner_Pad = 0x36;
constexpr std::uint8_t Outer_Pad = 0x5c;

bool IsVariant(std::int32_t whichSha)
{
    return whichSha >= SHA1 && whichSha <= SHA512;
}

int FailReset(HMACContext* context, int code)
{
    context->Corrupted = code;
    return code;
}

} // namespace

int HMACReset(HMACContext* context, SHAversion whichSha, const std::uint8_t* key,
              unsigned int key_len)
{
    if (context == nullptr) {
        return shaNull;
    }
    context->whichSha = whichSha;
    context->Computed = 0;
    context->Corrupted = shaSuccess;
    if (!IsVariant(whichSha)) {
        return FailReset(context, shaBadParam);
    }
    if (key == nullptr && key_len != 0) {
        return FailReset(context, shaNull);
    }
    const unsigned int blockSize = Block_Sizes[whichSha];

    // The key block K0: the key, or its digest when it is longer than a block, padded with
    // zeros to the block size.
    std::uint8_t keyBlock[USHA_Max_Message_Block_Size] = {};
    if (key_len > blockSize) {
        USHAContext keyHash;
        int code = USHAReset(&keyHash, whichSha);
        if (code == shaSuccess) {
            code = USHAInput(&keyHash, key, key_len);
        }
        if (code == shaSuccess) {
            code = USHAResult(&keyHash, keyBlock);
        }
        if (code != shaSuccess) {
            return FailReset(context, code);
        }
    } else if (key_len > 0) {
        std::memcpy(keyBlock, key, key_len);
    }

    std::uint8_t innerBlock[USHA_Max_Message_Block_Size];
    for (unsigned int i = 0; i < blockSize; ++i) {
        innerBlock[i] = keyBlock[i] ^ Inner_Pad;
        context->k_opad[i] = keyBlock[i] ^ Outer_Pad;
    }
    int code = USHAReset(&context->shaContext, whichSha);
    if (code == shaSuccess) {
        code = USHAInput(&context->shaContext, innerBlock, blockSize);
    }
    return code == shaSuccess ? shaSuccess : FailReset(context, code);
}

int HMACInput(HMACContext* context, const std::uint8_t* text, unsigned int text_len)
{
    if (context == nullptr) {
        return shaNull;
    }
    if (context->Corrupted != shaSuccess) {
        return context->Corrupted;
    }
    // After the result shaContext holds the outer hash, computed: input there is refused
    // as after any result.
    return USHAInput(&context->shaContext, text, text_len);
}

int HMACFinalBits(HMACContext* context, std::uint8_t bits, unsigned int bit_count)
{
    if (context == nullptr) {
        return shaNull;
    }
    if (context->Corrupted != shaSuccess) {
        return context->Corrupted;
    }
    return USHAFinalBits(&context->shaContext, bits, bit_count);
}

int HMACResult(HMACContext* context, std::uint8_t digest[USHAMaxHashSize])
{
    if (context == nullptr) {
        return shaNull;
    }
    if (context->Corrupted != shaSuccess) {
        return context->Corrupted;
    }
    if (digest == nullptr) {
        return shaNull;
    }
    if (context->Computed != 0) {
        return USHAResult(&context->shaContext, digest);
    }
    std::uint8_t innerDigest[USHAMaxHashSize];
    int code = USHAResult(&context->shaContext, innerDigest);
    if (code != shaSuccess) {
        return code;
    }
    code = USHAReset(&context->shaContext, static_cast<SHAversion>(context->whichSha));
    if (code == shaSuccess) {
        code = USHAInput(&context->shaContext, context->k_opad, Block_Sizes[context->whichSha]);
    }
    if (code == shaSuccess) {
        code = USHAInput(&context->shaContext, innerDigest, Hash_Sizes[context->whichSha]);
    }
    if (code == shaSuccess) {
        code = USHAResult(&context->shaContext, digest);
    }
    if (code != shaSuccess) {
        return FailReset(context, code);
    }
    context->Computed = 1;
    return shaSuccess;
}
