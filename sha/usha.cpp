#include <computer_id/sha/sha.h>

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace {

using EngineContexts = decltype(USHAContext::ctx);

// The four functions of one variant, over the member of the context's union that it uses.
struct Variant {
    int (*reset)(EngineContexts& contexts);
    int (*input)(EngineContexts& contexts, const std::uint8_t* bytes, std::uint32_t bytecount);
    int (*final_bits)(EngineContexts& contexts, std::uint8_t bits, std::uint32_t bit_count);
    int (*result)(EngineContexts& contexts, std::uint8_t* Message_Digest);
};

template <auto Member, auto Reset, auto Input, auto FinalBits, auto Result>
constexpr Variant VariantOf()
{
    return {
        [](EngineContexts& contexts) { return Reset(&(contexts.*Member)); },
        [](EngineContexts& contexts, const std::uint8_t* bytes, std::uint32_t bytecount) {
            return Input(&(contexts.*Member), bytes, bytecount);
        },
        [](EngineContexts& contexts, std::uint8_t bits, std::uint32_t bit_count) {
            return FinalBits(&(contexts.*Member), bits, bit_count);
        },
        [](EngineContexts& contexts, std::uint8_t* Message_Digest) {
            return Result(&(contexts.*Member), Message_Digest);
        },
    };
}

// Indexed by SHAversion.
constexpr Variant Variants[] = {
    VariantOf<&EngineContexts::sha1Context, SHA1Reset, SHA1Input, SHA1FinalBits, SHA1Result>(),
    VariantOf<&EngineContexts::sha224Context, SHA224Reset, SHA224Input, SHA224FinalBits,
              SHA224Result>(),
    VariantOf<&EngineContexts::sha256Context, SHA256Reset, SHA256Input, SHA256FinalBits,
              SHA256Result>(),
    VariantOf<&EngineContexts::sha384Context, SHA384Reset, SHA384Input, SHA384FinalBits,
              SHA384Result>(),
    VariantOf<&EngineContexts::sha512Context, SHA512Reset, SHA512Input, SHA512FinalBits,
              SHA512Result>(),
};
static_assert(std::size(Variants) == SHA512 + 1);

// Null for a selector outside SHA1..SHA512.
const Variant* VariantFor(std::int32_t whichSha)
{
    if (whichSha < 0 || static_cast<std::size_t>(whichSha) >= std::size(Variants)) {
        return nullptr;
    }
    return &Variants[whichSha];
}

} // namespace

int USHAReset(USHAContext* context, SHAversion whichSha)
{
    if (context == nullptr) {
        return shaNull;
    }
    // Kept even when invalid, so that every later call on this context answers shaBadParam.
    context->whichSha = whichSha;
    const Variant* const variant = VariantFor(context->whichSha);
    return variant == nullptr ? shaBadParam : variant->reset(context->ctx);
}

int USHAInput(USHAContext* context, const std::uint8_t* bytes, std::uint32_t bytecount)
{
    if (context == nullptr) {
        return shaNull;
    }
    const Variant* const variant = VariantFor(context->whichSha);
    return variant == nullptr ? shaBadParam : variant->input(context->ctx, bytes, bytecount);
}

int USHAFinalBits(USHAContext* context, std::uint8_t bits, std::uint32_t bit_count)
{
    if (context == nullptr) {
        return shaNull;
    }
    const Variant* const variant = VariantFor(context->whichSha);
    return variant == nullptr ? shaBadParam : variant->final_bits(context->ctx, bits, bit_count);
}

int USHAResult(USHAContext* context, std::uint8_t Message_Digest[USHAMaxHashSize])
{
    if (context == nullptr) {
        return shaNull;
    }
    const Variant* const variant = VariantFor(context->whichSha);
    return variant == nullptr ? shaBadParam : variant->result(context->ctx, Message_Digest);
}
