#include "sim/BootSimulator.h"

namespace vxsim {

BootSimulator::BootSimulator(SystemSetup application, std::vector<BootModule> modules,
                             BootloaderSystem::State state)
    : model_(std::move(application)), bootloader_(std::move(modules), state) {}

void BootSimulator::build(Way& way, Carrier carrier, bool textual) {
    if (textual) {
        way.text = std::make_unique<TextEndpoint>(model_);
        way.endpoint = std::make_unique<SystemEndpoint>(bootloader_, carrier, *way.text);
    } else {
        way.binary = std::make_unique<Gen1Endpoint>(model_);
        way.endpoint = std::make_unique<SystemEndpoint>(bootloader_, carrier, *way.binary);
    }
}

std::string BootSimulator::serveTcp(bool textual) {
    build(tcpWay_, Carrier::Tcp, textual);
    tcpServer_ = std::make_unique<TcpServer>(*tcpWay_.endpoint);
    return tcpServer_->locator();
}

std::string BootSimulator::attachUsb(const FtdiAdapter& adapter) {
    build(usbWay_, Carrier::Usb, false);
    // The adapter shows one byte before the answer to a reset.
    usbWay_.binary->setJunkAfterReset(true);
    usb_ = std::make_unique<FtdiAttachment>(*usbWay_.endpoint, adapter);
    return "usb:id:" + std::to_string(adapter.chipId);
}

std::string BootSimulator::servePty() {
    build(serialWay_, Carrier::Serial, true);
    pty_ = std::make_unique<Pty>();
    pty_->serve(*serialWay_.endpoint);
    return "serial:" + pty_->devicePath();
}

BootSimulator::Way& BootSimulator::way(Carrier carrier) {
    switch (carrier) {
    case Carrier::Usb:
        return usbWay_;
    case Carrier::Serial:
        return serialWay_;
    case Carrier::Tcp:
        break;
    }
    return tcpWay_;
}

SystemEndpoint& BootSimulator::endpoint(Carrier carrier) { return *way(carrier).endpoint; }

Gen1Endpoint* BootSimulator::binaryApplication(Carrier carrier) {
    return way(carrier).binary.get();
}

TextEndpoint* BootSimulator::textApplication(Carrier carrier) { return way(carrier).text.get(); }

}  // namespace vxsim
