#include "sha_engines.h"

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
    case Engine::Avx2Bmi2ShortChains:
        return "AVX2 and BMI2, short chains";
    case Engine::Avx512Bmi2ShortChains:
        return "AVX-512VL and BMI2, short chains";
    case Engine::Armv8Sha1:
        return "ARMv8 SHA-1 instructions";
    case Engine::Armv8Sha256:
        return "ARMv8 SHA-256 instructions";
    case Engine::Armv82Sha512:
        return "ARMv8.2 SHA-512 instructions";
    }
    return "unknown";
}

namespace {

template <class Word>
sha_engines::Implementation<Word>
FirstRunnable(std::span<const sha_engines::Implementation<Word>> engines)
{
    for (const sha_engines::Implementation<Word>& engine : engines) {
        if (sha_engines::RunsHere(engine.engine)) {
            return engine;
        }
    }
    // Every list ends with the portable engine, which runs everywhere.
    return engines.back();
}

} // namespace

const sha_engines::Choice& sha_engines::ChosenEngines()
{
    static const Choice choice = [] {
        const Engines& built = BuiltEngines();
        return Choice{FirstRunnable(built.sha1), FirstRunnable(built.sha224_256),
                      FirstRunnable(built.sha384_512)};
    }();
    return choice;
}
