// Throughput of every digest variant through USHAReset/USHAInput/USHAResult, next to
// OpenSSL's EVP digest of the same data in the same run; a table of both and their ratio
// follows the usual benchmark output, headed by the processor it ran on, the extensions that
// OpenSSL was allowed and the engines that this build runs there.
//
// With --coreutils, the program then also hashes a file in /dev/shm both with coreutils'
// sha1sum ... sha512sum and with our library (reading it in the same 32 KiB pieces), several
// times each, alternating, and prints both rates from CPU time and their ratio.
#include "compared_engines.h"

#include <computer_id/sha/sha.h>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define DIGEST_BENCHMARK_X86 1
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#else
#define DIGEST_BENCHMARK_X86 0
#endif

#if defined(__unix__)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

using compared_engines::Variant;
using compared_engines::Variants;

struct Size {
    std::size_t bytes;
    const char* label;
};

constexpr std::size_t MiB = std::size_t{1024} * 1024;

constexpr Size Sizes[] = {{64, "64 B"}, {1024, "1 KiB"}, {MiB, "1 MiB"}};

std::vector<std::uint8_t> Message(std::size_t size)
{
    std::vector<std::uint8_t> message(size);
    std::uint32_t x = 0x9E3779B9;
    for (auto& byte : message) {
        x = x * 1664525 + 1013904223;
        byte = static_cast<std::uint8_t>(x >> 24);
    }
    return message;
}

// As Google Benchmark names them: the function, the variant, the message size.
std::string Name(const char* implementation, const Variant& variant, const Size& size)
{
    return std::string(implementation) + "/" + variant.name + "/" + std::to_string(size.bytes);
}

void USHA(benchmark::State& state, SHAversion which)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> message = Message(size);
    USHAContext context;
    std::uint8_t digest[USHAMaxHashSize];
    for ([[maybe_unused]] auto _ : state) {
        USHAReset(&context, which);
        USHAInput(&context, message.data(), static_cast<std::uint32_t>(message.size()));
        if (USHAResult(&context, digest) != shaSuccess) {
            state.SkipWithError("USHAResult failed");
            break;
        }
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void OpenSSL(benchmark::State& state, const char* name)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> message = Message(size);
    // Fetched once, as a caller that hashes often would, so no lookup is timed; one context
    // serves every message, so no allocation is timed either.
    const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md(EVP_MD_fetch(nullptr, name, nullptr),
                                                             EVP_MD_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digest_size = 0;
    for ([[maybe_unused]] auto _ : state) {
        if (EVP_DigestInit_ex(context.get(), md.get(), nullptr) != 1 ||
            EVP_DigestUpdate(context.get(), message.data(), message.size()) != 1 ||
            EVP_DigestFinal_ex(context.get(), digest, &digest_size) != 1) {
            state.SkipWithError("EVP digest failed");
            break;
        }
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void WithSizes(benchmark::internal::Benchmark* benchmark)
{
    for (const Size& size : Sizes) {
        benchmark->Arg(static_cast<std::int64_t>(size.bytes));
    }
}

// Registered statically, each variant next to OpenSSL's.
BENCHMARK_CAPTURE(USHA, SHA1, SHA1)->Apply(WithSizes);
BENCHMARK_CAPTURE(OpenSSL, SHA1, "SHA1")->Apply(WithSizes);
BENCHMARK_CAPTURE(USHA, SHA224, SHA224)->Apply(WithSizes);
BENCHMARK_CAPTURE(OpenSSL, SHA224, "SHA224")->Apply(WithSizes);
BENCHMARK_CAPTURE(USHA, SHA256, SHA256)->Apply(WithSizes);
BENCHMARK_CAPTURE(OpenSSL, SHA256, "SHA256")->Apply(WithSizes);
BENCHMARK_CAPTURE(USHA, SHA384, SHA384)->Apply(WithSizes);
BENCHMARK_CAPTURE(OpenSSL, SHA384, "SHA384")->Apply(WithSizes);
BENCHMARK_CAPTURE(USHA, SHA512, SHA512)->Apply(WithSizes);
BENCHMARK_CAPTURE(OpenSSL, SHA512, "SHA512")->Apply(WithSizes);

// Passes everything on to the console and keeps each benchmark's throughput for the table:
// the median when repetitions were asked for, else the mean of the runs.
class RateRecorder : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (run.error_occurred || rate == run.counters.end())
                continue;
            Rate& kept = rates_[run.run_name.str()];
            if (run.run_type == Run::RT_Iteration) {
                kept.sum += rate->second.value;
                ++kept.count;
            } else if (run.aggregate_name == "median") {
                kept.median = rate->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Bytes per second, or 0 when the benchmark did not run.
    double BytesPerSecond(const std::string& name) const
    {
        const auto found = rates_.find(name);
        if (found == rates_.end())
            return 0;
        const Rate& rate = found->second;
        if (rate.median > 0)
            return rate.median;
        return rate.count > 0 ? rate.sum / rate.count : 0;
    }

private:
    struct Rate {
        double sum = 0;
        int count = 0;
        double median = 0;
    };
    std::map<std::string, Rate> rates_;
};

#if DIGEST_BENCHMARK_X86

struct CpuidRegisters {
    unsigned eax, ebx, ecx, edx;
};

CpuidRegisters Cpuid(unsigned leaf)
{
    CpuidRegisters r{};
#if defined(_MSC_VER) && !defined(__clang__)
    int values[4];
    __cpuid(values, static_cast<int>(leaf));
    r = {static_cast<unsigned>(values[0]), static_cast<unsigned>(values[1]),
         static_cast<unsigned>(values[2]), static_cast<unsigned>(values[3])};
#else
    __cpuid(leaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
    return r;
}

// The name in CPUID's brand string, without the blanks it is padded with.
std::string ProcessorName()
{
    constexpr unsigned first = 0x80000002;
    constexpr unsigned last = 0x80000004;
    if (Cpuid(0x80000000).eax < last)
        return "unnamed processor";
    std::string name;
    for (unsigned leaf = first; leaf <= last; ++leaf) {
        const CpuidRegisters r = Cpuid(leaf);
        for (const unsigned word : {r.eax, r.ebx, r.ecx, r.edx}) {
            for (int byte = 0; byte < 4; ++byte) {
                const char c = static_cast<char>((word >> (8 * byte)) & 0xFF);
                if (c != '\0')
                    name += c;
            }
        }
    }
    const std::size_t begin = name.find_first_not_of(' ');
    const std::size_t end = name.find_last_not_of(' ');
    return begin == std::string::npos ? "unnamed processor" : name.substr(begin, end - begin + 1);
}

// Figures differ between processors of one name, so the table names the processor by its
// family and model too, with the extended fields of CPUID leaf 1 added in as Intel's and AMD's
// manuals define the displayed values.
void PrintProcessor()
{
    const unsigned signature = Cpuid(1).eax;
    const unsigned base_family = (signature >> 8) & 0xF;
    const unsigned base_model = (signature >> 4) & 0xF;
    const unsigned family =
        base_family == 0xF ? base_family + ((signature >> 20) & 0xFF) : base_family;
    const unsigned model = base_family == 0x6 || base_family == 0xF
                               ? base_model + (((signature >> 16) & 0xF) << 4)
                               : base_model;
    std::printf("\nProcessor: %s, family %u, model %u, stepping %u (CPUID leaf 1 EAX %08X)\n",
                ProcessorName().c_str(), family, model, signature & 0xF, signature);
}

#else

void PrintProcessor()
{
    std::printf("\nProcessor: not x86, no family and model to show\n");
}

#endif

void PrintTable(const RateRecorder& recorder)
{
    std::printf("\n%-8s %-7s %12s %14s %14s\n", "Variant", "Size", "USHA MB/s", "OpenSSL MB/s",
                "USHA/OpenSSL");
    for (const Variant& variant : Variants) {
        for (const Size& size : Sizes) {
            const double ours = recorder.BytesPerSecond(Name("USHA", variant, size)) / 1e6;
            const double theirs = recorder.BytesPerSecond(Name("OpenSSL", variant, size)) / 1e6;
            if (ours == 0 || theirs == 0)
                continue;
            std::printf("%-8s %-7s %12.1f %14.1f %14.2f\n", variant.name, size.label, ours, theirs,
                        ours / theirs);
        }
    }
}

#if defined(__unix__)

double Seconds(const timeval& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
}

// Of the children waited for so far; negative when it cannot be read.
double ChildrenCpuSeconds()
{
    rusage usage{};
    if (getrusage(RUSAGE_CHILDREN, &usage) != 0)
        return -1;
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double OwnCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string Hex(const std::uint8_t* bytes, std::size_t size)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// Runs the tool on the file and returns the CPU time (user and system) it took, with the
// digest it printed; a negative time when it could not run.
double RunTool(const char* tool, const std::string& path, std::string& digest)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char* const argv[] = {const_cast<char*>(tool), const_cast<char*>(path.c_str()), nullptr};
    const double before = ChildrenCpuSeconds();
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, tool, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string printed;
    char buffer[256];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) {
        printed.append(buffer, static_cast<std::size_t>(got));
    }
    close(out[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    digest = printed.substr(0, printed.find(' '));
    return ChildrenCpuSeconds() - before;
}

// Hashes the file as the tools do, reading it in 32 KiB pieces; returns our CPU time.
double RunOurs(const Variant& variant, const std::string& path, std::string& digest)
{
    const int file = open(path.c_str(), O_RDONLY);
    if (file < 0)
        return -1;
    std::vector<std::uint8_t> piece(std::size_t{32} * 1024);
    const double before = OwnCpuSeconds();
    USHAContext context;
    USHAReset(&context, variant.which);
    for (ssize_t got; (got = read(file, piece.data(), piece.size())) > 0;) {
        USHAInput(&context, piece.data(), static_cast<std::uint32_t>(got));
    }
    std::uint8_t bytes[USHAMaxHashSize];
    const int result = USHAResult(&context, bytes);
    const double seconds = OwnCpuSeconds() - before;
    close(file);
    if (result != shaSuccess)
        return -1;
    digest = Hex(bytes, variant.digest_size);
    return seconds;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Returns false when a tool could not run or disagreed with our digest.
bool CompareWithCoreutils(std::size_t mebibytes, int repetitions)
{
    const char* const directory = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    const std::string path =
        std::string(directory) + "/digest_benchmark." + std::to_string(getpid());
    {
        const std::vector<std::uint8_t> chunk = Message(MiB);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr)
            return false;
        std::size_t written = 0;
        for (std::size_t i = 0; i < mebibytes; ++i) {
            written += std::fwrite(chunk.data(), 1, chunk.size(), file);
        }
        if (std::fclose(file) != 0 || written != mebibytes * MiB) {
            std::printf("cannot write %s\n", path.c_str());
            return false;
        }
    }
    const double bytes = static_cast<double>(mebibytes) * 1024 * 1024;
    std::printf("\n%zu MiB in %s, median of %d runs each, MB/s of CPU time (user and system)\n",
                mebibytes, directory, repetitions);
    std::printf("%-8s %-10s %12s %14s %14s\n", "Variant", "Tool", "USHA MB/s", "Tool MB/s",
                "USHA/Tool");
    bool ok = true;
    for (const Variant& variant : Variants) {
        std::vector<double> ours;
        std::vector<double> theirs;
        std::string our_digest;
        std::string their_digest;
        for (int run = 0; run < repetitions && ok; ++run) {
            const double our_seconds = RunOurs(variant, path, our_digest);
            const double their_seconds = RunTool(variant.coreutils, path, their_digest);
            if (our_seconds <= 0 || their_seconds <= 0) {
                std::printf("%-8s %s could not run\n", variant.name, variant.coreutils);
                ok = false;
            } else if (our_digest != their_digest) {
                std::printf("%-8s digests differ: %s against %s\n", variant.name,
                            our_digest.c_str(), their_digest.c_str());
                ok = false;
            } else {
                ours.push_back(bytes / our_seconds / 1e6);
                theirs.push_back(bytes / their_seconds / 1e6);
            }
        }
        if (!ok)
            break;
        const double our_rate = Median(ours);
        const double their_rate = Median(theirs);
        std::printf("%-8s %-10s %12.1f %14.1f %14.2f\n", variant.name, variant.coreutils, our_rate,
                    their_rate, our_rate / their_rate);
    }
    if (std::remove(path.c_str()) != 0) {
        std::printf("cannot remove %s\n", path.c_str());
    }
    return ok;
}

#endif

} // namespace

int main(int argc, char** argv)
{
    if (!compared_engines::LimitOpenSSL(argv))
        return 1;
    benchmark::Initialize(&argc, argv);
    // Our own options, after Google Benchmark has taken its own.
    bool coreutils = false;
    std::size_t mebibytes = 256;
    int repetitions = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--coreutils") {
            coreutils = true;
        } else if (option.rfind("--coreutils_mib=", 0) == 0) {
            coreutils = true;
            mebibytes = std::strtoul(option.c_str() + 16, nullptr, 10);
        } else if (option.rfind("--coreutils_runs=", 0) == 0) {
            coreutils = true;
            repetitions = static_cast<int>(std::strtol(option.c_str() + 17, nullptr, 10));
        } else {
            (void)std::fprintf(stderr, "%s: unrecognized option '%s'\n", argv[0], argv[i]);
            return 1;
        }
    }
    if (coreutils && (mebibytes == 0 || repetitions <= 0)) {
        (void)std::fprintf(
            stderr, "%s: --coreutils_mib and --coreutils_runs take a positive number\n", argv[0]);
        return 1;
    }

    RateRecorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    PrintProcessor();
    compared_engines::PrintOpenSSLLimit();
    compared_engines::PrintOurEngines();
    PrintTable(recorder);
    if (coreutils) {
#if defined(__unix__)
        if (!CompareWithCoreutils(mebibytes, repetitions))
            return 1;
#else
        (void)std::fprintf(stderr, "--coreutils needs a POSIX system\n");
        return 1;
#endif
    }
    return 0;
}
