#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "FtdiDouble.h"
#include "ftdi/FtdiApi.h"

namespace vxftdi {

class Bridge;

// One simulated adapter (one channel of a chip).
struct Adapter {
    int id = 0;
    std::string serial;
    std::string description;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint32_t chipId = 0;
    uint32_t type = 0;
    uint32_t flags = 0;  // kFtdiFlagHighSpeed; kFtdiFlagOpened = held by another program
    uint32_t locationId = 0;
    std::vector<uint8_t> userArea;
    size_t userAreaSize = 0;

    bool listed = true;
    VxFtdiLineState line{};
    std::deque<uint8_t> received;  // for the host to read
    std::deque<uint8_t> written;   // from the host, taken by no peer
    size_t writeLimit = SIZE_MAX;
    uint32_t readSkew = 0;
    uint32_t writeSkew = 0;

    std::optional<VxFtdiPeer> peer;
    // One peer call at a time; recursive so that a peer may detach itself.
    std::recursive_mutex peerCalls;
    std::unique_ptr<Bridge> bridge;

    ~Adapter();
};

// One open handle.
struct Session {
    uint64_t number = 0;
    std::shared_ptr<Adapter> adapter;
    bool ready = false;  // false while the peer is still being told
    bool lost = false;
    bool stalled = false;  // its writes take nothing
    FtdiEventRecord* event = nullptr;
    uint32_t eventMask = 0;
    int signalling = 0;  // event records being signalled right now
};

// The whole simulated driver: every adapter and handle of the process, one
// lock. The lock is never held while a peer or an event record is touched,
// so the host may call the driver while it holds its event record's mutex.
class Driver {
public:
    static Driver& instance();

    // Logs the call and gives the injected failure, if one is due.
    std::optional<FtdiStatus> enter(const char* function, const std::string& arguments);

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::shared_ptr<Adapter>> adapters;  // in list order
    // What the last FT_CreateDeviceInfoList counted; FT_GetDeviceInfoList
    // fills exactly that many nodes.
    std::vector<std::shared_ptr<Adapter>> listSnapshot;
    std::map<uint64_t, std::shared_ptr<Session>> sessions;

    // Control interface.
    void reset();
    int addAdapter(const VxFtdiAdapterSpec& spec);
    int addFromText(const std::string& text);
    int addBridgedAdapter(const VxFtdiAdapterSpec& spec, const std::string& host, uint16_t port, bool paced);
    int unplug(int adapter);
    int dropConnection(int adapter);
    int attachPeer(int adapter, const VxFtdiPeer* peer);
    int pushReceived(int adapter, const uint8_t* data, size_t length);
    void failCall(const std::string& function, FtdiStatus status, int count);
    void clearFaults();
    std::string callLog();
    void clearCallLog();

    // Helpers for the driver functions; the caller holds `mutex` unless said.
    std::shared_ptr<Adapter> findAdapter(int id);
    std::shared_ptr<Session> findSession(FtdiHandle handle);
    std::shared_ptr<Session> openSession(const std::shared_ptr<Adapter>& adapter,
                                         std::unique_lock<std::mutex>& lock, FtdiStatus* status);
    // Called without `mutex`.
    FtdiStatus closeSession(FtdiHandle handle);
    void deliverWritten(const std::shared_ptr<Adapter>& adapter, const uint8_t* data,
                        size_t length);
    static FtdiHandle handleOf(uint64_t number);

private:
    Driver() = default;

    struct Fault {
        FtdiStatus status;
        int remaining;  // negative: until cleared
    };

    int nextAdapterId_ = 1;
    uint64_t nextSession_ = 1;
    std::map<std::string, Fault> faults_;
    std::deque<std::string> log_;
};

// Serial numbers and descriptions fit the driver's node fields.
constexpr size_t kSerialCapacity = sizeof(FtdiDeviceInfoNode::serialNumber);
constexpr size_t kDescriptionCapacity = sizeof(FtdiDeviceInfoNode::description);

}  // namespace vxftdi
