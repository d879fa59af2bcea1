// How the hardware provider reads its files. Tests derive from FileReader to make chosen
// reads fail, since they run as root, where file modes deny nothing.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace platform::hardware {

struct FileContent {
    enum class Status { Read, Missing, Denied, Failed };

    Status status = Status::Missing;
    std::string bytes;
    int error = 0; // errno of a failed open or read
};

class FileReader {
public:
    // A file may be anything a hostile tree puts there; nothing the provider reads is
    // anywhere near this long.
    static constexpr std::size_t maxBytes = std::size_t{64} * 1024;

    FileReader() = default;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    virtual ~FileReader() = default;

    // At most maxBytes from the start of the file. Never blocks on a FIFO.
    virtual FileContent Read(const std::filesystem::path& path) const;
};

} // namespace platform::hardware
