// The control interface that tests and the simulator use.
#include <algorithm>
#include <cstring>

#include "Driver.h"

using vxftdi::Adapter;
using vxftdi::Driver;

namespace {

void reset() { Driver::instance().reset(); }

int addAdapter(const VxFtdiAdapterSpec* spec) {
    return spec ? Driver::instance().addAdapter(*spec) : 0;
}

int addDualAdapter(const VxFtdiAdapterSpec* spec, int* channelB) {
    if (!spec) return 0;
    const std::string serial = spec->serial ? spec->serial : "";
    const std::string description = spec->description ? spec->description : "";
    VxFtdiAdapterSpec channel = *spec;
    channel.type = VXFTDI_TYPE_DUAL_HS;
    channel.flags |= VXFTDI_FLAG_HIGH_SPEED;
    const std::string serialA = serial + "A";
    const std::string descriptionA = description + " A";
    channel.serial = serialA.c_str();
    channel.description = descriptionA.c_str();
    const int a = Driver::instance().addAdapter(channel);
    const std::string serialB = serial + "B";
    const std::string descriptionB = description + " B";
    channel.serial = serialB.c_str();
    channel.description = descriptionB.c_str();
    channel.chipId = spec->chipId ? spec->chipId + 1 : 0;
    const int b = Driver::instance().addAdapter(channel);
    if (channelB) *channelB = b;
    return a;
}

int addFromText(const char* text) { return text ? Driver::instance().addFromText(text) : -1; }
int addBridgedAdapter(const VxFtdiAdapterSpec* spec, const char* host, uint16_t port) {
    if (!spec || !host || !*host || port == 0) return 0;
    return Driver::instance().addBridgedAdapter(*spec, host, port, false);
}
int unplug(int adapter) { return Driver::instance().unplug(adapter); }
int dropConnection(int adapter) { return Driver::instance().dropConnection(adapter); }
int attachPeer(int adapter, const VxFtdiPeer* peer) {
    return Driver::instance().attachPeer(adapter, peer);
}
int pushReceived(int adapter, const uint8_t* data, size_t length) {
    if (!data && length) return -1;
    return Driver::instance().pushReceived(adapter, data, length);
}

// Runs `body` on the adapter under the driver's lock; -1 for an unknown id.
template <typename Body>
int withAdapter(int id, Body body) {
    Driver& driver = Driver::instance();
    std::lock_guard<std::mutex> lock(driver.mutex);
    std::shared_ptr<Adapter> adapter = driver.findAdapter(id);
    if (!adapter) return -1;
    body(*adapter);
    driver.changed.notify_all();
    return 0;
}

size_t takeWritten(int id, uint8_t* buffer, size_t capacity) {
    size_t taken = 0;
    withAdapter(id, [&](Adapter& adapter) {
        taken = std::min(capacity, adapter.written.size());
        std::copy_n(adapter.written.begin(), taken, buffer);
        adapter.written.erase(adapter.written.begin(),
                              adapter.written.begin() + static_cast<ptrdiff_t>(taken));
    });
    return taken;
}

int setUserArea(int id, const uint8_t* data, size_t length, size_t size) {
    return withAdapter(id, [&](Adapter& adapter) {
        adapter.userArea.assign(data, data + (data ? length : 0));
        adapter.userAreaSize = size ? size : std::max<size_t>(64, length);
        adapter.userArea.resize(std::max(adapter.userArea.size(), adapter.userAreaSize), 0);
    });
}

void failCall(const char* function, uint32_t status, int count) {
    if (function) Driver::instance().failCall(function, status, count);
}
void clearFaults() { Driver::instance().clearFaults(); }

int setWriteLimit(int id, size_t maxPerCall) {
    return withAdapter(id, [&](Adapter& adapter) { adapter.writeLimit = maxPerCall; });
}

int stallOpenHandles(int id) {
    Driver& driver = Driver::instance();
    std::lock_guard<std::mutex> lock(driver.mutex);
    std::shared_ptr<Adapter> adapter = driver.findAdapter(id);
    if (!adapter) return -1;
    for (auto& [number, session] : driver.sessions)
        if (session->adapter == adapter) session->stalled = true;
    return 0;
}

int setCountSkew(int id, uint32_t readExtra, uint32_t writeExtra) {
    return withAdapter(id, [&](Adapter& adapter) {
        adapter.readSkew = readExtra;
        adapter.writeSkew = writeExtra;
    });
}

int lineState(int id, VxFtdiLineState* state) {
    if (!state) return -1;
    Driver& driver = Driver::instance();
    std::lock_guard<std::mutex> lock(driver.mutex);
    std::shared_ptr<Adapter> adapter = driver.findAdapter(id);
    if (!adapter) return -1;
    *state = adapter->line;
    state->openHandles = 0;
    for (auto& [number, session] : driver.sessions) {
        if (session->adapter == adapter) ++state->openHandles;
    }
    return 0;
}

int openHandleCount() {
    Driver& driver = Driver::instance();
    std::lock_guard<std::mutex> lock(driver.mutex);
    return static_cast<int>(driver.sessions.size());
}

size_t callLog(char* buffer, size_t capacity) {
    const std::string text = Driver::instance().callLog();
    if (buffer && capacity > text.size()) std::memcpy(buffer, text.c_str(), text.size() + 1);
    return text.size();
}

void clearCallLog() { Driver::instance().clearCallLog(); }

const VxFtdiDoubleApi kApi = {
    1,
    reset,
    addAdapter,
    addDualAdapter,
    addFromText,
    unplug,
    dropConnection,
    attachPeer,
    pushReceived,
    takeWritten,
    setUserArea,
    failCall,
    clearFaults,
    setWriteLimit,
    setCountSkew,
    lineState,
    openHandleCount,
    callLog,
    clearCallLog,
    addBridgedAdapter,
    stallOpenHandles,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const VxFtdiDoubleApi* VXFTDI_GetApi(void) {
    return &kApi;
}
