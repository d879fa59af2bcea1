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

} // namespace Lib_ComputerID::failure_messages
