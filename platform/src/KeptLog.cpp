#include "platform/KeptLog.h"

#include <cerrno>

#include "platform/ModulePath.h"

namespace vxplatform {

namespace {

// Far more starts within one second than any program makes.
constexpr int kMaxAttempts = 1000;

}  // namespace

std::FILE* createKeptLog(const std::string& folder, const std::string& stem, std::string* path) {
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        const std::string name = attempt == 1 ? stem : stem + "_" + std::to_string(attempt);
        // "x": fails with EEXIST instead of truncating a log kept earlier.
        const std::string candidate = joinPath(folder, name + ".log");
        std::FILE* file = std::fopen(candidate.c_str(), "wxe");
        if (file && path) *path = candidate;
        if (file || errno != EEXIST) return file;
    }
    return nullptr;
}

}  // namespace vxplatform
