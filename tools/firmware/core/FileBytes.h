#pragma once

#include <string>

namespace vxfw::detail {

// The whole content of a regular file, as many bytes as its size gives.
// False when it cannot be opened or read (a folder among them); a FIFO or
// device reads as empty, never blocking on it.
bool readWholeFile(const std::string& path, std::string& bytes);

}  // namespace vxfw::detail
