// NIST CAVP SHAVS byte-oriented vectors: every ShortMsg, LongMsg and Monte Carlo vector of
// the five variants, each message also fed split at many positions; and every HMAC test case
// of RFC 2202 (SHA-1) and RFC 4231 (SHA-224 to SHA-512), split alike.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct VectorFile {
    const char* path; // below the vectors folder
    SHAversion which;
    std::size_t vector_count; // as published
};

void PrintTo(const VectorFile& file, std::ostream* out)
{
    *out << file.path;
}

struct MessageVector {
    Bytes message;
    Bytes digest;
};

struct HmacVector {
    Bytes key;
    Bytes message;
    Bytes mac;
};

struct MonteCarloFile {
    Bytes seed;
    std::vector<Bytes> checkpoints; // MD of COUNT 0, 1, ...
};

// Each "Name = value" line of an .rsp file, in order; comments, [L = n] headers and the
// CR of CRLF line ends dropped.
std::vector<std::pair<std::string, std::string>> ReadRsp(const std::string& path)
{
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error("cannot open " + path);
    std::vector<std::pair<std::string, std::string>> fields;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t equals = line.find(" = ");
        if (line.empty() || line[0] == '#' || line[0] == '[' || equals == std::string::npos)
            continue;
        fields.emplace_back(line.substr(0, equals), line.substr(equals + 3));
    }
    return fields;
}

std::vector<MessageVector> ParseMessageFile(const std::string& path)
{
    std::vector<MessageVector> vectors;
    constexpr std::size_t no_length = static_cast<std::size_t>(-1);
    std::size_t bit_length = no_length;
    Bytes message;
    for (const auto& [name, value] : ReadRsp(path)) {
        if (name == "Len") {
            bit_length = std::stoul(value);
        } else if (name == "Msg") {
            message = FromHex(value);
            // The empty message is written as one zero byte.
            if (bit_length == 0U)
                message.clear();
        } else if (name == "MD") {
            if (bit_length != 8 * message.size()) {
                std::string message_text = path;
                message_text.append(": Len does not match Msg before MD ").append(value);
                throw std::runtime_error(message_text);
            }
            vectors.push_back({message, FromHex(value)});
            bit_length = no_length;
        }
    }
    return vectors;
}

// The RFC files as the vectors package writes them: Len (of the message, in bits), Key, Msg,
// MD for each case.
std::vector<HmacVector> ParseHmacFile(const std::string& path)
{
    std::vector<HmacVector> vectors;
    HmacVector vector;
    std::size_t bit_length = 0;
    for (const auto& [name, value] : ReadRsp(path)) {
        if (name == "Len") {
            bit_length = std::stoul(value);
        } else if (name == "Key") {
            vector.key = FromHex(value);
        } else if (name == "Msg") {
            vector.message = FromHex(value);
        } else if (name == "MD") {
            if (bit_length != 8 * vector.message.size()) {
                std::string message_text = path;
                message_text.append(": Len does not match Msg before MD ").append(value);
                throw std::runtime_error(message_text);
            }
            vector.mac = FromHex(value);
            vectors.push_back(vector);
        }
    }
    return vectors;
}

MonteCarloFile ParseMonteCarloFile(const std::string& path)
{
    MonteCarloFile monte;
    for (const auto& [name, value] : ReadRsp(path)) {
        if (name == "Seed") {
            monte.seed = FromHex(value);
        } else if (name == "COUNT") {
            if (std::stoul(value) != monte.checkpoints.size()) {
                std::string message_text = path;
                message_text.append(": COUNT out of order: ").append(value);
                throw std::runtime_error(message_text);
            }
        } else if (name == "MD") {
            monte.checkpoints.push_back(FromHex(value));
        }
    }
    return monte;
}

std::string VectorPath(const VectorFile& file)
{
    return std::string(SHA_TEST_VECTORS_DIR) + "/" + file.path;
}

// Two-piece splits at every position of a short message, and around the block edges, the
// middle and the end of a long one.
std::vector<std::size_t> SplitPositions(std::size_t length, std::size_t block)
{
    std::vector<std::size_t> positions;
    if (length <= 2 * block + 2) {
        for (std::size_t p = 0; p <= length; ++p)
            positions.push_back(p);
        return positions;
    }
    for (const std::size_t p :
         {std::size_t{1}, block - 1, block, block + 1, 2 * block + 1, length / 3, length / 2,
          length - block - 1, length - block, length - 1}) {
        positions.push_back(p);
    }
    return positions;
}

// Pieces of mixed sizes around the block sizes, cycled until the message is used up.
std::vector<std::size_t> MixedPieces(std::size_t length)
{
    static constexpr std::array<std::size_t, 10> cycle = {1, 3, 7, 63, 64, 65, 127, 128, 129, 1000};
    std::vector<std::size_t> pieces;
    for (std::size_t total = 0, i = 0; total < length; total += pieces.back(), ++i) {
        pieces.push_back(cycle[i % cycle.size()]);
    }
    return pieces;
}

class NistMessageVectors : public testing::TestWithParam<VectorFile> {};

TEST_P(NistMessageVectors, EveryVectorWholeAndSplit)
{
    const VectorFile& file = GetParam();
    const std::vector<MessageVector> vectors = ParseMessageFile(VectorPath(file));
    ASSERT_GT(vectors.size(), 0U);
    ASSERT_EQ(vectors.size(), file.vector_count);

    const std::size_t block = VariantOf(file.which).block_size;
    std::vector<std::string> failures;
    const auto check = [&](std::size_t index, const std::string& how, const Bytes& got) {
        if (got != vectors[index].digest) {
            failures.push_back("vector " + std::to_string(index) + " (" +
                               std::to_string(vectors[index].message.size()) + " bytes, " + how +
                               "): got " + Hex(got) + ", expected " + Hex(vectors[index].digest));
        }
    };
    for (std::size_t i = 0; i < vectors.size(); ++i) {
        const Bytes& message = vectors[i].message;
        check(i, "one call", OurDigest(file.which, message));
        for (const std::size_t position : SplitPositions(message.size(), block)) {
            const std::size_t pieces[] = {position};
            check(i, "split at " + std::to_string(position),
                  OurDigest(file.which, message, pieces));
        }
        check(i, "mixed pieces", OurDigest(file.which, message, MixedPieces(message.size())));
    }
    EXPECT_TRUE(failures.empty()) << Report(failures);
}

INSTANTIATE_TEST_SUITE_P(Files, NistMessageVectors,
                         testing::Values(VectorFile{"SHA1/SHA1ShortMsg.rsp", SHA1, 65},
                                         VectorFile{"SHA1/SHA1LongMsg.rsp", SHA1, 64},
                                         VectorFile{"SHA2/SHA224ShortMsg.rsp", SHA224, 65},
                                         VectorFile{"SHA2/SHA224LongMsg.rsp", SHA224, 64},
                                         VectorFile{"SHA2/SHA256ShortMsg.rsp", SHA256, 65},
                                         VectorFile{"SHA2/SHA256LongMsg.rsp", SHA256, 64},
                                         VectorFile{"SHA2/SHA384ShortMsg.rsp", SHA384, 129},
                                         VectorFile{"SHA2/SHA384LongMsg.rsp", SHA384, 128},
                                         VectorFile{"SHA2/SHA512ShortMsg.rsp", SHA512, 129},
                                         VectorFile{"SHA2/SHA512LongMsg.rsp", SHA512, 128}),
                         [](const testing::TestParamInfo<VectorFile>& info) {
                             std::string name = info.param.path;
                             name = name.substr(name.find('/') + 1);
                             return name.substr(0, name.find('.'));
                         });

class HmacVectors : public testing::TestWithParam<VectorFile> {};

TEST_P(HmacVectors, EveryCaseWholeAndSplitAtEveryPosition)
{
    const VectorFile& file = GetParam();
    const std::vector<HmacVector> vectors =
        ParseHmacFile(std::string(SHA_TEST_VECTORS_DIR) + "/../HMAC/" + file.path);
    ASSERT_EQ(vectors.size(), file.vector_count);
    for (std::size_t i = 0; i < vectors.size(); ++i) {
        const HmacVector& vector = vectors[i];
        EXPECT_EQ(Hex(OurHmac(file.which, vector.key, vector.message)), Hex(vector.mac))
            << "case " << i + 1;
        for (std::size_t position = 0; position <= vector.message.size(); ++position) {
            const std::size_t pieces[] = {position};
            ASSERT_EQ(Hex(OurHmac(file.which, vector.key, vector.message, pieces)), Hex(vector.mac))
                << "case " << i + 1 << " split at " << position;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HmacVectors,
                         testing::Values(VectorFile{"rfc-2202-sha1.txt", SHA1, 7},
                                         VectorFile{"rfc-4231-sha224.txt", SHA224, 6},
                                         VectorFile{"rfc-4231-sha256.txt", SHA256, 6},
                                         VectorFile{"rfc-4231-sha384.txt", SHA384, 6},
                                         VectorFile{"rfc-4231-sha512.txt", SHA512, 6}),
                         [](const testing::TestParamInfo<VectorFile>& info) {
                             return std::string(VariantOf(info.param.which).name);
                         });

class NistMonteCarlo : public testing::TestWithParam<VectorFile> {};

// SHAVS Monte Carlo: MD0 = MD1 = MD2 = Seed; MDi = SHA(MDi-3 || MDi-2 || MDi-1) for i = 3 to
// 1002; MD1002 is checkpoint j and the seed of checkpoint j + 1.
TEST_P(NistMonteCarlo, EveryCheckpoint)
{
    const VectorFile& file = GetParam();
    const MonteCarloFile monte = ParseMonteCarloFile(VectorPath(file));
    ASSERT_EQ(monte.seed.size(), VariantOf(file.which).digest_size);
    ASSERT_GT(monte.checkpoints.size(), 0U);
    ASSERT_EQ(monte.checkpoints.size(), file.vector_count);

    std::vector<std::string> failures;
    Bytes seed = monte.seed;
    for (std::size_t j = 0; j < monte.checkpoints.size(); ++j) {
        std::array<Bytes, 3> last = {seed, seed, seed};
        for (int i = 3; i <= 1002; ++i) {
            Bytes message = last[0];
            message.insert(message.end(), last[1].begin(), last[1].end());
            message.insert(message.end(), last[2].begin(), last[2].end());
            last = {last[1], last[2], OurDigest(file.which, message)};
        }
        seed = last[2];
        if (seed != monte.checkpoints[j]) {
            failures.push_back("COUNT " + std::to_string(j) + ": got " + Hex(seed) + ", expected " +
                               Hex(monte.checkpoints[j]));
            seed = monte.checkpoints[j]; // keep checking the later checkpoints on their own
        }
    }
    EXPECT_TRUE(failures.empty()) << Report(failures);
}

INSTANTIATE_TEST_SUITE_P(Files, NistMonteCarlo,
                         testing::Values(VectorFile{"SHA1/SHA1Monte.rsp", SHA1, 100},
                                         VectorFile{"SHA2/SHA224Monte.rsp", SHA224, 100},
                                         VectorFile{"SHA2/SHA256Monte.rsp", SHA256, 100},
                                         VectorFile{"SHA2/SHA384Monte.rsp", SHA384, 100},
                                         VectorFile{"SHA2/SHA512Monte.rsp", SHA512, 100}),
                         [](const testing::TestParamInfo<VectorFile>& info) {
                             return std::string(VariantOf(info.param.which).name);
                         });

} // namespace
