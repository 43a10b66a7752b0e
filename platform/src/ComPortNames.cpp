#include "platform/ComPortNames.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/SerialPortList.h"

namespace vxplatform {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kComPrefix = "COM";
constexpr std::string_view kPlatformPrefix = "/dev/ttyS";
// Far beyond any port a program offers; keeps the number's arithmetic safe.
constexpr unsigned kMaxNumber = 1000000;

// A decimal number without leading zeros ("0" itself allowed), at most
// kMaxNumber.
std::optional<unsigned> plainNumber(std::string_view digits) {
    if (digits.empty() || (digits.front() == '0' && digits.size() > 1)) return std::nullopt;
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > kMaxNumber) return std::nullopt;
    }
    return value;
}

// n of "COM<n>", from 1.
std::optional<unsigned> comNumber(std::string_view name) {
    if (name.substr(0, kComPrefix.size()) != kComPrefix) return std::nullopt;
    const auto number = plainNumber(name.substr(kComPrefix.size()));
    if (!number || *number == 0) return std::nullopt;
    return number;
}

std::string comName(unsigned number) { return std::string(kComPrefix) + std::to_string(number); }

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

// Whether two paths lead to the same device: the same character device, or
// the same file; a path that does not exist matches only itself.
bool sameDevice(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat x {};
    struct stat y {};
    if (::stat(a.c_str(), &x) != 0 || ::stat(b.c_str(), &y) != 0) return false;
    if (S_ISCHR(x.st_mode) && S_ISCHR(y.st_mode)) return x.st_rdev == y.st_rdev;
    return x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

// The COM names that could reach a device: every entry of the folder, and
// the platform's own numbering.
std::vector<std::string> candidateNames(const std::string& folder,
                                        const std::vector<std::string>& devicePaths) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (comNumber(name)) names.push_back(name);
    }
    for (const std::string& path : devicePaths) {
        if (path.substr(0, kPlatformPrefix.size()) != kPlatformPrefix) continue;
        if (const auto index = plainNumber(path.substr(kPlatformPrefix.size())))
            names.push_back(comName(*index + 1));
    }
    std::sort(names.begin(), names.end(), naturalLess);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace

std::string comPortFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base =
        (config && config[0] == '/') ? std::string(config) : homeFolder() + "/.config";
    return base + "/Veltrax/serial";
}

std::string comPortPath(std::string_view name, const std::string& folder) {
    const auto number = comNumber(name);
    if (!number) return {};
    const std::string entry = folder + "/" + std::string(name);
    struct stat info {};
    if (::lstat(entry.c_str(), &info) == 0) return entry;
    return std::string(kPlatformPrefix) + std::to_string(*number - 1);
}

std::string comPortPath(std::string_view name) {
    return comPortPath(name, comPortFolder());
}

std::vector<std::string> comPortNames(const std::vector<std::string>& devicePaths,
                                      const std::string& folder) {
    const std::vector<std::string> candidates = candidateNames(folder, devicePaths);
    std::vector<std::string> names;
    names.reserve(devicePaths.size());
    for (const std::string& path : devicePaths) {
        const auto reaching = std::find_if(
            candidates.begin(), candidates.end(),
            [&](const std::string& name) { return sameDevice(comPortPath(name, folder), path); });
        names.push_back(reaching != candidates.end() ? *reaching : path);
    }
    return names;
}

std::vector<std::string> comPortNames(const std::vector<std::string>& devicePaths) {
    return comPortNames(devicePaths, comPortFolder());
}

}  // namespace vxplatform
