// The block transforms are deprecated in OpenSSL 3 but are its only way to run the
// compression on blocks that the caller padded.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "openssl_oracle.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <stdexcept>
#include <string>

namespace {

// SHAversion's values.
enum Selector {
    selector_sha1 = 0,
    selector_sha224,
    selector_sha256,
    selector_sha384,
    selector_sha512
};

template <class Word>
void AppendBigEndian(std::vector<std::uint8_t>& bytes, Word word)
{
    for (std::size_t i = sizeof(Word); i-- > 0;) {
        bytes.push_back(static_cast<std::uint8_t>(word >> 8 * i));
    }
}

template <class Context, class Transform>
void RunBlocks(Context& context, Transform transform, std::span<const std::uint8_t> blocks,
               std::size_t block_size)
{
    if (blocks.size() % block_size != 0)
        throw std::invalid_argument("not whole blocks");
    for (std::size_t at = 0; at < blocks.size(); at += block_size) {
        transform(&context, blocks.data() + at);
    }
}

const EVP_MD* DigestOf(int selector)
{
    switch (selector) {
    case selector_sha1:
        return EVP_sha1();
    case selector_sha224:
        return EVP_sha224();
    case selector_sha256:
        return EVP_sha256();
    case selector_sha384:
        return EVP_sha384();
    case selector_sha512:
        return EVP_sha512();
    default:
        throw std::invalid_argument("unknown selector " + std::to_string(selector));
    }
}

} // namespace

std::vector<std::uint8_t> OpenSSLDigest(int selector, std::span<const std::uint8_t> message)
{
    const EVP_MD* md = DigestOf(selector);
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    if (EVP_Digest(message.data(), message.size(), digest.data(), &size, md, nullptr) != 1) {
        throw std::runtime_error("EVP_Digest failed");
    }
    digest.resize(size);
    return digest;
}

std::vector<std::uint8_t> OpenSSLHmac(int selector, std::span<const std::uint8_t> key,
                                      std::span<const std::uint8_t> message)
{
    std::vector<std::uint8_t> mac(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    // A null key would mean "the key set before" to OpenSSL's HMAC contexts.
    const std::uint8_t empty_key = 0;
    if (HMAC(DigestOf(selector), key.empty() ? &empty_key : key.data(),
             static_cast<int>(key.size()), message.data(), message.size(), mac.data(),
             &size) == nullptr) {
        throw std::runtime_error("HMAC failed");
    }
    mac.resize(size);
    return mac;
}

std::vector<std::uint8_t> OpenSSLChainValue(int selector, std::span<const std::uint8_t> blocks)
{
    std::vector<std::uint8_t> value;
    switch (selector) {
    case selector_sha1: {
        SHA_CTX context;
        SHA1_Init(&context);
        RunBlocks(context, SHA1_Transform, blocks, SHA_CBLOCK);
        for (const SHA_LONG word : {context.h0, context.h1, context.h2, context.h3, context.h4}) {
            AppendBigEndian(value, word);
        }
        return value;
    }
    case selector_sha224:
    case selector_sha256: {
        SHA256_CTX context;
        (selector == selector_sha224 ? SHA224_Init : SHA256_Init)(&context);
        RunBlocks(context, SHA256_Transform, blocks, SHA256_CBLOCK);
        for (const SHA_LONG word : context.h)
            AppendBigEndian(value, word);
        return value;
    }
    case selector_sha384:
    case selector_sha512: {
        SHA512_CTX context;
        (selector == selector_sha384 ? SHA384_Init : SHA512_Init)(&context);
        RunBlocks(context, SHA512_Transform, blocks, SHA512_CBLOCK);
        for (const SHA_LONG64 word : context.h)
            AppendBigEndian(value, word);
        return value;
    }
    default:
        throw std::invalid_argument("unknown selector " + std::to_string(selector));
    }
}
