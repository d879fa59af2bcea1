#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

#include <computer_id/sha/sha.h>

namespace test_support {

// SHA-256 of a text straight through the digest interface, which has its own vector tests.
inline void Sha256(const std::string& text, std::uint8_t (&digest)[USHAMaxHashSize])
{
    USHAContext context;
    USHAReset(&context, SHA256);
    USHAInput(&context, reinterpret_cast<const std::uint8_t*>(text.data()),
              static_cast<std::uint32_t>(text.size()));
    USHAResult(&context, digest);
}

// The computer ID of a text, formatted by printf: first byte as %02x, later bytes as %x.
inline std::string ReferenceId(const std::string& text)
{
    std::uint8_t digest[USHAMaxHashSize];
    Sha256(text, digest);
    std::string id;
    char piece[3];
    for (int i = 0; i < SHA256HashSize; ++i) {
        (void)std::snprintf(piece, sizeof piece, i == 0 ? "%02x" : "%x", digest[i]);
        id += piece;
    }
    return id;
}

// A pointer as the trace writes it, formatted by printf.
inline std::string PointerHex(const void* pointer)
{
    char text[17];
    (void)std::snprintf(text, sizeof text, "%016" PRIXPTR,
                        reinterpret_cast<std::uintptr_t>(pointer));
    return text;
}

// A 32-bit status or count as the trace writes it: lowercase hex, no prefix.
inline std::string Hex(std::uint32_t value)
{
    char text[9];
    (void)std::snprintf(text, sizeof text, "%" PRIx32, value);
    return text;
}

} // namespace test_support
