#pragma once

#include <string>
#include <vector>

#include "discovery/Packet.h"

namespace vxtest {

struct DeviceAnswer {
    std::string serial = "SN-1";
    uint16_t port = 2000;
    bool available = true;
    uint32_t deviceType = 0x20001;
    uint8_t protocolId = 1;
    std::string info = "stage controller";
    uint8_t opCode = veltraxnd::OpDiscoverReply;
    veltraxnd::TokenBytes token{};
};

inline std::vector<uint8_t> discoverDatagram(const DeviceAnswer& a) {
    veltraxnd::VX_ND_Packet p;
    p.OpCode = a.opCode;
    p.DeviceType = a.deviceType;
    p.SerialNumber = a.serial;
    p.Token = a.token;
    p.Data = veltraxnd::encodeDiscover({a.protocolId, a.available, a.port, a.info});
    return veltraxnd::encodePacket(p);
}

inline std::vector<uint8_t> answerDatagram(uint8_t opCode, const veltraxnd::TokenBytes& token,
                                           std::vector<uint8_t> data) {
    veltraxnd::VX_ND_Packet p;
    p.OpCode = opCode;
    p.Token = token;
    p.Data = std::move(data);
    return veltraxnd::encodePacket(p);
}

inline veltraxnd::VX_ND_Packet decoded(const std::vector<uint8_t>& bytes) {
    veltraxnd::VX_ND_Packet p;
    veltraxnd::decodePacket(bytes, p);
    return p;
}

}  // namespace vxtest

#include <condition_variable>
#include <functional>
#include <mutex>

#include "discovery/Host.h"

namespace vxtest {

// The message of the exception of type E that `call` throws.
template <typename E>
std::string messageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const E& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

// What a discover listener was given, in order.
class InfoLog {
public:
    void add(const veltraxnd::DiscoverInfo& info) {
        std::lock_guard<std::mutex> lock(mutex_);
        infos_.push_back(info);
        changed_.notify_all();
    }
    bool wait(size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return infos_.size() >= count; });
    }
    std::vector<veltraxnd::DiscoverInfo> infos() {
        std::lock_guard<std::mutex> lock(mutex_);
        return infos_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<veltraxnd::DiscoverInfo> infos_;
};

}  // namespace vxtest
