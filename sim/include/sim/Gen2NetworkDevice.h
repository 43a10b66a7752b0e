#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/OwnedThread.h"
#include "sim/DiscoveryDevice.h"
#include "sim/Gen2Simulator.h"

namespace vxsim {

// A networked second-generation controller: the simulator's TCP port on one
// interface address and its discovery identity on the same interface, with
// the identity's serial number in the serial number property. A device
// reset restarts it as such a controller does: the connection drops without
// a ready frame, connections are refused for the downtime, then it serves
// its port again and announces itself by discovery (unless told not to).
//
// Make it on a thread of the network namespace it is to live in: its
// sockets and its restart thread (owned and joined here) start there.
class Gen2NetworkDevice {
public:
    // Serves `port` (0: any free one) and announces it. Throws
    // std::system_error.
    Gen2NetworkDevice(const std::string& address, DiscoveryIdentity identity,
                      std::chrono::milliseconds downtime = std::chrono::milliseconds(200), uint16_t port = 0);
    ~Gen2NetworkDevice();
    Gen2NetworkDevice(const Gen2NetworkDevice&) = delete;
    Gen2NetworkDevice& operator=(const Gen2NetworkDevice&) = delete;

    Gen2Simulator& sim() { return sim_; }
    Gen2Endpoint& endpoint() { return sim_.endpoint(); }
    DiscoveryDevice& discovery() { return *discovery_; }
    // "network:" address ":" port.
    std::string locator() const { return locator_; }

    // Whether a restart ends with an announcement; true at first.
    void setAnnounce(bool announce);
    size_t restarts() const;
    bool waitRestarts(size_t count, std::chrono::milliseconds timeout) const;

private:
    void run();

    Gen2Simulator sim_;
    std::unique_ptr<DiscoveryDevice> discovery_;
    std::string locator_;
    const std::chrono::milliseconds downtime_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool announce_ = true;
    size_t requested_ = 0;
    size_t restarts_ = 0;
    // Last: stopped before the rest goes.
    vxplatform::OwnedThread thread_;
};

}  // namespace vxsim
