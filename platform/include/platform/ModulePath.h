#pragma once

#include <string>

namespace vxplatform {

// Folder of the running program's executable file, without a trailing
// slash; empty when it cannot be read.
std::string executableDirectory();

// Full path of the loaded file (shared library or the executable itself)
// that contains `address`; empty when the address belongs to no file.
std::string modulePath(const void* address);

// Folder of that file, without a trailing slash; empty when unknown.
std::string moduleDirectory(const void* address);

// Everything before the last '/'; empty when there is none. "/x" gives "/".
std::string directoryOf(const std::string& path);

// `folder` + "/" + `name`, without doubling a slash the folder ends with.
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace vxplatform
