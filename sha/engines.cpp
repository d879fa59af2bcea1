// Which engines this processor can run: asked once through CPUID (and XGETBV for the state the
// operating system saves), then kept for the life of the program; and which of them each
// family runs.
#include "sha_engines.h"

#if SHA_X86_ENGINES
#include <immintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

const char* sha_engines::EngineName(Engine engine)
{
    switch (engine) {
    case Engine::Portable:
        return "portable";
    case Engine::ShaExtensions:
        return "x86 SHA extensions";
    case Engine::Avx2Bmi2:
        return "AVX2 and BMI2";
    case Engine::Avx512Bmi2:
        return "AVX-512VL and BMI2";
    }
    return "unknown";
}

#if SHA_X86_ENGINES

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

sha_engines::CpuFeatures Detect()
{
    sha_engines::CpuFeatures features{};
    if (Cpuid(0, 0).eax < 7) {
        return features;
    }
    const Registers basic = Cpuid(1, 0);
    const Registers extended = Cpuid(7, 0);
    const bool ssse3 = Bit(basic.ecx, 9);
    const bool sse41 = Bit(basic.ecx, 19);
    const bool osxsave = Bit(basic.ecx, 27);
    const bool avx = Bit(basic.ecx, 28);
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
    features.avx2_bmi2 = avx && avx2 && bmi2 && avx_state;
    features.avx512vl = avx512f && avx512vl && avx512_state;
    return features;
}

} // namespace

const sha_engines::CpuFeatures& sha_engines::DetectedCpuFeatures()
{
    static const CpuFeatures features = Detect();
    return features;
}

#endif

namespace {

// SHA-1 and SHA-224/256 both run on the SHA extensions where there are any.
sha_engines::Engine ShaExtensionsWherePresent()
{
#if SHA_X86_ENGINES
    if (sha_engines::DetectedCpuFeatures().sha_extensions) {
        return sha_engines::Engine::ShaExtensions;
    }
#endif
    return sha_engines::Engine::Portable;
}

} // namespace

sha_engines::Engine sha_engines::SHA1Engine()
{
    return ShaExtensionsWherePresent();
}

sha_engines::Engine sha_engines::SHA224_256Engine()
{
    return ShaExtensionsWherePresent();
}

sha_engines::Engine sha_engines::SHA384_512Engine()
{
#if SHA_X86_ENGINES
    const CpuFeatures& features = DetectedCpuFeatures();
    if (features.avx2_bmi2) {
        return SHA_AVX512_ENGINE && features.avx512vl ? Engine::Avx512Bmi2 : Engine::Avx2Bmi2;
    }
#endif
    return Engine::Portable;
}
