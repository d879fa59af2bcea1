// SHA-384 and SHA-512 (FIPS 180-4, sections 5.3.4, 5.3.5 and 6.4): one context, one input
// routine, one compression; the variants differ only in initial value and digest size.
#include "sha2.h"
#include "sha_core.h"
#include "sha_engines.h"
#include <computer_id/sha/sha.h>

#include <cstddef>
#include <cstdint>

namespace {

constexpr std::uint64_t SHA384_H0[8] = {
    0xCBBB9D5DC1059ED8, 0x629A292A367CD507, 0x9159015A3070DD17, 0x152FECD8F70E5939,
    0x67332667FFC00B31, 0x8EB44A8768581511, 0xDB0C2E0D64F98FA7, 0x47B5481DBEFA4FA4,
};

constexpr std::uint64_t SHA512_H0[8] = {
    0x6A09E667F3BCC908, 0xBB67AE8584CAA73B, 0x3C6EF372FE94F82B, 0xA54FF53A5F1D36F1,
    0x510E527FADE682D1, 0x9B05688C2B3E6C1F, 0x1F83D9ABFB41BD6B, 0x5BE0CD19137E2179,
};

void SHA512Blocks(std::uint64_t* H, const std::uint8_t* blocks, std::size_t count)
{
    sha_engines::ChosenEngines().sha384_512.blocks(H, blocks, count);
}

} // namespace

void sha_engines::SHA512BlocksPortable(std::uint64_t* H, const std::uint8_t* blocks,
                                       std::size_t count)
{
    sha2::PortableBlocks(H, blocks, count);
}

int SHA384Reset(SHA384Context* context)
{
    return sha_core::Reset(context, SHA384_H0);
}

int SHA384Input(SHA384Context* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    return SHA512Input(context, bytes, bytecount);
}

int SHA384FinalBits(SHA384Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return SHA512FinalBits(context, message_bits, bit_count);
}

int SHA384Result(SHA384Context* context, std::uint8_t Message_Digest[SHA384HashSize])
{
    return sha_core::ResultN<SHA512Blocks>(context, Message_Digest, SHA384HashSize);
}

int SHA512Reset(SHA512Context* context)
{
    return sha_core::Reset(context, SHA512_H0);
}

int SHA512Input(SHA512Context* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    return sha_core::Input<SHA512Blocks>(context, bytes, bytecount);
}

int SHA512FinalBits(SHA512Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    return sha_core::FinalBits<SHA512Blocks>(context, message_bits, bit_count);
}

int SHA512Result(SHA512Context* context, std::uint8_t Message_Digest[SHA512HashSize])
{
    return sha_core::ResultN<SHA512Blocks>(context, Message_Digest, SHA512HashSize);
}
