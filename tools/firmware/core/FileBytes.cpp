#include "FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/UniqueFd.h"

namespace vxfw::detail {

bool readWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    vxplatform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) return false;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    if (!S_ISREG(info.st_mode)) return true;
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;  // the file shrank while it was read
        filled += static_cast<size_t>(got);
    }
    bytes.resize(filled);
    return true;
}

}  // namespace vxfw::detail
