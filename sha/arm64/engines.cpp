// The engine set of builds for 64-bit ARM, and which of its engines this processor can run:
// asked once of the kernel's hardware capabilities, then kept for the life of the program.
#include "arm64_engines.h"

#include "sha_engines.h"

#include <cstdint>
#include <sys/auxv.h>

namespace {

bool Reported(unsigned long capability)
{
    static const unsigned long capabilities = getauxval(AT_HWCAP);
    return (capabilities & capability) != 0;
}

constexpr sha_engines::Implementation<std::uint32_t> SHA1Engines[] = {
    {sha_engines::Engine::Armv8Sha1, sha_engines::SHA1BlocksArmv8},
    sha_engines::SHA1Portable,
};
constexpr sha_engines::Implementation<std::uint32_t> SHA224_256Engines[] = {
    {sha_engines::Engine::Armv8Sha256, sha_engines::SHA256BlocksArmv8},
    sha_engines::SHA224_256Portable,
};
constexpr sha_engines::Implementation<std::uint64_t> SHA384_512Engines[] = {
    {sha_engines::Engine::Armv82Sha512, sha_engines::SHA512BlocksArmv82},
    sha_engines::SHA384_512Portable,
};

} // namespace

const sha_engines::Engines& sha_engines::BuiltEngines()
{
    static constexpr Engines engines{SHA1Engines, SHA224_256Engines, SHA384_512Engines};
    return engines;
}

bool sha_engines::RunsHere(Engine engine)
{
    switch (engine) {
    case Engine::Portable:
        return true;
    case Engine::Armv8Sha1:
        return Reported(HWCAP_SHA1);
    case Engine::Armv8Sha256:
        return Reported(HWCAP_SHA2);
    case Engine::Armv82Sha512:
        return Reported(HWCAP_SHA512);
    case Engine::ShaExtensions:
    case Engine::Avx2Bmi2:
    case Engine::Avx512Bmi2:
    case Engine::Avx2Bmi2ShortChains:
    case Engine::Avx512Bmi2ShortChains:
        return false;
    }
    return false;
}
