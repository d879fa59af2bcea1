// Which engine each family runs in this build on this processor, against the processor's
// features as the system reports them; and every processor-specific block function that this
// processor can run, on runs of 0 to 9 blocks from random hash values, against the portable one.
#include "test_support.h"

#include <sha/sha_engines.h>

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <optional>
#include <random>
#include <set>
#include <string>

#if defined(__linux__)
#include <fstream>
#include <sstream>
#endif

namespace {

using sha_engines::Engine;

// The processor's features as the operating system reports them, read apart from the
// library's own detection: the kernel's flags on Linux, GCC's runtime checks elsewhere; none
// where neither is there to ask.
std::optional<std::set<std::string>> ReportedFeatures()
{
#if defined(__linux__)
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("flags", 0) == 0) {
            std::istringstream words(line.substr(line.find(':') + 1));
            std::set<std::string> flags;
            for (std::string flag; words >> flag;)
                flags.insert(flag);
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
    if (__builtin_cpu_supports("bmi2"))
        flags.insert("bmi2");
    if (__builtin_cpu_supports("avx512f"))
        flags.insert("avx512f");
    if (__builtin_cpu_supports("avx512vl"))
        flags.insert("avx512vl");
    return flags;
#else
    return std::nullopt;
#endif
}

struct Expected {
    Engine sha1;
    Engine sha224_256;
    Engine sha384_512;
};

// What this build should pick on a processor with these features.
Expected ExpectedEngines([[maybe_unused]] const std::set<std::string>& features)
{
    Expected expected{Engine::Portable, Engine::Portable, Engine::Portable};
#if SHA_X86_ENGINES
    const auto has = [&](const char* flag) { return features.contains(flag); };
    if (has("sha_ni") && has("ssse3") && has("sse4_1")) {
        expected.sha1 = expected.sha224_256 = Engine::ShaExtensions;
    }
    if (has("avx2") && has("bmi2")) {
        const bool avx512 = SHA_AVX512_ENGINE && has("avx512f") && has("avx512vl");
        expected.sha384_512 = avx512 ? Engine::Avx512Bmi2 : Engine::Avx2Bmi2;
    }
#endif
    return expected;
}

TEST(Engines, AreThoseThatThisBuildPicksForThisProcessor)
{
    const Engine sha1 = sha_engines::SHA1Engine();
    const Engine sha224_256 = sha_engines::SHA224_256Engine();
    const Engine sha384_512 = sha_engines::SHA384_512Engine();
    // Shown in every run, so that a log says which engines its tests went through.
    std::cout << "SHA-1: " << sha_engines::EngineName(sha1)
              << "; SHA-224 and SHA-256: " << sha_engines::EngineName(sha224_256)
              << "; SHA-384 and SHA-512: " << sha_engines::EngineName(sha384_512) << "\n";

    const std::optional<std::set<std::string>> features = ReportedFeatures();
#if SHA_X86_ENGINES
    if (!features) {
        GTEST_SKIP() << "the processor's features cannot be read here to check the choice";
    }
#endif
    const Expected expected = ExpectedEngines(features.value_or(std::set<std::string>{}));
    EXPECT_EQ(sha1, expected.sha1) << sha_engines::EngineName(sha1);
    EXPECT_EQ(sha224_256, expected.sha224_256) << sha_engines::EngineName(sha224_256);
    EXPECT_EQ(sha384_512, expected.sha384_512) << sha_engines::EngineName(sha384_512);
#if SHA_X86_ENGINES
    if (expected.sha1 == Engine::Portable) {
        std::cout << "This processor lacks the SHA extensions: SHA-1, SHA-224 and SHA-256 run "
                     "on the portable engine in this suite too.\n";
    }
    if (expected.sha384_512 == Engine::Portable) {
        std::cout << "This processor lacks AVX2 or BMI2: SHA-384 and SHA-512 run on the "
                     "portable engine in this suite too.\n";
    }
#endif
}

TEST(Engines, NamesTellThemApart)
{
    std::set<std::string> names;
    for (const Engine engine :
         {Engine::Portable, Engine::ShaExtensions, Engine::Avx2Bmi2, Engine::Avx512Bmi2}) {
        names.insert(sha_engines::EngineName(engine));
    }
    EXPECT_EQ(names.size(), 4U);
}

#if SHA_X86_ENGINES

template <class Word>
using BlockFunction = void (*)(Word*, const std::uint8_t*, std::size_t);

// Runs of 0 to 9 blocks, so that engines that take blocks two at a time meet both even and
// odd counts and those that load the next block during the rounds of one meet every last block
// up to there, from random hash values (not only the initial ones). Each run starts 0 to 7
// bytes past the start of its buffer, as the input calls pass the caller's bytes on wherever
// they lie, and ends where the buffer ends, so that a load past the last block is out of
// bounds (which AddressSanitizer reports).
template <class Word, std::size_t Words>
void ExpectSameAsPortable(BlockFunction<Word> engine, BlockFunction<Word> portable,
                          std::size_t block_size)
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

TEST(Engines, EachOneThisProcessorRunsComputesWhatThePortableOneDoes)
{
    const sha_engines::CpuFeatures& features = sha_engines::DetectedCpuFeatures();
    int checked = 0;
    if (features.sha_extensions) {
        ExpectSameAsPortable<std::uint32_t, 5>(sha_engines::SHA1BlocksShaExtensions,
                                               sha_engines::SHA1BlocksPortable,
                                               SHA1_Message_Block_Size);
        ExpectSameAsPortable<std::uint32_t, 8>(sha_engines::SHA256BlocksShaExtensions,
                                               sha_engines::SHA256BlocksPortable,
                                               SHA256_Message_Block_Size);
        checked += 2;
    }
    if (features.avx2_bmi2) {
        ExpectSameAsPortable<std::uint64_t, 8>(sha_engines::SHA512BlocksAvx2Bmi2,
                                               sha_engines::SHA512BlocksPortable,
                                               SHA512_Message_Block_Size);
        ++checked;
    }
#if SHA_AVX512_ENGINE
    if (features.avx2_bmi2 && features.avx512vl) {
        ExpectSameAsPortable<std::uint64_t, 8>(sha_engines::SHA512BlocksAvx512Bmi2,
                                               sha_engines::SHA512BlocksPortable,
                                               SHA512_Message_Block_Size);
        ++checked;
    }
#endif
    if (checked == 0) {
        GTEST_SKIP() << "this processor runs none of the processor-specific engines";
    }
}

#endif

} // namespace
