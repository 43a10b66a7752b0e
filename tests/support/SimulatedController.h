#pragma once

#include "sim/ControllerModel.h"
#include "sim/Gen1Endpoint.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"
#include "sim/TextEndpoint.h"

namespace vxtest {

// A simulated controller system over one model, as the programs reach it:
// the binary protocol over TCP (for the library), the textual one over TCP
// and over a pseudo-terminal.
struct SimulatedController {
    explicit SimulatedController(const vxsim::SystemSetup& setup) : model(setup) {
        binaryServer.setGreeting(vxsim::gen1Hello());
        pty.serve(text);
    }

    vxsim::ControllerModel model;
    vxsim::Gen1Endpoint binary{model};
    vxsim::TextEndpoint text{model};
    vxsim::TcpServer binaryServer{binary};
    vxsim::TcpServer textServer{text};
    vxsim::Pty pty;
};

}  // namespace vxtest
