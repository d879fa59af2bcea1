#include "test_support.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <sstream>
#include <stdexcept>

const Variant& VariantOf(SHAversion which)
{
    return *std::find_if(std::begin(All_Variants), std::end(All_Variants),
                         [which](const Variant& variant) { return variant.which == which; });
}

void PrintTo(const Variant& variant, std::ostream* out)
{
    *out << variant.name;
}

std::string VariantName(const testing::TestParamInfo<Variant>& info)
{
    return info.param.name;
}

std::string Hex(std::span<const std::uint8_t> bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

Bytes FromHex(std::string_view hex)
{
    const auto nibble = [](char c) -> std::uint8_t {
        if (c >= '0' && c <= '9')
            return static_cast<std::uint8_t>(c - '0');
        if (c >= 'a' && c <= 'f')
            return static_cast<std::uint8_t>(c - 'a' + 10);
        if (c >= 'A' && c <= 'F')
            return static_cast<std::uint8_t>(c - 'A' + 10);
        throw std::invalid_argument("not a hex digit: " + std::string(1, c));
    };
    if (hex.size() % 2 != 0)
        throw std::invalid_argument("odd hex length: " + std::string(hex));
    Bytes bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
    }
    return bytes;
}

Bytes AsBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes PatternBytes(std::size_t size, std::uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

namespace {

// The message fed to input as consecutive pieces of the given sizes (the last piece runs to
// the end), then finished by result; empty when some call failed.
template <typename Context, typename Input, typename Result>
Bytes FedInPieces(Context& context, SHAversion which, std::span<const std::uint8_t> message,
                  std::span<const std::size_t> piece_sizes, Input input, Result result)
{
    std::size_t at = 0;
    for (const std::size_t piece : piece_sizes) {
        const std::size_t size = std::min(piece, message.size() - at);
        if (input(&context, message.data() + at, static_cast<std::uint32_t>(size)) != shaSuccess)
            return {};
        at += size;
    }
    if (input(&context, message.data() + at, static_cast<std::uint32_t>(message.size() - at)) !=
        shaSuccess) {
        return {};
    }
    Bytes digest(USHAMaxHashSize);
    if (result(&context, digest.data()) != shaSuccess)
        return {};
    digest.resize(VariantOf(which).digest_size);
    return digest;
}

} // namespace

Bytes OurDigest(SHAversion which, std::span<const std::uint8_t> message,
                std::span<const std::size_t> piece_sizes)
{
    USHAContext context;
    std::memset(&context, 0xE3, sizeof context);
    if (USHAReset(&context, which) != shaSuccess)
        return {};
    return FedInPieces(context, which, message, piece_sizes, USHAInput, USHAResult);
}

Bytes OurHmac(SHAversion which, std::span<const std::uint8_t> key,
              std::span<const std::uint8_t> message, std::span<const std::size_t> piece_sizes)
{
    HMACContext context;
    std::memset(&context, 0xE3, sizeof context);
    if (HMACReset(&context, which, key.empty() ? nullptr : key.data(),
                  static_cast<unsigned int>(key.size())) != shaSuccess)
        return {};
    return FedInPieces(context, which, message, piece_sizes, HMACInput, HMACResult);
}

std::string Report(const std::vector<std::string>& failures)
{
    constexpr std::size_t shown = 20;
    std::ostringstream report;
    report << failures.size() << " failures";
    for (std::size_t i = 0; i < failures.size() && i < shown; ++i)
        report << "\n" << failures[i];
    if (failures.size() > shown)
        report << "\n... and " << failures.size() - shown << " more";
    return report.str();
}

Bytes PaddedMessage(const Variant& variant, std::span<const std::uint8_t> message,
                    std::uint8_t last_bits, unsigned bit_count, std::uint64_t length_high,
                    std::uint64_t length_low)
{
    const std::size_t half = variant.block_size / 16; // a length half: 4 or 8 bytes
    Bytes padded(message.begin(), message.end());
    const unsigned kept = (last_bits >> (8 - bit_count)) << (8 - bit_count);
    padded.push_back(static_cast<std::uint8_t>(kept | 1U << (7 - bit_count)));
    while (padded.size() % variant.block_size != variant.block_size - 2 * half)
        padded.push_back(0);
    for (const std::uint64_t value : {length_high, length_low}) {
        for (std::size_t i = half; i-- > 0;)
            padded.push_back(static_cast<std::uint8_t>(value >> 8 * i));
    }
    return padded;
}

namespace {

template <class Word, std::size_t N>
std::string HexWords(const Word (&words)[N])
{
    std::string text;
    for (const Word word : words) {
        std::uint8_t bytes[sizeof(Word)] = {};
        for (std::size_t i = 0; i < sizeof(Word); ++i) {
            bytes[i] = static_cast<std::uint8_t>(word >> 8 * (sizeof(Word) - 1 - i));
        }
        text += Hex(bytes) + ' ';
    }
    return text;
}

template <class Context>
testing::AssertionResult SameEngineState(const Context& actual, const Context& expected)
{
    const auto differs = [](const char* field, const std::string& got, const std::string& want) {
        return testing::AssertionFailure() << field << " is " << got << ", expected " << want;
    };
    if (!std::equal(std::begin(actual.Intermediate_Hash), std::end(actual.Intermediate_Hash),
                    std::begin(expected.Intermediate_Hash))) {
        return differs("Intermediate_Hash", HexWords(actual.Intermediate_Hash),
                       HexWords(expected.Intermediate_Hash));
    }
    if (actual.Length_High != expected.Length_High) {
        return differs("Length_High", std::to_string(actual.Length_High),
                       std::to_string(expected.Length_High));
    }
    if (actual.Length_Low != expected.Length_Low) {
        return differs("Length_Low", std::to_string(actual.Length_Low),
                       std::to_string(expected.Length_Low));
    }
    if (actual.Message_Block_Index != expected.Message_Block_Index) {
        return differs("Message_Block_Index", std::to_string(actual.Message_Block_Index),
                       std::to_string(expected.Message_Block_Index));
    }
    if (!std::equal(std::begin(actual.Message_Block), std::end(actual.Message_Block),
                    std::begin(expected.Message_Block))) {
        return differs("Message_Block", Hex(actual.Message_Block), Hex(expected.Message_Block));
    }
    if (actual.Computed != expected.Computed) {
        return differs("Computed", std::to_string(actual.Computed),
                       std::to_string(expected.Computed));
    }
    if (actual.Corrupted != expected.Corrupted) {
        return differs("Corrupted", std::to_string(actual.Corrupted),
                       std::to_string(expected.Corrupted));
    }
    return testing::AssertionSuccess();
}

template <class Context>
EngineView ViewOf(const Context& context)
{
    EngineView view{{},
                    context.Length_High,
                    context.Length_Low,
                    context.Message_Block_Index,
                    Bytes(std::begin(context.Message_Block), std::end(context.Message_Block)),
                    context.Computed,
                    context.Corrupted};
    for (const auto word : context.Intermediate_Hash) {
        for (std::size_t i = sizeof word; i-- > 0;) {
            view.Intermediate_Hash.push_back(static_cast<std::uint8_t>(word >> 8 * i));
        }
    }
    return view;
}

} // namespace

EngineView View(const USHAContext& context)
{
    switch (context.whichSha) {
    case SHA1:
        return ViewOf(context.ctx.sha1Context);
    case SHA224:
    case SHA256:
        return ViewOf(context.ctx.sha256Context);
    case SHA384:
    case SHA512:
        return ViewOf(context.ctx.sha512Context);
    default:
        throw std::invalid_argument("no engine selected");
    }
}

void SetLength(USHAContext& context, std::uint64_t high, std::uint64_t low)
{
    switch (context.whichSha) {
    case SHA1:
        context.ctx.sha1Context.Length_High = static_cast<std::uint32_t>(high);
        context.ctx.sha1Context.Length_Low = static_cast<std::uint32_t>(low);
        return;
    case SHA224:
    case SHA256:
        context.ctx.sha256Context.Length_High = static_cast<std::uint32_t>(high);
        context.ctx.sha256Context.Length_Low = static_cast<std::uint32_t>(low);
        return;
    case SHA384:
    case SHA512:
        context.ctx.sha512Context.Length_High = high;
        context.ctx.sha512Context.Length_Low = low;
        return;
    default:
        throw std::invalid_argument("no engine selected");
    }
}

testing::AssertionResult SameState(const USHAContext& actual, const USHAContext& expected)
{
    if (actual.whichSha != expected.whichSha) {
        return testing::AssertionFailure()
               << "whichSha is " << actual.whichSha << ", expected " << expected.whichSha;
    }
    switch (actual.whichSha) {
    case SHA1:
        return SameEngineState(actual.ctx.sha1Context, expected.ctx.sha1Context);
    case SHA224:
    case SHA256:
        return SameEngineState(actual.ctx.sha256Context, expected.ctx.sha256Context);
    case SHA384:
    case SHA512:
        return SameEngineState(actual.ctx.sha512Context, expected.ctx.sha512Context);
    default:
        return Untouched(actual, expected);
    }
}

testing::AssertionResult Untouched(const USHAContext& after, const USHAContext& before)
{
    const auto* const a = reinterpret_cast<const std::uint8_t*>(&after);
    const auto* const b = reinterpret_cast<const std::uint8_t*>(&before);
    const std::uint8_t* const diff = std::mismatch(a, a + sizeof after, b).first;
    if (diff == a + sizeof after)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the context changed at byte offset " << (diff - a);
}
