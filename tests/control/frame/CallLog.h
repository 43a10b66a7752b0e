#pragma once

// The call and return lines of the export frame, with logging at level 2 and
// arguments on.

#include <string>
#include <vector>

#include "QMXControl.h"
#include "support/QmxLog.h"

namespace vxtest {

class CallLog {
public:
    static void start() {
        VX_SetLogFilter(2);
        QmxLog::attach();
        // From level 0, so that the level change starts afresh.
        VX_SetLogLevel(0);
        VX_SetLogLevel(2);
        QmxLog::clear();
    }
    static void stop() {
        QmxLog::detach();
        VX_SetLogFilter(2);
    }
    static void clear() { QmxLog::clear(); }
    static std::vector<std::string> take() {
        std::vector<std::string> calls;
        for (std::string& line : QmxLog::take())
            if (line.rfind("call [", 0) == 0 || line.rfind("return [", 0) == 0)
                calls.push_back(std::move(line));
        return calls;
    }
};

}  // namespace vxtest
