// A scratch folder that stands in for a machine's root (/sys, /proc) under the hardware
// provider, and a file reader that fails where a user without root fails.
#pragma once

#include <platform/posix/hardware/file_reader.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include <stdlib.h>

namespace test_support {

// A fresh folder under the system's temporary folder, removed with everything in it.
class FakeTree {
public:
    FakeTree()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "computer-id-tree-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "mkdtemp");
        }
        root_ = pattern;
    }
    ~FakeTree()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    FakeTree(const FakeTree&) = delete;
    FakeTree& operator=(const FakeTree&) = delete;

    // Writes a file below the root, making the folders above it.
    void Write(const std::string& relative, const std::string& bytes) const
    {
        const std::filesystem::path path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // An SMBIOS attribute as the kernel shows it under sys/class/dmi/id.
    void Dmi(const std::string& attribute, const std::string& bytes) const
    {
        Write("sys/class/dmi/id/" + attribute, bytes);
    }
    const std::filesystem::path& Root() const { return root_; }

private:
    std::filesystem::path root_;
};

// Answers the named files with a chosen failure, as for root-only files read by a user.
class FailingReader final : public platform::hardware::FileReader {
public:
    using FileContent = platform::hardware::FileContent;

    FailingReader(std::set<std::string> names, FileContent::Status status)
        : names_(std::move(names)), status_(status)
    {
    }

    FileContent Read(const std::filesystem::path& path) const override
    {
        if (names_.contains(path.filename().string())) {
            return {status_, {}};
        }
        return FileReader::Read(path);
    }

private:
    std::set<std::string> names_;
    FileContent::Status status_;
};

} // namespace test_support
