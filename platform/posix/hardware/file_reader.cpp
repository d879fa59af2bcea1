#include "file_reader.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace platform::hardware {

namespace {

FileContent::Status OpenFailure(int error)
{
    if (error == ENOENT || error == ENOTDIR) {
        return FileContent::Status::Missing;
    }
    if (error == EACCES || error == EPERM) {
        return FileContent::Status::Denied;
    }
    return FileContent::Status::Failed;
}

class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { ::close(descriptor_); }

    int Get() const { return descriptor_; }

private:
    int descriptor_;
};

} // namespace

FileContent FileReader::Read(const std::filesystem::path& path) const
{
    int descriptor = -1;
    do {
        descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        return {OpenFailure(errno), {}, errno};
    }
    const Descriptor file(descriptor);
    std::string bytes(maxBytes, '\0');
    std::size_t size = 0;
    while (size < maxBytes) {
        const ssize_t count = ::read(file.Get(), bytes.data() + size, maxBytes - size);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return {FileContent::Status::Failed, {}, errno};
        }
        if (count == 0) {
            break;
        }
        size += static_cast<std::size_t>(count);
    }
    bytes.resize(size);
    return {FileContent::Status::Read, std::move(bytes)};
}

} // namespace platform::hardware
