#pragma once

// A second-generation controller of the simulator behind one carrier, with
// the locator and the caller's options that reach it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "FtdiDouble.h"
#include "device/Device.h"
#include "sim/Gen2Simulator.h"
#include "support/Wait.h"

namespace ctltest {

using namespace std::chrono_literals;

enum class Carrier { Tcp, Usb, Serial };

inline std::string carrierText(Carrier carrier) {
    const char* names[] = {"Tcp", "Usb", "Serial"};
    return names[static_cast<int>(carrier)];
}

inline void PrintTo(Carrier carrier, std::ostream* out) { *out << carrierText(carrier); }

inline constexpr const char* kSerialOptions = "baudrate 115200";

class SimulatedController {
public:
    explicit SimulatedController(Carrier carrier) : carrier_(carrier) {
        if (carrier == Carrier::Tcp) {
            sim_.serveTcp();
            locator_ = sim_.tcpLocator();
        } else if (carrier == Carrier::Usb) {
            // An adapter of its own, never one an earlier test unplugged.
            static std::atomic<uint32_t> next{0x6D000001};
            const uint32_t id = next++;
            const std::string serial = "CD" + std::to_string(id & 0xFFFF);
            sim_.attachUsb({serial, "Veltrax QMX2", id});
            locator_ = "usb:sn:" + serial;
        } else {
            locator_ = "serial:" + sim_.servePty().devicePath();
            options_ = kSerialOptions;
        }
    }

    vxsim::Gen2Simulator& sim() { return sim_; }
    vxsim::Gen2Endpoint& endpoint() { return sim_.endpoint(); }
    const std::string& locator() const { return locator_; }
    const std::string& options() const { return options_; }
    Carrier carrier() const { return carrier_; }

    // True once the host holds no connection to the controller.
    bool released() {
        return vxtest::waitUntil(
            [&] {
                if (carrier_ == Carrier::Tcp) return sim_.endpoint().connections() == 0;
                if (carrier_ == Carrier::Usb) return sim_.usb().api().openHandleCount() == 0;
                // The library locks the serial ports it holds.
                const int fd = ::open(sim_.pty().devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
                const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
                if (fd >= 0) ::close(fd);
                return free;
            },
            5000ms);
    }

    size_t stopsReceived() {
        size_t count = 0;
        for (const auto& request : sim_.endpoint().requests())
            if (request.start == vxsim::gen2::kCommandStart && request.type == vxsim::gen2::command::kStop) ++count;
        return count;
    }

private:
    Carrier carrier_;
    vxsim::Gen2Simulator sim_;
    std::string locator_;
    std::string options_;
};

// A stop of channel 0: a frame that needs no reply.
inline VX_CTL_Result sendStop(vxctl::Device& device) {
    auto lock = device.lock();
    vxctl::Packet frame = vxctl::channelCommandFrame(vxctl::CommandType::Stop, 0, 0);
    return device.send(lock, frame, 0);
}

}  // namespace ctltest
