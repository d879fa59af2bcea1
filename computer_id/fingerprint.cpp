#include <computer_id/fingerprint.h>

#include "digest_pieces.h"
#include "failure_messages.h"
#include "fingerprint_text.h"
#include "hardware_queries.h"
#include "trace_format.h"
#include <computer_id/id_generation_error.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace Lib_ComputerID {
namespace {

constexpr std::size_t kPartCount = std::size(kFingerprintParts);
constexpr std::string_view kVersion = "cid1";
constexpr std::size_t kKeyCheckDigits = 8; // 32 bits
constexpr std::size_t kPartDigits = 32;    // 128 bits
constexpr char kAbsent = '-';
constexpr char kSeparator = '.';

// The part of each query's class in table order, and of each serial number property; every
// other property goes to its class's part.
constexpr std::array<FingerprintPart, kHardwareQueries.size()> kClassParts{
    FingerprintPart::Processor, FingerprintPart::Board, FingerprintPart::Bios};
constexpr std::array<FingerprintPart, kSerialNumbers.size()> kSerialParts{
    FingerprintPart::BoardSerial, FingerprintPart::BiosSerial};

bool IsSerialPart(FingerprintPart part)
{
    return std::find(kSerialParts.begin(), kSerialParts.end(), part) != kSerialParts.end();
}

std::optional<FingerprintPart> PartOf(const std::string& className, const std::string& property)
{
    for (std::size_t i = 0; i < kSerialNumbers.size(); ++i) {
        if (className == NarrowCodeUnits(kSerialNumbers[i].first) &&
            property == NarrowCodeUnits(kSerialNumbers[i].second))
            return kSerialParts[i];
    }
    for (std::size_t i = 0; i < kHardwareQueries.size(); ++i) {
        if (className == NarrowCodeUnits(kHardwareQueries[i].className))
            return kClassParts[i];
    }
    return std::nullopt;
}

std::size_t IndexOf(FingerprintPart part)
{
    return static_cast<std::size_t>(
        std::find(std::begin(kFingerprintParts), std::end(kFingerprintParts), part) -
        std::begin(kFingerprintParts));
}

// A count in 8 bytes, least significant first.
void AppendCount(std::string& out, std::uint64_t count)
{
    for (int i = 0; i < 8; ++i, count >>= 8U)
        out += static_cast<char>(count & 0xffU);
}

// A field whose end is known without looking at its content: its length, then its bytes.
// Text moved from one property to the next, or from one object to the next, changes the
// encoding.
void AppendField(std::string& out, std::string_view field)
{
    AppendCount(out, field.size());
    out += field;
}

// 32 bits of the HMAC of a fixed text: equal for fingerprints of one key, and far too short
// to tell anything of the key.
std::string KeyCheck(std::span<const std::uint8_t> appKey)
{
    return CreateAppSpecificDigest("computer_id fingerprint key check", appKey)
        .substr(0, kKeyCheckDigits);
}

struct ParsedFingerprint {
    std::string_view keyCheck;
    std::array<std::string_view, kPartCount> parts; // empty: absent
};

bool IsHex(std::string_view text, std::size_t digits)
{
    return text.size() == digits && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// "cid" and decimal digits, as later versions will begin.
bool IsVersion(std::string_view field)
{
    return field.size() > 3 && field.starts_with("cid") &&
           std::all_of(field.begin() + 3, field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

ParsedFingerprint Parse(std::string_view text, const char* side)
{
    // The version, the key check and the parts: a dot too many or too few is malformed.
    std::array<std::string_view, 2 + kPartCount> fields;
    const bool dotsRight = static_cast<std::size_t>(std::count(text.begin(), text.end(),
                                                               kSeparator)) == fields.size() - 1;
    for (std::string_view& field : fields) {
        const std::size_t end = text.find(kSeparator);
        field = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    if (fields[0] != kVersion && IsVersion(fields[0]))
        throw std::invalid_argument(side + std::string(failure_messages::kFingerprintVersion));
    ParsedFingerprint parsed{};
    bool wellFormed = dotsRight && fields[0] == kVersion && IsHex(fields[1], kKeyCheckDigits);
    parsed.keyCheck = fields[1];
    for (std::size_t i = 0; wellFormed && i < kPartCount; ++i) {
        const std::string_view field = fields[2 + i];
        wellFormed = field == std::string_view(&kAbsent, 1) || IsHex(field, kPartDigits);
        parsed.parts[i] = field.size() == kPartDigits ? field : std::string_view();
    }
    if (!wellFormed)
        throw std::invalid_argument(side + std::string(failure_messages::kFingerprintMalformed));
    return parsed;
}

} // namespace

const char* FingerprintPartName(FingerprintPart part)
{
    constexpr std::array<const char*, kPartCount> kNames{"processor", "board", "board serial",
                                                         "bios", "bios serial"};
    return kNames.at(IndexOf(part));
}

const char* MatchVerdictName(MatchVerdict verdict)
{
    constexpr std::array kNames{"same", "same machine", "different", "undecided"};
    return kNames.at(static_cast<std::size_t>(verdict));
}

std::string FingerprintText(const InventoryRecord& record, std::span<const std::uint8_t> appKey)
{
    // Each part's encoding: for each object with values in it, their count, then each
    // property's name and value; a serial number only when it is a real one.
    std::array<std::string, kPartCount> encodings;
    bool anyValue = false;
    for (std::size_t object = 0; object < record.objects.size(); ++object) {
        const ObjectDescription& described = record.objects[object];
        std::array<std::string, kPartCount> fields;
        std::array<std::uint64_t, kPartCount> counts{};
        for (std::size_t i = 0; i < described.properties.size(); ++i) {
            const PropertyDescription& property = described.properties[i];
            const std::optional<FingerprintPart> part = PartOf(described.className, property.name);
            anyValue |= property.state == PropertyState::Value;
            if (!part || property.state != PropertyState::Value ||
                (IsSerialPart(*part) && !IsRealSerialNumber(described, property)))
                continue;
            const std::size_t index = IndexOf(*part);
            AppendField(fields[index], property.name);
            AppendField(fields[index], record.values[object][i]);
            ++counts[index];
        }
        for (std::size_t index = 0; index < kPartCount; ++index) {
            if (counts[index] != 0) {
                AppendCount(encodings[index], counts[index]);
                encodings[index] += fields[index];
            }
        }
    }
    if (!anyValue)
        throw IDGenerationError(failure_messages::kNoPlatformInformation);

    std::string text = std::string(kVersion) + kSeparator + KeyCheck(appKey);
    for (std::size_t index = 0; index < kPartCount; ++index) {
        text += kSeparator;
        if (encodings[index].empty()) {
            text += kAbsent;
            continue;
        }
        // A label per part, so that equal values in two parts give unrelated digests.
        std::string labelled = "computer_id fingerprint ";
        labelled += FingerprintPartName(kFingerprintParts[index]);
        labelled += '\0';
        text += CreateAppSpecificDigest(labelled + encodings[index], appKey).substr(0, kPartDigits);
    }
    return text;
}

FingerprintMatch MatchFingerprints(std::string_view stored, std::string_view current)
{
    const ParsedFingerprint before = Parse(stored, "The stored");
    const ParsedFingerprint after = Parse(current, "The current");
    if (before.keyCheck != after.keyCheck)
        throw FingerprintKeyMismatch(failure_messages::kFingerprintKeyMismatch);

    FingerprintMatch match{MatchVerdict::Undecided, 0};
    bool serialEqual = false;
    bool serialDiffers = false;
    for (std::size_t index = 0; index < kPartCount; ++index) {
        const FingerprintPart part = kFingerprintParts[index];
        const bool onBoth = !before.parts[index].empty() && !after.parts[index].empty();
        if (before.parts[index] != after.parts[index])
            match.changed |= static_cast<unsigned>(part);
        if (onBoth && IsSerialPart(part)) {
            serialEqual |= before.parts[index] == after.parts[index];
            serialDiffers |= before.parts[index] != after.parts[index];
        }
    }
    if (match.changed == 0)
        match.verdict = MatchVerdict::Same;
    else if (serialEqual)
        match.verdict = MatchVerdict::SameMachine;
    else if (serialDiffers)
        match.verdict = MatchVerdict::Different;
    return match;
}

} // namespace Lib_ComputerID
