#pragma once

// Collects the call and return lines of the export frame through the log
// handler, with logging at level 2, arguments on and no log file.

#include <mutex>
#include <string>
#include <vector>

#include "QMXControl.h"

namespace vxtest {

class CallLog {
public:
    static void start() {
        VX_SetLogProperty(1000, 0);
        VX_SetLogHandler(&CallLog::handler);
        VX_SetLogFilter(2);
        VX_SetLogLevel(0);
        VX_SetLogLevel(2);
        clear();
    }
    static void stop() {
        VX_SetLogLevel(0);
        VX_SetLogHandler(nullptr);
        VX_SetLogFilter(2);
    }
    static void clear() {
        std::lock_guard<std::mutex> lock(mutex());
        lines().clear();
    }
    static std::vector<std::string> take() {
        std::lock_guard<std::mutex> lock(mutex());
        std::vector<std::string> taken;
        taken.swap(lines());
        return taken;
    }

private:
    static void handler(const char* message, unsigned int) {
        const std::string text(message);
        if (text.rfind("call [", 0) != 0 && text.rfind("return [", 0) != 0) return;
        std::lock_guard<std::mutex> lock(mutex());
        lines().push_back(text);
    }
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> l;
        return l;
    }
};

}  // namespace vxtest
