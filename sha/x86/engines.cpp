// The engine set of builds for x86-64, and which of its engines this processor can run: asked
// once through CPUID (and XGETBV for the state the operating system saves), then kept for the
// life of the program.
#include "x86_engines.h"

#include "sha_engines.h"

#include <cstdint>
#include <immintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#else
#include <cpuid.h>
#endif

namespace {

struct Registers {
    unsigned eax, ebx, ecx, edx;
};

Registers Cpuid(unsigned leaf, unsigned subleaf)
{
    Registers r{};
#if defined(_MSC_VER) && !defined(__clang__)
    int values[4];
    __cpuidex(values, static_cast<int>(leaf), static_cast<int>(subleaf));
    r = {static_cast<unsigned>(values[0]), static_cast<unsigned>(values[1]),
         static_cast<unsigned>(values[2]), static_cast<unsigned>(values[3])};
#else
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
    return r;
}

// Only called once CPUID has reported OSXSAVE, without which XGETBV faults.
SHA_TARGET("xsave") unsigned long long EnabledStateComponents()
{
    return _xgetbv(0);
}

bool Bit(unsigned value, int bit)
{
    return ((value >> bit) & 1) != 0;
}

struct CpuFeatures {
    bool sha_extensions;    // SHA, with the SSSE3 and SSE4.1 shuffles around it
    bool avx2_bmi2;         // AVX2, BMI1 and BMI2, with the operating system saving the AVX state
    bool avx512vl;          // AVX-512F and VL, with the operating system saving the AVX-512 state
    bool short_chain_cores; // a core for which the short-chain engines are made
};

// AMD's cores from family 26 (Zen 5) on. SHA-512's rounds there run at the pace of their chain
// of dependencies: with six integer ALUs, the one-block engine whose rounds take four operations
// on each chain (and more instructions) ran faster than the paired engine whose rounds take the
// fewest instructions (figures in docs/benchmarks.md). Cores with four ALUs (AMD's family 25,
// Intel's before Golden Cove) run out of ALUs first, and the fewest instructions win there.
bool ShortChainCore(const Registers& vendor, unsigned signature)
{
    // "AuthenticAMD", in the order EBX, EDX, ECX.
    const bool amd =
        vendor.ebx == 0x68747541 && vendor.edx == 0x69746E65 && vendor.ecx == 0x444D4163;
    const unsigned base_family = (signature >> 8) & 0xF;
    const unsigned family =
        base_family == 0xF ? base_family + ((signature >> 20) & 0xFF) : base_family;
    return amd && family >= 0x1A;
}

CpuFeatures Detect()
{
    CpuFeatures features{};
    const Registers vendor = Cpuid(0, 0);
    if (vendor.eax < 7) {
        return features;
    }
    const Registers basic = Cpuid(1, 0);
    const Registers extended = Cpuid(7, 0);
    const bool ssse3 = Bit(basic.ecx, 9);
    const bool sse41 = Bit(basic.ecx, 19);
    const bool osxsave = Bit(basic.ecx, 27);
    const bool avx = Bit(basic.ecx, 28);
    const bool bmi1 = Bit(extended.ebx, 3);
    const bool avx2 = Bit(extended.ebx, 5);
    const bool bmi2 = Bit(extended.ebx, 8);
    const bool avx512f = Bit(extended.ebx, 16);
    const bool sha = Bit(extended.ebx, 29);
    const bool avx512vl = Bit(extended.ebx, 31);
    // The registers must be saved on a context switch: the SSE and AVX halves (state components
    // 1 and 2) for AVX, and with them the mask registers and the upper halves and upper 16 of
    // the AVX-512 registers (5 to 7) for AVX-512.
    const unsigned long long state = osxsave ? EnabledStateComponents() : 0;
    const bool avx_state = (state & 0x06) == 0x06;
    const bool avx512_state = (state & 0xE6) == 0xE6;

    features.sha_extensions = sha && ssse3 && sse41;
    features.avx2_bmi2 = avx && avx2 && bmi1 && bmi2 && avx_state;
    features.avx512vl = avx512f && avx512vl && avx512_state;
    features.short_chain_cores = ShortChainCore(vendor, basic.eax);
    return features;
}

// SHA_WITHOUT_AVX512 and SHA_WITHOUT_SHA_EXTENSIONS make the libraries that the tests and the
// benchmark run as on x86-64 processors without those extensions. The second also leaves out
// the short-chain engines: it stands for the processors with AVX2 and BMI2 only (Intel's from
// Haswell to Comet Lake), and every core the short-chain engines are made for has the SHA
// extensions.
constexpr sha_engines::Implementation<std::uint32_t> SHA1Engines[] = {
#ifndef SHA_WITHOUT_SHA_EXTENSIONS
    {sha_engines::Engine::ShaExtensions, sha_engines::SHA1BlocksShaExtensions},
#endif
    {sha_engines::Engine::Avx2Bmi2, sha_engines::SHA1BlocksAvx2Bmi2},
    sha_engines::SHA1Portable,
};
constexpr sha_engines::Implementation<std::uint32_t> SHA224_256Engines[] = {
#ifndef SHA_WITHOUT_SHA_EXTENSIONS
    {sha_engines::Engine::ShaExtensions, sha_engines::SHA256BlocksShaExtensions},
#endif
    {sha_engines::Engine::Avx2Bmi2, sha_engines::SHA256BlocksAvx2Bmi2},
    sha_engines::SHA224_256Portable,
};
constexpr sha_engines::Implementation<std::uint64_t> SHA384_512Engines[] = {
#if !defined(SHA_WITHOUT_AVX512) && !defined(SHA_WITHOUT_SHA_EXTENSIONS)
    {sha_engines::Engine::Avx512Bmi2ShortChains, sha_engines::SHA512BlocksAvx512Bmi2},
#endif
#ifndef SHA_WITHOUT_AVX512
    {sha_engines::Engine::Avx512Bmi2, sha_engines::SHA512BlocksAvx512Bmi2Pairs},
#endif
#ifndef SHA_WITHOUT_SHA_EXTENSIONS
    {sha_engines::Engine::Avx2Bmi2ShortChains, sha_engines::SHA512BlocksAvx2Bmi2},
#endif
    {sha_engines::Engine::Avx2Bmi2, sha_engines::SHA512BlocksAvx2Bmi2Pairs},
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
    static const CpuFeatures features = Detect();
    switch (engine) {
    case Engine::Portable:
        return true;
    case Engine::ShaExtensions:
        return features.sha_extensions;
    case Engine::Avx2Bmi2:
        return features.avx2_bmi2;
    case Engine::Avx512Bmi2:
        return features.avx2_bmi2 && features.avx512vl;
    case Engine::Avx2Bmi2ShortChains:
        return features.avx2_bmi2 && features.short_chain_cores;
    case Engine::Avx512Bmi2ShortChains:
        return features.avx2_bmi2 && features.avx512vl && features.short_chain_cores;
    case Engine::Armv8Sha1:
    case Engine::Armv8Sha256:
    case Engine::Armv82Sha512:
        return false;
    }
    return false;
}
