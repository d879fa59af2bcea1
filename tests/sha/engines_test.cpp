// Which engine each family runs in this build on this processor, against the processor's
// features as the system reports them; and every processor-specific block function that this
// processor can run, on runs of 0 to 9 blocks from random hash values, against the portable one.
#include "test_support.h"

#include <sha/sha_engines.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <string>

#if defined(__linux__) && defined(__aarch64__)
#include <sys/auxv.h>
#elif defined(__linux__)
#include <fstream>
#include <sstream>
#elif defined(__GNUC__) && !defined(__clang__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#endif

namespace {

using sha_engines::Engine;

// Not a flag of the system's but named like one: an AMD processor of family 26 or later, the
// cores that the short-chain engines are made for.
constexpr const char* ShortChainCore = "amd_family_26_on";

// The processor's features as the operating system reports them, read apart from the
// library's own detection: on 64-bit ARM Linux the kernel's hardware capabilities, under the
// names of its /proc/cpuinfo (which qemu-user does not emulate); the kernel's flags, vendor and
// family on other Linux; GCC's runtime checks elsewhere; none where neither is there to ask.
std::optional<std::set<std::string>> ReportedFeatures()
{
#if defined(__linux__) && defined(__aarch64__)
    const unsigned long capabilities = getauxval(AT_HWCAP);
    std::set<std::string> features;
    if ((capabilities & HWCAP_SHA1) != 0)
        features.insert("sha1");
    if ((capabilities & HWCAP_SHA2) != 0)
        features.insert("sha2");
    if ((capabilities & HWCAP_SHA512) != 0)
        features.insert("sha512");
    return features;
#elif defined(__linux__)
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    bool amd = false;
    int family = 0;
    const auto value = [&line] { return line.substr(line.find(':') + 1); };
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("vendor_id", 0) == 0) {
            amd = value().find("AuthenticAMD") != std::string::npos;
        } else if (line.rfind("cpu family", 0) == 0) {
            family = std::stoi(value());
        } else if (line.rfind("flags", 0) == 0) {
            std::istringstream words(value());
            std::set<std::string> flags;
            for (std::string flag; words >> flag;)
                flags.insert(flag);
            if (amd && family >= 26)
                flags.insert(ShortChainCore);
            return flags;
        }
    }
    return std::nullopt;
#elif defined(__GNUC__) && !defined(__clang__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    std::set<std::string> flags;
    if (__builtin_cpu_supports("sha"))
        flags.insert("sha_ni");
    if (__builtin_cpu_supports("ssse3"))
        flags.insert("ssse3");
    if (__builtin_cpu_supports("sse4.1"))
        flags.insert("sse4_1");
    if (__builtin_cpu_supports("avx2"))
        flags.insert("avx2");
    if (__builtin_cpu_supports("bmi"))
        flags.insert("bmi1");
    if (__builtin_cpu_supports("bmi2"))
        flags.insert("bmi2");
    if (__builtin_cpu_supports("avx512f"))
        flags.insert("avx512f");
    if (__builtin_cpu_supports("avx512vl"))
        flags.insert("avx512vl");
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    __get_cpuid(1, &eax, &ebx, &ecx, &edx);
    // AMD's families from 15 on add the extended family to the base 15.
    const unsigned family = ((eax >> 8) & 0xF) + ((eax >> 20) & 0xFF);
    if (__builtin_cpu_is("amd") && family >= 26)
        flags.insert(ShortChainCore);
    return flags;
#else
    return std::nullopt;
#endif
}

// The features, as the system names them, that each engine needs of the processor.
std::set<std::string> Needs(Engine engine)
{
    switch (engine) {
    case Engine::Portable:
        return {};
    case Engine::ShaExtensions:
        return {"sha_ni", "ssse3", "sse4_1"};
    case Engine::Avx2Bmi2:
        return {"avx2", "bmi1", "bmi2"};
    case Engine::Avx512Bmi2:
        return {"avx2", "bmi1", "bmi2", "avx512f", "avx512vl"};
    case Engine::Avx2Bmi2ShortChains:
        return {"avx2", "bmi1", "bmi2", ShortChainCore};
    case Engine::Avx512Bmi2ShortChains:
        return {"avx2", "bmi1", "bmi2", "avx512f", "avx512vl", ShortChainCore};
    case Engine::Armv8Sha1:
        return {"sha1"};
    case Engine::Armv8Sha256:
        return {"sha2"};
    case Engine::Armv82Sha512:
        return {"sha512"};
    }
    return {"unknown engine"};
}

bool Has(const std::set<std::string>& features, Engine engine)
{
    return std::ranges::includes(features, Needs(engine));
}

template <class Word>
bool AllPortable(std::span<const sha_engines::Implementation<Word>> engines)
{
    return std::ranges::all_of(engines, [](const auto& e) { return e.engine == Engine::Portable; });
}

// What this build should pick on a processor with these features: the first of the family's
// engines that it has.
template <class Word>
Engine ExpectedEngine(std::span<const sha_engines::Implementation<Word>> engines,
                      const std::set<std::string>& features)
{
    for (const sha_engines::Implementation<Word>& engine : engines) {
        if (Has(features, engine.engine)) {
            return engine.engine;
        }
    }
    return Engine::Portable;
}

TEST(Engines, AreThoseThatThisBuildPicksForThisProcessor)
{
    const sha_engines::Choice& chosen = sha_engines::ChosenEngines();
    // Shown in every run, so that a log says which engines its tests went through.
    std::cout << "SHA-1: " << sha_engines::EngineName(chosen.sha1.engine)
              << "; SHA-224 and SHA-256: " << sha_engines::EngineName(chosen.sha224_256.engine)
              << "; SHA-384 and SHA-512: " << sha_engines::EngineName(chosen.sha384_512.engine)
              << "\n";

    const sha_engines::Engines& built = sha_engines::BuiltEngines();
    const bool portable_only =
        AllPortable(built.sha1) && AllPortable(built.sha224_256) && AllPortable(built.sha384_512);
    const std::optional<std::set<std::string>> features = ReportedFeatures();
    if (!portable_only && !features) {
        GTEST_SKIP() << "the processor's features cannot be read here to check the choice";
    }
    const std::set<std::string> reported = features.value_or(std::set<std::string>{});
    const Engine sha1 = ExpectedEngine(built.sha1, reported);
    const Engine sha224_256 = ExpectedEngine(built.sha224_256, reported);
    const Engine sha384_512 = ExpectedEngine(built.sha384_512, reported);
    EXPECT_EQ(chosen.sha1.engine, sha1) << sha_engines::EngineName(chosen.sha1.engine);
    EXPECT_EQ(chosen.sha224_256.engine, sha224_256)
        << sha_engines::EngineName(chosen.sha224_256.engine);
    EXPECT_EQ(chosen.sha384_512.engine, sha384_512)
        << sha_engines::EngineName(chosen.sha384_512.engine);
    const auto runs_as_reported = [&](auto engines) {
        for (const auto& engine : engines) {
            EXPECT_EQ(sha_engines::RunsHere(engine.engine), Has(reported, engine.engine))
                << sha_engines::EngineName(engine.engine);
        }
    };
    runs_as_reported(built.sha1);
    runs_as_reported(built.sha224_256);
    runs_as_reported(built.sha384_512);
    const auto tell_if_portable = [](auto engines, Engine engine, const char* family) {
        if (!AllPortable(engines) && engine == Engine::Portable) {
            std::cout << "This processor lacks the extensions of this build's other " << family
                      << " engines: " << family << " runs on the portable engine in this suite "
                      << "too.\n";
        }
    };
    tell_if_portable(built.sha1, sha1, "SHA-1");
    tell_if_portable(built.sha224_256, sha224_256, "SHA-224/256");
    tell_if_portable(built.sha384_512, sha384_512, "SHA-384/512");
}

// The choice runs the block function listed with the engine it names.
TEST(Engines, ChosenBlockFunctionsAreThoseOfTheChosenEngines)
{
    const sha_engines::Choice& chosen = sha_engines::ChosenEngines();
    const sha_engines::Engines& built = sha_engines::BuiltEngines();
    const auto listed = [](auto engines, auto implementation) {
        return std::ranges::count_if(engines, [&](const auto& e) {
                   return e.engine == implementation.engine && e.blocks == implementation.blocks;
               }) == 1;
    };
    EXPECT_TRUE(listed(built.sha1, chosen.sha1));
    EXPECT_TRUE(listed(built.sha224_256, chosen.sha224_256));
    EXPECT_TRUE(listed(built.sha384_512, chosen.sha384_512));
}

// The last engine of each family is the portable one, which every processor runs and the
// choice falls back on; no engine is listed twice.
TEST(Engines, EachFamilyEndsWithItsPortableEngineAndListsEachEngineOnce)
{
    const sha_engines::Engines& built = sha_engines::BuiltEngines();
    const auto check = [](auto engines, auto portable, const char* family) {
        ASSERT_FALSE(engines.empty()) << family;
        EXPECT_EQ(engines.back().engine, Engine::Portable) << family;
        EXPECT_EQ(engines.back().blocks, portable) << family;
        std::set<Engine> seen;
        for (const auto& engine : engines) {
            EXPECT_TRUE(seen.insert(engine.engine).second)
                << family << ": " << sha_engines::EngineName(engine.engine) << " twice";
        }
    };
    check(built.sha1, sha_engines::SHA1BlocksPortable, "SHA-1");
    check(built.sha224_256, sha_engines::SHA256BlocksPortable, "SHA-224/256");
    check(built.sha384_512, sha_engines::SHA512BlocksPortable, "SHA-384/512");
    EXPECT_TRUE(sha_engines::RunsHere(Engine::Portable));
}

TEST(Engines, NamesTellThemApart)
{
    std::set<std::string> names;
    const Engine engines[] = {
        Engine::Portable,   Engine::ShaExtensions,       Engine::Avx2Bmi2,
        Engine::Avx512Bmi2, Engine::Avx2Bmi2ShortChains, Engine::Avx512Bmi2ShortChains,
        Engine::Armv8Sha1,  Engine::Armv8Sha256,         Engine::Armv82Sha512};
    for (const Engine engine : engines) {
        names.insert(sha_engines::EngineName(engine));
    }
    EXPECT_EQ(names.size(), std::size(engines));
}

// Runs of 0 to 9 blocks, so that engines that take blocks two at a time meet both even and
// odd counts and those that load the next block during the rounds of one meet every last block
// up to there, from random hash values (not only the initial ones). Each run starts 0 to 7
// bytes past the start of its buffer, as the input calls pass the caller's bytes on wherever
// they lie, and ends where the buffer ends, so that a load past the last block is out of
// bounds (which AddressSanitizer reports).
template <class Word, std::size_t Words>
void ExpectSameAsPortable(sha_engines::BlockFunction<Word> engine,
                          sha_engines::BlockFunction<Word> portable, std::size_t block_size)
{
    std::mt19937_64 random(20240611U + block_size);
    for (std::size_t count = 0; count <= 9; ++count) {
        for (int round = 0; round < 8; ++round) {
            std::array<Word, Words> start;
            for (Word& word : start)
                word = static_cast<Word>(random());
            const auto offset = static_cast<std::size_t>(round);
            const Bytes buffer =
                PatternBytes(offset + count * block_size, static_cast<std::uint32_t>(random()));
            const std::uint8_t* const blocks = buffer.data() + offset;
            std::array<Word, Words> theirs = start;
            std::array<Word, Words> ours = start;
            portable(theirs.data(), blocks, count);
            engine(ours.data(), blocks, count);
            ASSERT_EQ(ours, theirs) << count << " blocks " << offset << " bytes in";
            if (count != 0) {
                ASSERT_NE(ours, start) << count << " blocks left the hash value as it was";
            }
        }
    }
}

// Every engine but the portable one that this build has and this processor can run.
template <class Word, std::size_t Words>
int ExpectEachSameAsPortable(std::span<const sha_engines::Implementation<Word>> engines,
                             std::size_t block_size)
{
    int checked = 0;
    for (const sha_engines::Implementation<Word>& engine : engines.first(engines.size() - 1)) {
        if (sha_engines::RunsHere(engine.engine)) {
            SCOPED_TRACE(sha_engines::EngineName(engine.engine));
            ExpectSameAsPortable<Word, Words>(engine.blocks, engines.back().blocks, block_size);
            ++checked;
        }
    }
    return checked;
}

TEST(Engines, EachOneThisProcessorRunsComputesWhatThePortableOneDoes)
{
    const sha_engines::Engines& built = sha_engines::BuiltEngines();
    const int checked =
        ExpectEachSameAsPortable<std::uint32_t, 5>(built.sha1, SHA1_Message_Block_Size) +
        ExpectEachSameAsPortable<std::uint32_t, 8>(built.sha224_256, SHA256_Message_Block_Size) +
        ExpectEachSameAsPortable<std::uint64_t, 8>(built.sha384_512, SHA512_Message_Block_Size);
    if (checked == 0) {
        GTEST_SKIP() << "this build has no engine but the portable ones that this processor runs";
    }
}

} // namespace
