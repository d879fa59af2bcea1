#pragma once

namespace Lib_ComputerID::failure_messages {

// A failing COM step's message is its text, the status in lowercase hex without leading
// zeros, and a newline.
inline constexpr const char* kComStart = "Failed to initialize COM library. Error code = 0x";
inline constexpr const char* kLocator = "Failed to create IWbemLocator object. Err code = 0x";
inline constexpr const char* kConnect = "Could not connect. Error code = 0x";
inline constexpr const char* kProxyBlanket = "Could not set proxy blanket. Error code = 0x";
inline constexpr const char* kQuery = "Query failed. Error code = 0x";

inline constexpr const char* kNoPlatformInformation =
    "Failed to create message digest (Insufficient platform information)";

// What an error says when no memory could be had for a copy of its message.
inline constexpr const char* kUnknown = "Unknown exception";

// For an application key shorter than kMinAppKeySize or longer than kMaxAppKeySize.
inline constexpr const char* kAppKeyTooShort =
    "The application key must be at least 16 bytes (128 bits) long";
inline constexpr const char* kAppKeyTooLong =
    "The application key must be at most 4294967295 (2^32 - 1) bytes long";

// For a text that MatchFingerprints cannot read: the side's name ("stored" or "current"),
// then one of these.
inline constexpr const char* kFingerprintMalformed =
    " fingerprint is not one: cid1, 8 hex digits and 5 parts of 32 hex digits or -, "
    "dot-separated";
inline constexpr const char* kFingerprintVersion =
    " fingerprint is of a version this library does not read (it reads cid1)";
inline constexpr const char* kFingerprintKeyMismatch =
    "The fingerprints were made with different application keys";

// The C interface's messages for what the C++ entry reports by exception type or never
// meets.
inline constexpr const char* kOutOfMemory = "Out of memory";
inline constexpr const char* kIdNull = "Invalid argument: id is NULL";
inline constexpr const char* kIdBufferTooSmall =
    "id_size is too small for the ID; COMPUTER_ID_MAX_SIZE (65) bytes always suffice";
inline constexpr const char* kJsonNull = "Invalid argument: json is NULL";
inline constexpr const char* kJsonBufferTooSmall =
    "json_size is too small for the description; json_needed says how large it must be";
inline constexpr const char* kFingerprintNull = "Invalid argument: fingerprint is NULL";
inline constexpr const char* kFingerprintBufferTooSmall =
    "fingerprint_size is too small for the fingerprint; COMPUTER_ID_MAX_FINGERPRINT_SIZE (256) "
    "bytes always suffice";
inline constexpr const char* kMatchNull =
    "Invalid argument: stored, current, verdict and changed must not be NULL";

} // namespace Lib_ComputerID::failure_messages
