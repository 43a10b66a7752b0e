#include "sim/Gen2NetworkDevice.h"

#include <cerrno>
#include <system_error>

namespace vxsim {

Gen2NetworkDevice::Gen2NetworkDevice(const std::string& address, DiscoveryIdentity identity,
                                     std::chrono::milliseconds downtime, uint16_t tcpPort)
    : downtime_(downtime) {
    TcpServer& port = sim_.serveTcp(address, tcpPort);
    locator_ = port.locator();
    identity.port = port.port();
    sim_.model().define({0, gen2key::kSerialNumber}, identity.serialNumber, true);
    discovery_ = std::make_unique<DiscoveryDevice>(address, identity);
    if (!thread_.start([this] { run(); },
                       [this] {
                           std::lock_guard<std::mutex> lock(mutex_);
                           changed_.notify_all();
                       }))
        throw std::system_error(EAGAIN, std::generic_category(), "restart thread");
    // Called on the port's thread inside the endpoint: the restart, which
    // stops that thread, runs on this device's own.
    sim_.endpoint().setRestartOnReset([this] {
        std::lock_guard<std::mutex> lock(mutex_);
        ++requested_;
        changed_.notify_all();
    });
}

Gen2NetworkDevice::~Gen2NetworkDevice() {
    sim_.endpoint().setRestartOnReset(nullptr);
    thread_.stop();
}

void Gen2NetworkDevice::setAnnounce(bool announce) {
    std::lock_guard<std::mutex> lock(mutex_);
    announce_ = announce;
}

size_t Gen2NetworkDevice::restarts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return restarts_;
}

bool Gen2NetworkDevice::waitRestarts(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return restarts_ >= count; });
}

void Gen2NetworkDevice::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return requested_ > 0 || thread_.stopRequested(); });
        if (thread_.stopRequested()) return;
        --requested_;
        lock.unlock();
        sim_.refuseTcp();
        lock.lock();
        // The controller is down for this long; a stop cuts it short.
        changed_.wait_for(lock, downtime_, [&] { return thread_.stopRequested(); });
        const bool announce = announce_;
        lock.unlock();
        sim_.acceptTcp();
        if (announce) discovery_->sendInform();
        lock.lock();
        ++restarts_;
        changed_.notify_all();
    }
}

}  // namespace vxsim
