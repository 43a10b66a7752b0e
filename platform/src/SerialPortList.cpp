#include "platform/SerialPortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace vxplatform {

namespace {

namespace fs = std::filesystem;

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Serial-core ports carry a "type" attribute; 0 is a port whose UART was
// never found (the 8250 driver registers such placeholders for legacy
// addresses), which no open can use.
bool isPhantomUart(const fs::path& entry) {
    std::ifstream in(entry / "type");
    if (!in) return false;
    long type = -1;
    in >> type;
    return in && type == 0;
}

}  // namespace

bool naturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t iEnd = i, jEnd = j;
            while (iEnd < a.size() && isDigit(a[iEnd])) ++iEnd;
            while (jEnd < b.size() && isDigit(b[jEnd])) ++jEnd;
            size_t iSig = i, jSig = j;
            while (iSig + 1 < iEnd && a[iSig] == '0') ++iSig;
            while (jSig + 1 < jEnd && b[jSig] == '0') ++jSig;
            const std::string_view x(a.data() + iSig, iEnd - iSig);
            const std::string_view y(b.data() + jSig, jEnd - jSig);
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            // Same value: fewer leading zeros first, so the order is total.
            if (iEnd - i != jEnd - j) return iEnd - i < jEnd - j;
            i = iEnd;
            j = jEnd;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> listSerialPorts(const std::string& ttyClassDir,
                                         const std::string& deviceDir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(ttyClassDir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        std::error_code probe;
        // Virtual terminals (tty0, console, ptmx) have no device behind them.
        if (!fs::exists(entry / "device", probe)) continue;
        if (isPhantomUart(entry)) continue;
        const std::string name = entry.filename().string();
        if (!fs::exists(fs::path(deviceDir) / name, probe)) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), naturalLess);
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const auto& name : names) paths.push_back((fs::path(deviceDir) / name).string());
    return paths;
}

std::vector<std::string> listSerialPorts() {
    return listSerialPorts("/sys/class/tty", "/dev");
}

}  // namespace vxplatform
