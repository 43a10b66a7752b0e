#include "platform/ModulePath.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

namespace vxplatform {

namespace {

std::string executablePath() {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

std::string absolutePath(const char* path) {
    char* resolved = ::realpath(path, nullptr);
    if (!resolved) return path;
    std::string result(resolved);
    ::free(resolved);
    return result;
}

}  // namespace

std::string executableDirectory() { return directoryOf(executablePath()); }

std::string modulePath(const void* address) {
    Dl_info info{};
    link_map* map = nullptr;
    if (::dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0) return {};
    // The main program has an empty name in its link map; dladdr would give
    // argv[0] instead, which may be relative to a directory since left.
    if (!map || !map->l_name || map->l_name[0] == '\0') return executablePath();
    if (map->l_name[0] == '/') return map->l_name;
    return absolutePath(map->l_name);
}

std::string moduleDirectory(const void* address) { return directoryOf(modulePath(address)); }

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string openInFirstFolder(const std::vector<std::string>& folders, const std::string& name,
                              std::ifstream& in) {
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        const std::string path = joinPath(folder, name);
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) continue;
        in.open(path);
        if (in.is_open()) return folder;
    }
    return {};
}

}  // namespace vxplatform
