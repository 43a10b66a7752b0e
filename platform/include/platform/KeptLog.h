#pragma once

#include <cstdio>
#include <string>

namespace vxplatform {

// Creates `folder`/`stem`.log for writing, never opening an existing file:
// when that name is taken (two starts within the second that names a kept
// log), `stem`_2.log, `stem`_3.log and so on. Null when no file could be
// created. `path`, when given, receives the full path of the file made.
std::FILE* createKeptLog(const std::string& folder, const std::string& stem,
                         std::string* path = nullptr);

}  // namespace vxplatform
