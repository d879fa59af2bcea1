// Shared by the digest tests: the variants with their sizes, hex text, our digest of a message
// fed in pieces, a view of the engine fields, and field-by-field comparison of contexts.
#pragma once

#include <computer_id/sha/sha.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct Variant {
    SHAversion which;
    const char* name;
    std::size_t digest_size;
    std::size_t block_size;
};

inline constexpr Variant All_Variants[] = {
    {SHA1, "SHA1", SHA1HashSize, SHA1_Message_Block_Size},
    {SHA224, "SHA224", SHA224HashSize, SHA224_Message_Block_Size},
    {SHA256, "SHA256", SHA256HashSize, SHA256_Message_Block_Size},
    {SHA384, "SHA384", SHA384HashSize, SHA384_Message_Block_Size},
    {SHA512, "SHA512", SHA512HashSize, SHA512_Message_Block_Size},
};

const Variant& VariantOf(SHAversion which);
// Test names and messages show the variant's name.
void PrintTo(const Variant& variant, std::ostream* out);
// For parameterised test names.
std::string VariantName(const testing::TestParamInfo<Variant>& info);

std::string Hex(std::span<const std::uint8_t> bytes);
Bytes FromHex(std::string_view hex);
Bytes AsBytes(std::string_view text);
// A repeatable pseudo-random message.
Bytes PatternBytes(std::size_t size, std::uint32_t seed);

// Our digest of the message fed as consecutive pieces of the given sizes (the last piece runs
// to the end); an empty return means some call failed.
Bytes OurDigest(SHAversion which, std::span<const std::uint8_t> message,
                std::span<const std::size_t> piece_sizes = {});
// Our HMAC keyed with key (an empty one passed as a null pointer), the message fed alike.
Bytes OurHmac(SHAversion which, std::span<const std::uint8_t> key,
              std::span<const std::uint8_t> message, std::span<const std::size_t> piece_sizes = {});

// The selected engine's fields, read the same way for all three context types; the hash
// words as bytes, most significant first.
struct EngineView {
    Bytes Intermediate_Hash;
    std::uint64_t Length_High;
    std::uint64_t Length_Low;
    int Message_Block_Index;
    Bytes Message_Block;
    int Computed;
    int Corrupted;
};
EngineView View(const USHAContext& context);
// Stores into the selected engine's length halves (truncated to 32 bits for SHA-1, SHA-224 and
// SHA-256), to reach the ends of the length counter without hashing 2^61 bytes.
void SetLength(USHAContext& context, std::uint64_t high, std::uint64_t low);

// FIPS 180-4's padding written out by the test: the message, the `bit_count` (0 to 7) high
// bits of `last_bits` followed by a single 1 bit, zeros, then the length field as given (two
// halves of the block's length field, most significant byte first).
Bytes PaddedMessage(const Variant& variant, std::span<const std::uint8_t> message,
                    std::uint8_t last_bits, unsigned bit_count, std::uint64_t length_high,
                    std::uint64_t length_low);

// Failures collected over many vectors, as one message: the first few and how many more.
std::string Report(const std::vector<std::string>& failures);

// Every field of the selected engine's state, Message_Block whole, and the selector.
testing::AssertionResult SameState(const USHAContext& actual, const USHAContext& expected);
// The whole object, padding included: for calls that must change nothing.
testing::AssertionResult Untouched(const USHAContext& after, const USHAContext& before);
