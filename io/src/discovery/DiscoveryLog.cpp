#include "discovery/DiscoveryLog.h"

#include <atomic>
#include <mutex>

namespace veltraxnd {

namespace {

std::atomic<unsigned> logMask{DiscoveryLog::Errors};
std::atomic<DiscoveryLogSink> logSink{nullptr};
void* logContext = nullptr;  // guarded by sinkMutex()

// Held while a sink runs, so that setSink waits for a running call.
std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

void DiscoveryLog::setSink(DiscoveryLogSink sink, void* context) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    logContext = context;
    logSink.store(sink);
}

void DiscoveryLog::setMask(unsigned mask) { logMask.store(mask); }

unsigned DiscoveryLog::mask() { return logMask.load(); }

bool DiscoveryLog::enabled(unsigned level) {
    return (logMask.load() & level) != 0 && logSink.load() != nullptr;
}

void DiscoveryLog::write(unsigned level, const std::string& text) {
    if (!enabled(level)) return;
    std::lock_guard<std::mutex> lock(sinkMutex());
    if (DiscoveryLogSink sink = logSink.load()) sink(logContext, level, text.c_str());
}

}  // namespace veltraxnd
