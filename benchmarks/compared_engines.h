// What a benchmark program compares: the digest variants, the engines that its build of our
// library picks on this processor, and OpenSSL held to the processor extensions that this
// build's engines may use (the OPENSSL_ia32cap value that CMake gives each program).
#pragma once

#include <computer_id/sha/sha.h>

#include <cstddef>

namespace compared_engines {

struct Variant {
    SHAversion which;
    const char* name;      // ours, and the name of OpenSSL's EVP digest
    const char* coreutils; // the tool that computes the same digest
    std::size_t digest_size;
};

inline constexpr Variant Variants[] = {
    {SHA1, "SHA1", "sha1sum", SHA1HashSize},
    {SHA224, "SHA224", "sha224sum", SHA224HashSize},
    {SHA256, "SHA256", "sha256sum", SHA256HashSize},
    {SHA384, "SHA384", "sha384sum", SHA384HashSize},
    {SHA512, "SHA512", "sha512sum", SHA512HashSize},
};

// First thing in main, with main's own argv. libcrypto reads OPENSSL_ia32cap once, as it is
// loaded, before main runs: so when this program limits OpenSSL and the variable is not set,
// this starts the program again (on Linux, through /proc/self/exe) with it set, and returns
// only if that failed, false, having said why. A value already set, the caller's own, is left
// as it is, and PrintOpenSSLLimit says so.
bool LimitOpenSSL(char** argv);

// One line: the OPENSSL_ia32cap value in effect, what it leaves out, and who set it.
void PrintOpenSSLLimit();

// One line: the engine that each digest family runs in this build on this processor.
void PrintOurEngines();

} // namespace compared_engines
