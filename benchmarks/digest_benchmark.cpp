// Throughput of every digest variant through USHAReset/USHAInput/USHAResult, next to
// OpenSSL's EVP digest of the same data in the same run; a table of both and their ratio
// follows the usual benchmark output.
#include "sha/sha.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Variant {
    SHAversion which;
    const char* name;
};

constexpr Variant Variants[] = {
    {SHA1, "SHA1"}, {SHA224, "SHA224"}, {SHA256, "SHA256"}, {SHA384, "SHA384"}, {SHA512, "SHA512"},
};

struct Size {
    std::size_t bytes;
    const char* label;
};

constexpr Size Sizes[] = {{64, "64 B"}, {1024, "1 KiB"}, {1024 * 1024, "1 MiB"}};

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

std::string Name(const char* implementation, const Variant& variant, const Size& size)
{
    return std::string(implementation) + "/" + variant.name + "/" + std::to_string(size.bytes);
}

void Ours(benchmark::State& state, SHAversion which, std::size_t size)
{
    const std::vector<std::uint8_t> message = Message(size);
    USHAContext context;
    std::uint8_t digest[USHAMaxHashSize];
    for (auto _ : state) {
        USHAReset(&context, which);
        USHAInput(&context, message.data(), static_cast<std::uint32_t>(message.size()));
        if (USHAResult(&context, digest) != shaSuccess) {
            state.SkipWithError("USHAResult failed");
            break;
        }
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void OpenSSL(benchmark::State& state, const char* name, std::size_t size)
{
    const std::vector<std::uint8_t> message = Message(size);
    // Fetched once, as a caller that hashes often would, so no lookup is timed.
    const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md(EVP_MD_fetch(nullptr, name, nullptr),
                                                             EVP_MD_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digest_size = 0;
    for (auto _ : state) {
        if (EVP_DigestInit_ex(context.get(), md.get(), nullptr) != 1 ||
            EVP_DigestUpdate(context.get(), message.data(), message.size()) != 1 ||
            EVP_DigestFinal_ex(context.get(), digest, &digest_size) != 1) {
            state.SkipWithError("EVP digest failed");
            break;
        }
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// Passes everything on to the console and keeps each benchmark's throughput for the table:
// the median when repetitions were asked for, else the mean of the runs.
class RateRecorder : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (run.error_occurred || rate == run.counters.end()) continue;
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
        if (found == rates_.end()) return 0;
        const Rate& rate = found->second;
        if (rate.median > 0) return rate.median;
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

void PrintTable(const RateRecorder& recorder)
{
    std::printf("\n%-8s %-7s %12s %14s %14s\n", "Variant", "Size", "USHA MB/s", "OpenSSL MB/s",
                "USHA/OpenSSL");
    for (const Variant& variant : Variants) {
        for (const Size& size : Sizes) {
            const double ours = recorder.BytesPerSecond(Name("USHA", variant, size)) / 1e6;
            const double theirs = recorder.BytesPerSecond(Name("OpenSSL", variant, size)) / 1e6;
            if (ours == 0 || theirs == 0) continue;
            std::printf("%-8s %-7s %12.1f %14.1f %14.2f\n", variant.name, size.label, ours, theirs,
                        ours / theirs);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    for (const Variant& variant : Variants) {
        for (const Size& size : Sizes) {
            benchmark::RegisterBenchmark(Name("USHA", variant, size).c_str(), Ours, variant.which,
                                         size.bytes);
            benchmark::RegisterBenchmark(Name("OpenSSL", variant, size).c_str(), OpenSSL,
                                         variant.name, size.bytes);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RateRecorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    PrintTable(recorder);
    return 0;
}
