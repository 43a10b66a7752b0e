#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace vxtest {

// A file that starts with `start` and then claims a tebibyte: a hole that
// takes no disk and reads as zeros. False when it could not be made.
inline bool writeSparseTebibyte(const std::string& path, const std::string& start) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const auto length = static_cast<ssize_t>(start.size());
    const bool written =
        ::write(fd, start.data(), start.size()) == length && ::ftruncate(fd, off_t{1} << 40) == 0;
    return ::close(fd) == 0 && written;
}

}  // namespace vxtest
