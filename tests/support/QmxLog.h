#pragma once

// Collects what QMXControl hands its log handler, with the log file off.
// One collector per test program; header-only, since only the programs that
// link QMXControl use it.

#include <mutex>
#include <string>
#include <vector>

#include "QMXControl.h"

namespace vxtest {

class QmxLog {
public:
    // Sets the handler and turns the log file off; the level is the caller's.
    static void attach() {
        VX_SetLogProperty(1000, 0);
        VX_SetLogHandler(&QmxLog::handle);
        clear();
    }
    static void detach() {
        VX_SetLogLevel(0);
        VX_SetLogHandler(nullptr);
    }
    static void clear() {
        std::lock_guard<std::mutex> lock(mutex());
        store().clear();
    }
    static std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(mutex());
        return store();
    }
    static std::vector<std::string> take() {
        std::lock_guard<std::mutex> lock(mutex());
        std::vector<std::string> taken;
        taken.swap(store());
        return taken;
    }
    static std::vector<std::string> containing(const std::string& part) {
        std::vector<std::string> found;
        for (std::string& line : lines())
            if (line.find(part) != std::string::npos) found.push_back(std::move(line));
        return found;
    }

private:
    static void handle(const char* message, unsigned int) {
        std::lock_guard<std::mutex> lock(mutex());
        store().emplace_back(message);
    }
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& store() {
        static std::vector<std::string> lines;
        return lines;
    }
};

}  // namespace vxtest
