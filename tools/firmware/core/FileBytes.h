#pragma once

#include <cstddef>
#include <string>

#include "BoundedFile.h"

namespace vxfw::detail {

// The most bytes of a file the uploader reads: far beyond an update
// configuration, a module's firmware as hexadecimal text or a system's saved
// configuration. A longer file is no file of the uploader's; it is refused
// before anything is set aside for it.
inline constexpr size_t kMaxFileBytes = size_t{64} << 20;

using vxfile::FileRead;

inline FileRead readWholeFile(const std::string& path, std::string& bytes,
                              size_t limit = kMaxFileBytes) {
    return vxfile::readWholeFile(path, bytes, limit);
}

inline FileRead readFileStart(const std::string& path, size_t count, std::string& bytes,
                              size_t limit = kMaxFileBytes) {
    return vxfile::readFileStart(path, count, bytes, limit);
}

}  // namespace vxfw::detail
