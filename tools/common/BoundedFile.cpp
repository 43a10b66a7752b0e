#include "BoundedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/UniqueFd.h"

namespace vxfile {

namespace {

constexpr size_t kReadChunk = 64 * 1024;

// Reads until `wanted` bytes are in, the file ends, or more than `limit`
// have come; the buffer never holds more than the limit and one chunk.
FileRead readUpTo(const std::string& path, size_t wanted, size_t limit, std::string& bytes) {
    bytes.clear();
    vxplatform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) return FileRead::CouldNotOpen;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || S_ISDIR(info.st_mode)) return FileRead::CouldNotOpen;
    if (!S_ISREG(info.st_mode)) return FileRead::Read;
    if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > limit)
        return FileRead::TooLarge;
    while (bytes.size() < wanted) {
        const size_t before = bytes.size();
        const size_t step = std::min(kReadChunk, wanted - before);
        bytes.resize(before + step);
        const ssize_t got = ::read(fd.get(), bytes.data() + before, step);
        if (got < 0 && errno == EINTR) {
            bytes.resize(before);
            continue;
        }
        if (got < 0) {
            bytes.clear();
            return FileRead::CouldNotOpen;
        }
        bytes.resize(before + static_cast<size_t>(got));
        if (got == 0) break;
    }
    if (bytes.size() > limit) {
        bytes.clear();
        return FileRead::TooLarge;
    }
    return FileRead::Read;
}

}  // namespace

FileRead readWholeFile(const std::string& path, std::string& bytes, size_t limit) {
    // One byte past the limit tells a file that grew beyond it.
    const size_t wanted = limit < SIZE_MAX ? limit + 1 : limit;
    return readUpTo(path, wanted, limit, bytes);
}

FileRead readFileStart(const std::string& path, size_t count, std::string& bytes, size_t limit) {
    return readUpTo(path, count, limit, bytes);
}

}  // namespace vxfile
