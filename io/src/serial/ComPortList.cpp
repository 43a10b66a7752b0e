#include "serial/ComPortList.h"

#include <mutex>
#include <utility>

#include "platform/SerialPort.h"
#include "platform/SerialPortList.h"

namespace vxio {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kCacheLifetime = std::chrono::seconds(3);

struct SourceSlot {
    std::mutex mutex;
    ComPortSource source;
};

SourceSlot& sourceSlot() {
    static SourceSlot slot;
    return slot;
}

ComPortSource currentSource() {
    SourceSlot& slot = sourceSlot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.source;
}

Clock::time_point now() {
    const ComPortSource source = currentSource();
    return source.now ? source.now() : Clock::now();
}

// The serial list mutex guards only this; reading and probing the ports
// happen outside it.
struct Cache {
    std::mutex mutex;
    std::vector<ComPortEntry> entries;
    Clock::time_point readAt;
    bool read = false;
};

Cache& cache() {
    static Cache instance;
    return instance;
}

}  // namespace

void setComPortSource(ComPortSource source) {
    {
        SourceSlot& slot = sourceSlot();
        std::lock_guard<std::mutex> lock(slot.mutex);
        slot.source = std::move(source);
    }
    Cache& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.entries.clear();
    c.read = false;
}

std::vector<ComPortEntry> readComPorts() {
    const ComPortSource source = currentSource();
    const std::vector<std::string> names =
        source.listPorts ? source.listPorts() : vxplatform::listSerialPorts();
    std::vector<ComPortEntry> entries;
    entries.reserve(names.size());
    for (const std::string& name : names) {
        entries.push_back({name, vxplatform::isSerialPortAvailable(name)});
    }
    return entries;
}

void refreshComPortCache(bool force) {
    Cache& c = cache();
    if (!force) {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (c.read && now() - c.readAt <= kCacheLifetime) return;
    }
    std::vector<ComPortEntry> entries = readComPorts();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.entries = std::move(entries);
    c.readAt = now();
    c.read = true;
}

std::vector<ComPortEntry> cachedComPorts() {
    Cache& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.entries;
}

}  // namespace vxio
