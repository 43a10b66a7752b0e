#pragma once

#include <string>

#include "sim/ControllerModel.h"
#include "sim/Gen1Endpoint.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"
#include "sim/TextEndpoint.h"

namespace connectiontest {

// Channel 0 linear, 1 rotary, 2 an end effector; a hand control module.
inline vxsim::SystemSetup peerSetup() {
    vxsim::SystemSetup setup = vxsim::SystemSetup::standard(3, true, 1);
    setup.channels[1].rotary = true;
    return setup;
}

// One simulated system with both protocols over its one model: the binary
// one on a TCP port (greeting each connection, as the controller's Ethernet
// port does), the textual one on a pseudo-terminal and on a TCP port without
// a greeting.
struct Peers {
    Peers() {
        binaryServer.setGreeting(vxsim::gen1Hello());
        pty.serve(text);
    }

    std::string serialLocator() const { return "serial:" + pty.devicePath(); }

    vxsim::ControllerModel model{peerSetup()};
    vxsim::Gen1Endpoint binary{model};
    vxsim::TextEndpoint text{model};
    vxsim::TcpServer binaryServer{binary};
    vxsim::TcpServer textServer{text};
    vxsim::Pty pty;
};

}  // namespace connectiontest
