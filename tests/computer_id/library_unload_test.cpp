// The shared library of the C interface loaded, used and unloaded over and over, as plug-in
// hosts do: every cycle gives the same ID and leaves no memory behind.
#include <computer_id/c_interface.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include <dlfcn.h>
#include <malloc.h>

namespace {

// Loads the library, gets the ID through it and unloads it; "" when a step fails.
std::string IdFromALoadedLibrary()
{
    void* library = dlopen(COMPUTER_ID_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    const auto get = reinterpret_cast<decltype(&computer_id_get)>(
        library != nullptr ? dlsym(library, "computer_id_get") : nullptr);
    char id[COMPUTER_ID_MAX_SIZE] = "";
    const bool got = get != nullptr && get(id, sizeof id, nullptr, 0) == COMPUTER_ID_OK;
    return library != nullptr && dlclose(library) == 0 && got ? id : "";
}

TEST(LibraryUnloadTest, EachCycleGivesTheIdAndLeavesNothing)
{
    const std::string id = IdFromALoadedLibrary();
    ASSERT_NE(id, "");
    // Unloaded for real: a library that stays would hide what a cycle loses.
    std::ifstream maps("/proc/self/maps");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(maps), {}).find(COMPUTER_ID_LIBRARY),
              std::string::npos);
    // Memory in use as malloc counts it, once the loader's own tables have grown (in the
    // first 20 cycles or so); a lost machine provider was 2.4 KB a cycle. Memcheck and the
    // sanitizers replace malloc, count nothing here and report a lost block themselves.
    for (int cycle = 0; cycle < 40; ++cycle)
        ASSERT_EQ(IdFromALoadedLibrary(), id);
    const std::size_t before = mallinfo2().uordblks;
    for (int cycle = 0; cycle < 100; ++cycle)
        ASSERT_EQ(IdFromALoadedLibrary(), id);
    EXPECT_LE(mallinfo2().uordblks, before + 16384);
}

} // namespace
