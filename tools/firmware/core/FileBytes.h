#pragma once

#include <cstddef>
#include <string>

namespace vxfw::detail {

// The most bytes of a file the uploader reads: far beyond an update
// configuration, a module's firmware as hexadecimal text or a system's saved
// configuration. A longer file is no file of the uploader's; it is refused
// before anything is set aside for it.
inline constexpr size_t kMaxFileBytes = size_t{64} << 20;

enum class FileRead {
    Read,          // the bytes asked for are in the buffer
    CouldNotOpen,  // not there, not readable, a folder, or a read failed
    TooLarge,      // more than the limit: nothing read
};

// The whole content of a regular file of at most `limit` bytes. The buffer
// grows with the bytes read, never with the size the file claims, so a file
// that grows while read is still refused at the limit. A FIFO or device
// reads as empty, never blocking on it.
FileRead readWholeFile(const std::string& path, std::string& bytes, size_t limit = kMaxFileBytes);

// The first `count` bytes of a regular file (fewer when it is shorter), for
// formats whose header is all that is needed; a file longer than `limit` is
// refused all the same.
FileRead readFileStart(const std::string& path, size_t count, std::string& bytes,
                       size_t limit = kMaxFileBytes);

}  // namespace vxfw::detail
