#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "discovery/DiscoveryLog.h"

namespace vxtest {

// Takes every discovery log line ("<level> <text>") while it lives.
class LogCapture {
public:
    LogCapture() {
        veltraxnd::DiscoveryLog::setSink(&LogCapture::sink, this);
        veltraxnd::DiscoveryLog::setMask(veltraxnd::DiscoveryLog::Errors | veltraxnd::DiscoveryLog::Packets |
                                         veltraxnd::DiscoveryLog::RawPackets);
    }
    ~LogCapture() {
        veltraxnd::DiscoveryLog::setSink(nullptr, nullptr);
        veltraxnd::DiscoveryLog::setMask(veltraxnd::DiscoveryLog::Errors);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> taken() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    bool has(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& l : lines_)
            if (l == line) return true;
        return false;
    }

private:
    static void sink(void* self, unsigned level, const char* text) {
        auto* capture = static_cast<LogCapture*>(self);
        std::lock_guard<std::mutex> lock(capture->mutex_);
        capture->lines_.push_back(std::to_string(level) + " " + text);
    }

    std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace vxtest
