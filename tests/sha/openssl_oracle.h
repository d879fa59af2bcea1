// OpenSSL's libcrypto as an independent oracle: whole-message EVP digests and HMACs, and the bare
// compression for states that no whole-message API reaches (a chain value after some blocks,
// or final blocks that the test padded itself).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// `selector` is a SHAversion value: OpenSSL's one-shot functions bear the enumerators' names,
// so the two headers cannot meet in one file.
std::vector<std::uint8_t> OpenSSLDigest(int selector, std::span<const std::uint8_t> message);
std::vector<std::uint8_t> OpenSSLHmac(int selector, std::span<const std::uint8_t> key,
                                      std::span<const std::uint8_t> message);

// The hash value after compressing whole blocks from the variant's initial value: every word,
// most significant byte first (SHA-224 and SHA-384 not truncated).
std::vector<std::uint8_t> OpenSSLChainValue(int selector, std::span<const std::uint8_t> blocks);
