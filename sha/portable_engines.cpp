// The engine set of builds for processors other than x86-64 and 64-bit ARM, and of the
// portable variant that the tests and the benchmark build: the portable engines alone.
#include "sha_engines.h"

#include <cstdint>

namespace {

constexpr sha_engines::Implementation<std::uint32_t> SHA1Engines[] = {
    sha_engines::SHA1Portable,
};
constexpr sha_engines::Implementation<std::uint32_t> SHA224_256Engines[] = {
    sha_engines::SHA224_256Portable,
};
constexpr sha_engines::Implementation<std::uint64_t> SHA384_512Engines[] = {
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
    return engine == Engine::Portable;
}
