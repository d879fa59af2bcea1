// Internal to the digest library: the reset, buffering, length counting, padding and digest
// output that the three engine families share. A family supplies its context type, its initial
// hash value and its block function, which compresses a run of consecutive whole blocks into
// the hash value.
#pragma once

#include <computer_id/sha/sha.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <type_traits>
#include <utility>

namespace sha_core {

template <class Context>
using Word = std::remove_extent_t<decltype(Context::Intermediate_Hash)>;

template <class Context>
inline constexpr std::size_t Block_Size = sizeof(Context::Message_Block);

// Written as one expression of shifted bytes, which GCC and Clang turn into a single load and
// byte swap; a loop over the bytes stays a loop.
template <class UInt, std::size_t... I>
UInt LoadBigEndian(const std::uint8_t* bytes, std::index_sequence<I...>)
{
    return static_cast<UInt>(((UInt{bytes[I]} << (8 * (sizeof(UInt) - 1 - I))) | ...));
}

template <class UInt>
UInt LoadBigEndian(const std::uint8_t* bytes)
{
    return LoadBigEndian<UInt>(bytes, std::make_index_sequence<sizeof(UInt)>{});
}

// Byte by byte with constant shifts, which GCC and Clang merge into one byte swap and store.
template <class UInt, std::size_t... I>
void StoreBigEndian(std::uint8_t* bytes, UInt value, std::index_sequence<I...>)
{
    ((bytes[I] = static_cast<std::uint8_t>(value >> (8 * (sizeof(UInt) - 1 - I)))), ...);
}

template <class UInt>
void StoreBigEndian(std::uint8_t* bytes, UInt value)
{
    StoreBigEndian(bytes, value, std::make_index_sequence<sizeof(UInt)>{});
}

// FIPS 180-4's Ch of SHA-1 and SHA-2 alike: the same bits as the textbook form, with one
// operation fewer.
template <class UInt>
UInt Ch(UInt x, UInt y, UInt z)
{
    return z ^ (x & (y ^ z));
}

template <class Context, std::size_t Words>
int Reset(Context* context, const Word<Context> (&H0)[Words])
{
    static_assert(Words == std::extent_v<decltype(Context::Intermediate_Hash)>);
    if (context == nullptr) {
        return shaNull;
    }
    std::copy(std::begin(H0), std::end(H0), context->Intermediate_Hash);
    context->Length_High = 0;
    context->Length_Low = 0;
    context->Message_Block_Index = 0;
    context->Computed = 0;
    context->Corrupted = shaSuccess;
    return shaSuccess;
}

// Message bits that can still be counted before the two-word length wraps; saturates, since
// no single call can add more than 2^35 bits.
template <class Context>
std::uint64_t LengthRoom(const Context& context)
{
    if constexpr (sizeof(context.Length_Low) == 4) {
        return ~((std::uint64_t{context.Length_High} << 32) | context.Length_Low);
    } else {
        const bool high_full = context.Length_High == std::numeric_limits<std::uint64_t>::max();
        return high_full ? ~context.Length_Low : std::numeric_limits<std::uint64_t>::max();
    }
}

// Modulo the counter's full width, so that a wrap leaves what counting 8 bits per byte leaves.
template <class Context>
void AddLength(Context& context, std::uint64_t bits)
{
    if constexpr (sizeof(context.Length_Low) == 4) {
        const std::uint64_t length =
            ((std::uint64_t{context.Length_High} << 32) | context.Length_Low) + bits;
        context.Length_High = static_cast<std::uint32_t>(length >> 32);
        context.Length_Low = static_cast<std::uint32_t>(length);
    } else {
        context.Length_Low += bits;
        if (context.Length_Low < bits) {
            ++context.Length_High;
        }
    }
}

// Leaves the context exactly as storing and counting one byte at a time would, down to the
// stale bytes of Message_Block, so that any split of a message gives the same state. Whole
// blocks are compressed straight from the caller's bytes, all in one run, and only the last
// of them is copied into Message_Block, where single bytes would have left it.
template <auto Blocks, class Context>
int Input(Context* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    if (context == nullptr) {
        return shaNull;
    }
    if (bytecount == 0) {
        return shaSuccess;
    }
    if (bytes == nullptr) {
        return shaNull;
    }
    if (context->Computed != 0) {
        return context->Corrupted = shaStateError;
    }
    if (context->Corrupted != shaSuccess) {
        return context->Corrupted;
    }

    // The byte that wraps the length is still stored and counted, but its block is never
    // compressed and nothing after it is taken: the index may then stand at the block's end.
    const std::uint64_t fitting = LengthRoom(*context) / 8;
    const bool wraps = fitting < bytecount;
    const std::size_t bulk = wraps ? static_cast<std::size_t>(fitting) : bytecount;
    AddLength(*context, std::uint64_t{bulk} * 8);

    constexpr std::size_t block_size = Block_Size<Context>;
    std::uint8_t* const block = context->Message_Block;
    std::size_t index = static_cast<std::size_t>(context->Message_Block_Index);
    std::size_t left = bulk;
    if (index != 0) {
        const std::size_t chunk = std::min(block_size - index, left);
        std::memcpy(block + index, bytes, chunk);
        bytes += chunk;
        left -= chunk;
        index += chunk;
        if (index == block_size) {
            Blocks(context->Intermediate_Hash, block, 1);
            index = 0;
        }
    }
    if (left >= block_size) {
        const std::size_t whole = left / block_size * block_size;
        Blocks(context->Intermediate_Hash, bytes, whole / block_size);
        std::memcpy(block, bytes + whole - block_size, block_size);
        bytes += whole;
        left -= whole;
    }
    // Here the block is either empty (index 0) or holds every byte left.
    std::memcpy(block + index, bytes, left);
    index += left;
    if (wraps) {
        block[index++] = bytes[left];
        AddLength(*context, 8);
        context->Corrupted = shaInputTooLong;
    }
    context->Message_Block_Index = static_cast<std::int_least16_t>(index);
    return context->Corrupted;
}

template <auto Blocks, class Context>
void ProcessMessageBlock(Context* context)
{
    Blocks(context->Intermediate_Hash, context->Message_Block, 1);
    context->Message_Block_Index = 0;
}

template <auto Blocks, class Context>
void Finalize(Context* context, std::uint8_t Pad_Byte)
{
    constexpr std::size_t block_size = Block_Size<Context>;
    constexpr std::size_t half_size = sizeof(context->Length_Low);
    constexpr std::size_t length_at = block_size - 2 * half_size;
    std::uint8_t* const block = context->Message_Block;

    std::size_t index = static_cast<std::size_t>(context->Message_Block_Index);
    block[index++] = Pad_Byte;
    if (index > length_at) {
        std::memset(block + index, 0, block_size - index);
        ProcessMessageBlock<Blocks>(context);
        index = 0;
    }
    std::memset(block + index, 0, length_at - index);
    StoreBigEndian(block + length_at, context->Length_High);
    StoreBigEndian(block + length_at + half_size, context->Length_Low);
    ProcessMessageBlock<Blocks>(context);

    // A finished context keeps the digest and nothing of the message.
    std::memset(block, 0, block_size);
    context->Length_High = 0;
    context->Length_Low = 0;
    context->Computed = 1;
}

// Indexed by the number of bits in a final partial byte: the bits of the message that it keeps,
// and the 1 bit of padding that follows them.
inline constexpr std::uint8_t Final_Bits_Mask[8] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE};
inline constexpr std::uint8_t Final_Bits_Mark[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

template <auto Blocks, class Context>
int FinalBits(Context* context, std::uint8_t message_bits, std::uint32_t bit_count)
{
    if (context == nullptr) {
        return shaNull;
    }
    if (bit_count == 0) {
        return shaSuccess;
    }
    if (bit_count > 7) {
        return shaBadParam;
    }
    if (context->Corrupted != shaSuccess) {
        return context->Corrupted;
    }
    if (context->Computed != 0) {
        return context->Corrupted = shaStateError;
    }
    const bool wraps = LengthRoom(*context) < bit_count;
    AddLength(*context, bit_count);
    if (wraps) {
        return context->Corrupted = shaInputTooLong;
    }
    // The message's last bits and the single 1 bit of padding share one byte.
    Finalize<Blocks>(context,
                     static_cast<std::uint8_t>((message_bits & Final_Bits_Mask[bit_count]) |
                                               Final_Bits_Mark[bit_count]));
    return shaSuccess;
}

template <auto Blocks, class Context>
int ResultN(Context* context, std::uint8_t* Message_Digest, int HashSize)
{
    if (context == nullptr || Message_Digest == nullptr) {
        return shaNull;
    }
    if (context->Corrupted != shaSuccess) {
        return context->Corrupted;
    }
    if (context->Computed == 0) {
        Finalize<Blocks>(context, 0x80);
    }
    // Every digest size is a whole number of words.
    constexpr std::size_t word_size = sizeof(Word<Context>);
    const std::size_t words = static_cast<std::size_t>(HashSize) / word_size;
    for (std::size_t i = 0; i < words; ++i) {
        StoreBigEndian(Message_Digest + i * word_size, context->Intermediate_Hash[i]);
    }
    return shaSuccess;
}

} // namespace sha_core
