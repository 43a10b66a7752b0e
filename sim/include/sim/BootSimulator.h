#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/Bootloader.h"
#include "sim/ControllerModel.h"
#include "sim/FtdiAttach.h"
#include "sim/Gen1Endpoint.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"
#include "sim/TextEndpoint.h"

namespace vxsim {

// A first-generation system with its bootloader, reached over any of its
// carriers. Each carrier has an application endpoint of its own over the
// one model (binary over USB, textual over the pseudo-terminal, either over
// TCP), and all share the bootloader state.
class BootSimulator {
public:
    BootSimulator(SystemSetup application, std::vector<BootModule> modules,
                  BootloaderSystem::State state = BootloaderSystem::State::Application);
    BootSimulator(const BootSimulator&) = delete;
    BootSimulator& operator=(const BootSimulator&) = delete;

    // One module per channel module word of `setup`, valid, with the
    // channel's firmware version and hardware variant 1.
    static std::vector<BootModule> modulesOf(const SystemSetup& setup);

    ControllerModel& model() { return model_; }
    BootloaderSystem& bootloader() { return bootloader_; }

    // Each gives the locator the host opens.
    std::string serveTcp(bool textual = false);
    std::string serveTcp(const std::string& address, uint16_t port, bool textual = false);
    std::string attachUsb(const FtdiAdapter& adapter = {});
    std::string servePty();
    // The USB carrier for a host in another process, whose FTDI driver
    // double's bridge carries the adapter's bytes to this TCP port: the
    // system behaves as behind a USB adapter. Gives the TCP locator.
    std::string serveUsbBridge(const std::string& address = "127.0.0.1", uint16_t port = 0);

    // Valid once the carrier is up.
    SystemEndpoint& endpoint(Carrier carrier);
    // The carrier's application endpoint of that kind, or null.
    Gen1Endpoint* binaryApplication(Carrier carrier);
    TextEndpoint* textApplication(Carrier carrier);
    TcpServer& tcp() { return *tcpServer_; }
    Pty& pty() { return *pty_; }
    FtdiAttachment& usb() { return *usb_; }
    TcpServer& usbBridge() { return *usbBridge_; }

private:
    // A carrier's endpoints, torn down carrier first.
    struct Way {
        std::unique_ptr<Gen1Endpoint> binary;
        std::unique_ptr<TextEndpoint> text;
        std::unique_ptr<SystemEndpoint> endpoint;
    };
    Way& way(Carrier carrier);
    void build(Way& way, Carrier carrier, bool textual);
    void buildUsb();

    ControllerModel model_;
    BootloaderSystem bootloader_;
    Way usbWay_;
    Way serialWay_;
    Way tcpWay_;
    // Declared last, so gone first: they report their drops to the endpoints.
    std::unique_ptr<TcpServer> tcpServer_;
    std::unique_ptr<Pty> pty_;
    std::unique_ptr<FtdiAttachment> usb_;
    std::unique_ptr<TcpServer> usbBridge_;
};

}  // namespace vxsim
