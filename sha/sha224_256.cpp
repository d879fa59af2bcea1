// SHA-224 and SHA-256 (FIPS 180-4, sections 5.3.2, 5.3.3 and 6.2): one context, one input
// routine, one compression; the variants differ only in initial value and digest size.
#include "sha2.h"
#include "sha_core.h"
#include "sha_engines.h"
#include <computer_id/sha/sha.h>

#include <cstddef>
#include <cstdint>

namespace {

constexpr std::uint32_t SHA224_H0[8] = {
    0xC1059ED8, 0x367CD507, 0x3070DD17, 0xF70E5939, 0xFFC00B31, 0x68581511, 0x64F98FA7, 0xBEFA4FA4,
};

constexpr std::uint32_t SHA256_H0[8] = {
    0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A, 0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19,
};

void SHA256Blocks(std::uint32_t* H, const std::uint8_t* blocks, std::size_t count)
{
    sha_engines::ChosenEngines().sha224_256.blocks(H, blocks, count);
}

} // namespace

void sha_engines::SHA256BlocksPortable(std::uint32_t* H, const std::uint8_t* blocks,
                                       std::size_t count)
{
    sha2::PortableBlocks(H, blocks, count);
}

int SHA224Reset(SHA224Context* context)
{
    return sha_core::Reset(context, SHA224_H0);
}

int SHA224Input(SHA224Context* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    return SHA256Input(context, bytes, bytecount);
}

int SHA224FinalBits(SHA224Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return SHA256FinalBits(context, message_bits, bit_count);
}

int SHA224Result(SHA224Context* context, std::uint8_t Message_Digest[SHA224HashSize])
{
    return sha_core::ResultN<SHA256Blocks>(context, Message_Digest, SHA224HashSize);
}

int SHA256Reset(SHA256Context* context)
{
    return sha_core::Reset(context, SHA256_H0);
}

int SHA256Input(SHA256Context* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    return sha_core::Input<SHA256Blocks>(context, bytes, bytecount);
}

int SHA256FinalBits(SHA256Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return sha_core::FinalBits<SHA256Blocks>(context, message_bits, bit_count);
}

int SHA256Result(SHA256Context* context, std::uint8_t Message_Digest[SHA256HashSize])
{
    return sha_core::ResultN<SHA256Blocks>(context, Message_Digest, SHA256HashSize);
}
