#pragma once

// A second-generation controller of the simulator, reached by one of its
// carriers, and the library's device object that opens it.

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "FtdiDouble.h"
#include "VeltraxControlPrivate"
#include "device/Device.h"
#include "sim/Gen2Simulator.h"
#include "support/Wait.h"

namespace ctltest {

using namespace std::chrono_literals;

enum class Carrier { Tcp, Usb, Serial };

inline const char* carrierText(Carrier carrier) {
    switch (carrier) {
    case Carrier::Tcp:
        return "Tcp";
    case Carrier::Usb:
        return "Usb";
    case Carrier::Serial:
        return "Serial";
    }
    return "?";
}

inline void PrintTo(Carrier carrier, std::ostream* out) { *out << carrierText(carrier); }

inline constexpr const char* kSerialOptions = "baudrate 115200";

// The simulator behind one carrier, with the locator and the caller's
// options that reach it.
class SimulatedController {
public:
    explicit SimulatedController(Carrier carrier) : carrier_(carrier) {
        switch (carrier) {
        case Carrier::Tcp:
            sim_.serveTcp();
            locator_ = sim_.tcpLocator();
            break;
        case Carrier::Usb: {
            // An adapter of its own, never one an earlier test unplugged.
            static std::atomic<uint32_t> next{0x6D000001};
            const uint32_t id = next++;
            serial_ = "CD" + std::to_string(id & 0xFFFF);
            sim_.attachUsb({serial_, "Veltrax QMX2", id});
            locator_ = "usb:sn:" + serial_;
            break;
        }
        case Carrier::Serial:
            locator_ = "serial:" + sim_.servePty().devicePath();
            options_ = kSerialOptions;
            break;
        }
    }

    vxsim::Gen2Simulator& sim() { return sim_; }
    vxsim::Gen2Endpoint& endpoint() { return sim_.endpoint(); }
    const std::string& locator() const { return locator_; }
    const std::string& options() const { return options_; }
    Carrier carrier() const { return carrier_; }

    // Whether the host holds no connection to the controller any more. A
    // serial line has no connection to count: the port is opened
    // exclusively, so a free port is one the host let go.
    bool released() {
        switch (carrier_) {
        case Carrier::Tcp:
            return vxtest::waitUntil([&] { return sim_.endpoint().connections() == 0; }, 5000ms);
        case Carrier::Usb:
            return vxtest::waitUntil([&] { return sim_.usb().api().openHandleCount() == 0; }, 5000ms);
        case Carrier::Serial:
            return portFree();
        }
        return false;
    }

private:
    bool portFree() {
        const std::string path = locator_.substr(std::string("serial:").size());
        return vxtest::waitUntil(
            [&] {
                const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
                if (fd < 0) return false;
                // The library locks the ports it holds.
                const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
                ::close(fd);
                return free;
            },
            5000ms);
    }

    Carrier carrier_;
    vxsim::Gen2Simulator sim_;
    std::string locator_;
    std::string options_;
    std::string serial_;
};

// A frame as the library sends it.
inline vxsim::Bytes wire(vxctl::Packet packet) {
    static const vxctl::Crc32 crc;
    packet.finish(&crc);
    return vxsim::Bytes(packet.data(), packet.data() + packet.size());
}

// Sends a stop of channel 0: a frame that needs no reply.
inline VX_CTL_Result sendStop(vxctl::Device& device) {
    auto lock = device.lock();
    vxctl::Packet frame = vxctl::channelCommandFrame(vxctl::CommandType::Stop, 0, 0);
    return device.send(lock, frame, 0);
}

// The requests of one frame type the controller received.
inline size_t requestsOfType(vxsim::Gen2Endpoint& endpoint, uint8_t start, uint8_t type) {
    size_t count = 0;
    for (const auto& request : endpoint.requests())
        if (request.start == start && request.type == type) ++count;
    return count;
}

// Entries of a /proc directory, without "." and "..".
inline size_t countEntries(const char* path) {
    DIR* dir = ::opendir(path);
    if (dir == nullptr) return 0;
    size_t count = 0;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    ::closedir(dir);
    return count;
}

}  // namespace ctltest
