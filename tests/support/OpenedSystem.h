#pragma once

#include <chrono>
#include <string>

#include "QMXControl.h"

namespace vxtest {

constexpr VX_SystemIndex kNoIndex = 0xFFFFFFFF;

// A system opened through the public interface; closed when the test ends.
class OpenedSystem {
public:
    OpenedSystem() = default;
    OpenedSystem(const OpenedSystem&) = delete;
    OpenedSystem& operator=(const OpenedSystem&) = delete;
    ~OpenedSystem() { close(); }

    VX_STATUS open(const std::string& locator, const char* options = nullptr) {
        close();
        return VX_OpenSystem(&index_, locator.c_str(), options);
    }
    VX_STATUS open(const std::string& locator, const std::string& options) {
        return open(locator, options.c_str());
    }
    // 5 when nothing is open.
    VX_STATUS close() {
        if (index_ == kNoIndex) return 5;
        const VX_STATUS status = VX_CloseSystem(index_);
        index_ = kNoIndex;
        return status;
    }
    // Takes over a system opened elsewhere.
    void adopt(VX_SystemIndex index) {
        close();
        index_ = index;
    }
    VX_SystemIndex index() const { return index_; }
    operator VX_SystemIndex() const { return index_; }

private:
    VX_SystemIndex index_ = kNoIndex;
};

inline std::chrono::milliseconds elapsedSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

}  // namespace vxtest
