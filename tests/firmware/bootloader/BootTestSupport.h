#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "firmware/FirmwareTestSupport.h"
#include "SystemConnection.h"
#include "io/ftdi/UsbTestSupport.h"
#include "sim/BootSimulator.h"

namespace boottest {

using vxsim::BootloaderSystem;
using vxsim::Bytes;
using vxsim::Carrier;
using State = BootloaderSystem::State;

// How the host reaches the simulated system, and which application it meets there.
enum class Way { Tcp, TcpText, Usb, Pty };

inline Carrier carrierOf(Way way) {
    switch (way) {
    case Way::Usb:
        return Carrier::Usb;
    case Way::Pty:
        return Carrier::Serial;
    case Way::Tcp:
    case Way::TcpText:
        break;
    }
    return Carrier::Tcp;
}

inline const char* wayName(Way way) {
    constexpr const char* kNames[] = {"Tcp", "TcpText", "Usb", "Pty"};
    return kNames[static_cast<int>(way)];
}
inline void PrintTo(Way way, std::ostream* out) { *out << wayName(way); }

constexpr uint32_t kChipId = 4711;

// Opens the system to the host on the carrier `way`; gives its locator.
inline std::string serve(vxsim::BootSimulator& sim, Way way) {
    switch (way) {
    case Way::Tcp:
        return sim.serveTcp();
    case Way::TcpText:
        return sim.serveTcp(true);
    case Way::Usb:
        return sim.attachUsb({"VX004711", vxfw::USBPort::kProductName, kChipId});
    case Way::Pty:
        break;
    }
    return sim.servePty();
}

// Two modules of kind 2 (one group) and one of kind 6.
inline std::vector<vxsim::BootModule> threeModules() {
    return {{0x2001, 3, true, 0x09, 3, 17},
            {0x2002, 3, true, 0x09, 3, 17},
            {0x6001, std::nullopt, true, 0x11, 1, 2}};
}

// A simulated system in `state` and a connection to it whose fixed waits
// take no time; receive time-outs stay real.
class BootTest : public usbtest::UsbTest {
protected:
    void TearDown() override {
        connection.close();
        sim.reset();
        UsbTest::TearDown();
    }

    // Starts the simulated system and its carrier; gives the locator.
    std::string start(Way way, State state, std::vector<vxsim::BootModule> modules = threeModules()) {
        sim = std::make_unique<vxsim::BootSimulator>(vxsim::SystemSetup::standard(3, false),
                                                     std::move(modules), state);
        connection.setPauseLimit(std::chrono::milliseconds(0));
        this->way = way;
        return serve(*sim, way);
    }

    BootloaderSystem& bootloader() { return sim->bootloader(); }
    vxsim::SystemEndpoint& endpoint() { return sim->endpoint(carrierOf(way)); }
    // What the host sent since the last call.
    Bytes sent() {
        Bytes bytes = endpoint().received();
        endpoint().clearReceived();
        return bytes;
    }

    std::unique_ptr<vxsim::BootSimulator> sim;
    vxfw::SystemConnection connection;
    Way way = Way::Tcp;
};

inline Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

}  // namespace boottest
