#pragma once

#include <fstream>
#include <string>
#include <vector>

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

// Opens `name` in the first of `folders` (empty ones skipped) that holds it
// as a regular file and returns that folder; empty when none does. The
// current directory is never changed.
std::string openInFirstFolder(const std::vector<std::string>& folders, const std::string& name,
                              std::ifstream& in);

}  // namespace vxplatform
