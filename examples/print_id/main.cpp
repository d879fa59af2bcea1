// Prints this machine's computer ID and nothing else. When there is none, prints why on
// standard error and exits with code 1.
//   print_id               the machine's ID
//   print_id --app HEXKEY  this application's ID of the machine, keyed with HEXKEY (32 or
//                          more hex digits: a random secret the application carries)
//   print_id --describe    what the ID rests on, without any of its values
//   print_id --fingerprint HEXKEY
//                          the machine's fingerprint for the application keyed with HEXKEY
//   print_id --match STORED CURRENT
//                          whether two fingerprints are of the same machine, and what changed
#include <computer_id/computer_id.h>
#include <computer_id/fingerprint.h>
#include <computer_id/id_description.h>
#include <computer_id/id_generation_error.h>

#include <cstdint>
#include <iostream>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The bytes of a text of hex digit pairs, or nothing when it is not one.
std::optional<std::vector<std::uint8_t>> FromHex(std::string_view text)
{
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

void PrintDescription(const Lib_ComputerID::IdDescription& description)
{
    for (const Lib_ComputerID::ObjectDescription& object : description.objects) {
        std::cout << object.className << '\n';
        for (const Lib_ComputerID::PropertyDescription& property : object.properties) {
            std::cout << "  " << property.name << ": "
                      << Lib_ComputerID::PropertyStateName(property.state)
                      << (property.placeholder ? " (placeholder)" : "") << '\n';
        }
    }
    std::cout << "hypervisor: "
              << (description.hypervisor
                      ? (description.hypervisorVendor.empty() ? "yes"
                                                              : description.hypervisorVendor)
                      : "none")
              << '\n';
    std::cout << "verdict: "
              << (description.serialNumberBacked
                      ? "serial number: the ID tells this machine from others of its model"
                      : "model only: every machine of this model gets the same ID")
              << '\n';
}

void PrintMatch(const Lib_ComputerID::FingerprintMatch& match)
{
    std::cout << "verdict: " << Lib_ComputerID::MatchVerdictName(match.verdict) << '\n';
    std::string changed;
    for (const Lib_ComputerID::FingerprintPart part : Lib_ComputerID::kFingerprintParts) {
        if ((match.changed & static_cast<unsigned>(part)) != 0)
            changed += (changed.empty() ? "" : ", ") +
                       std::string(Lib_ComputerID::FingerprintPartName(part));
    }
    std::cout << "changed: " << (changed.empty() ? "none" : changed) << '\n';
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    // A stream without a buffer discards the trace; a log file would keep it.
    std::ostream noTrace(nullptr);
    try {
        if (arguments.empty()) {
            std::cout << Lib_ComputerID::GenerateComputerID(noTrace) << '\n';
        } else if (arguments.size() == 2 &&
                   (arguments[0] == "--app" || arguments[0] == "--fingerprint")) {
            const std::optional<std::vector<std::uint8_t>> key = FromHex(arguments[1]);
            if (!key) {
                std::cerr << arguments[0] << " takes the key as hex digits\n";
                return 2;
            }
            std::cout << (arguments[0] == "--app"
                              ? Lib_ComputerID::GenerateAppSpecificID(noTrace, *key)
                              : Lib_ComputerID::GenerateFingerprint(noTrace, *key))
                      << '\n';
        } else if (arguments.size() == 3 && arguments[0] == "--match") {
            PrintMatch(Lib_ComputerID::MatchFingerprints(arguments[1], arguments[2]));
        } else if (arguments.size() == 1 && arguments[0] == "--describe") {
            PrintDescription(Lib_ComputerID::DescribeComputerID(noTrace));
        } else {
            std::cerr << "usage: print_id [--app HEXKEY | --describe | --fingerprint HEXKEY |"
                         " --match STORED CURRENT]\n";
            return 2;
        }
    } catch (const Lib_ComputerID::IDGenerationError& error) {
        // Most messages end in a newline already.
        const std::string message = error.what();
        std::cerr << message << (message.ends_with('\n') ? "" : "\n");
        return 1;
    } catch (const std::invalid_argument& error) {
        std::cerr << error.what() << '\n';
        return 2;
    }
    return 0;
}
