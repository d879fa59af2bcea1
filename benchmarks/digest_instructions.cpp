// Hashes one message of a given number of MiB, once, with our library or with OpenSSL's EVP
// digest, so that valgrind can count the instructions it takes: a figure that, unlike a time,
// is the same on every machine that runs the same code (scripts/count-instructions.sh).
//
//     digest_instructions ours|openssl SHA1|SHA224|SHA256|SHA384|SHA512 MIB
//     digest_instructions --variants      (the variant names, one a line)
//
// Prints the engines of our library and the OPENSSL_ia32cap value in effect, as
// digest_benchmark does.
#include "compared_engines.h"

#include <computer_id/sha/sha.h>

#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// The counted functions keep a body and a symbol of their own, which is how valgrind's
// --toggle-collect finds them.
#if defined(_MSC_VER) && !defined(__clang__)
#define DIGEST_INSTRUCTIONS_NOINLINE __declspec(noinline)
#else
#define DIGEST_INSTRUCTIONS_NOINLINE [[gnu::noinline]]
#endif

namespace {

using compared_engines::Variant;
using compared_engines::Variants;

constexpr std::size_t MiB = std::size_t{1024} * 1024;
// USHAInput takes a 32-bit count of bytes.
constexpr unsigned long MostMiB = 4095;

bool DigestOurs(SHAversion which, const std::vector<std::uint8_t>& message, std::uint8_t* digest)
{
    USHAContext context;
    return USHAReset(&context, which) == shaSuccess &&
           USHAInput(&context, message.data(), static_cast<std::uint32_t>(message.size())) ==
               shaSuccess &&
           USHAResult(&context, digest) == shaSuccess;
}

bool DigestOpenSSL(EVP_MD_CTX* context, const EVP_MD* md, const std::vector<std::uint8_t>& message,
                   unsigned char* digest)
{
    unsigned int digest_size = 0;
    return EVP_DigestInit_ex(context, md, nullptr) == 1 &&
           EVP_DigestUpdate(context, message.data(), message.size()) == 1 &&
           EVP_DigestFinal_ex(context, digest, &digest_size) == 1;
}

// The instructions counted are those of these two and of all they call; the script names
// them by their common prefix, CountedDigest.
DIGEST_INSTRUCTIONS_NOINLINE bool
CountedDigestOurs(SHAversion which, const std::vector<std::uint8_t>& message, std::uint8_t* digest)
{
    return DigestOurs(which, message, digest);
}

DIGEST_INSTRUCTIONS_NOINLINE bool CountedDigestOpenSSL(EVP_MD_CTX* context, const EVP_MD* md,
                                                       const std::vector<std::uint8_t>& message,
                                                       unsigned char* digest)
{
    return DigestOpenSSL(context, md, message, digest);
}

// The work done once, for the first message, is left out of the count: a message of no bytes,
// not counted, goes first, for which our library picks its engines, OpenSSL sets up its
// context and the dynamic linker resolves the calls into libcrypto.
bool HashOurs(SHAversion which, const std::vector<std::uint8_t>& message)
{
    std::uint8_t digest[USHAMaxHashSize];
    return DigestOurs(which, {}, digest) && CountedDigestOurs(which, message, digest);
}

bool HashOpenSSL(const char* name, const std::vector<std::uint8_t>& message)
{
    const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md(EVP_MD_fetch(nullptr, name, nullptr),
                                                             EVP_MD_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    return md != nullptr && context != nullptr &&
           DigestOpenSSL(context.get(), md.get(), {}, digest) &&
           CountedDigestOpenSSL(context.get(), md.get(), message, digest);
}

int Usage(const char* program)
{
    (void)std::fprintf(stderr,
                       "usage: %s ours|openssl VARIANT MIB (1 to %lu)\n       %s --variants\n",
                       program, MostMiB, program);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (!compared_engines::LimitOpenSSL(argv))
        return 1;
    if (argc == 2 && std::strcmp(argv[1], "--variants") == 0) {
        for (const Variant& variant : Variants) {
            std::printf("%s\n", variant.name);
        }
        return 0;
    }
    if (argc != 4)
        return Usage(argv[0]);
    const std::string implementation = argv[1];
    const Variant* variant = nullptr;
    for (const Variant& candidate : Variants) {
        if (std::strcmp(candidate.name, argv[2]) == 0)
            variant = &candidate;
    }
    char* end = nullptr;
    const unsigned long mebibytes = std::strtoul(argv[3], &end, 10);
    if ((implementation != "ours" && implementation != "openssl") || variant == nullptr ||
        *end != '\0' || mebibytes == 0 || mebibytes > MostMiB) {
        return Usage(argv[0]);
    }

    compared_engines::PrintOurEngines();
    compared_engines::PrintOpenSSLLimit();
    // The bytes do not matter: neither side's instructions depend on them.
    const std::vector<std::uint8_t> message(mebibytes * MiB, 0xA5);
    const bool hashed = implementation == "ours" ? HashOurs(variant->which, message)
                                                 : HashOpenSSL(variant->name, message);
    if (!hashed) {
        (void)std::fprintf(stderr, "%s: %s %s failed\n", argv[0], implementation.c_str(),
                           variant->name);
        return 1;
    }
    return 0;
}
