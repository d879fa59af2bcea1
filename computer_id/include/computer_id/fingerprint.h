#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Lib_ComputerID {

// A fingerprint tells, for one application, whether a machine whose ID changed is still the
// same machine: it keeps a keyed digest of each part of the hardware apart, so that a later
// one shows which parts changed. The bits are the C interface's COMPUTER_ID_PART_ values.
enum class FingerprintPart : unsigned {
    Processor = 1,   // every processor's values
    Board = 2,       // the base board's values but its serial number
    BoardSerial = 4, // the base board's serial number, when it is a real one
    Bios = 8,        // the BIOS's manufacturer
    BiosSerial = 16, // the BIOS's serial number, when it is a real one
};

// The parts in bit order.
inline constexpr FingerprintPart kFingerprintParts[] = {
    FingerprintPart::Processor, FingerprintPart::Board, FingerprintPart::BoardSerial,
    FingerprintPart::Bios, FingerprintPart::BiosSerial};

// A part's name: "processor", "board", "board serial", "bios", "bios serial".
const char* FingerprintPartName(FingerprintPart part);

// This machine's fingerprint for one application, as ASCII text ("cid1." and then hex
// digits, dots and dashes; docs/computer-id.md gives its grammar): for each part whether it
// is present and its HMAC-SHA-256 keyed with appKey, cut to 128 bits, and 32 bits of an HMAC
// of a fixed text that tell fingerprints of other keys apart. Keys, trace, failures, threads
// and COM as GenerateAppSpecificID.
std::string GenerateFingerprint(std::ostream& trace, std::span<const std::uint8_t> appKey);

// The verdicts of MatchFingerprints, the first that holds; the values are the C interface's
// COMPUTER_ID_MATCH_ ones.
enum class MatchVerdict {
    Same = 0,        // the same parts present on both sides, each equal
    SameMachine = 1, // a serial number present on both sides is equal
    Different = 2,   // a serial number present on both sides differs
    Undecided = 3,   // no serial number present on both sides
};

// A verdict's name: "same", "same machine", "different", "undecided".
const char* MatchVerdictName(MatchVerdict verdict);

struct FingerprintMatch {
    MatchVerdict verdict;
    // The FingerprintPart bits of the parts that differ or are present on one side only.
    unsigned changed;
};

// Two fingerprints of different application keys: nothing can be told from comparing them.
struct FingerprintKeyMismatch : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// Compares a stored fingerprint with a current one; reads no hardware. Throws
// std::invalid_argument, naming which one, when either is not a fingerprint of a version this
// library reads, and after that FingerprintKeyMismatch when their keys differ.
FingerprintMatch MatchFingerprints(std::string_view stored, std::string_view current);

} // namespace Lib_ComputerID
