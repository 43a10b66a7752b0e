#include "sim/BootSimulator.h"

#include <algorithm>

namespace vxsim {

BootSimulator::BootSimulator(SystemSetup application, std::vector<BootModule> modules,
                             BootloaderSystem::State state)
    : model_(std::move(application)), bootloader_(std::move(modules), state) {}

std::vector<BootModule> BootSimulator::modulesOf(const SystemSetup& setup) {
    constexpr uint8_t kVariant = 1;
    std::vector<BootModule> modules;
    for (const ChannelSetup& channel : setup.channels) {
        const bool known = std::any_of(modules.begin(), modules.end(), [&](const BootModule& m) {
            return m.word == channel.moduleWord;
        });
        if (known) continue;
        // A version word: line in bits 31-27, major 26-24, minor 23-16, build 15-0.
        const uint32_t version = channel.firmwareVersion;
        modules.push_back({channel.moduleWord, kVariant, true,
                           static_cast<uint8_t>(version >> 24), static_cast<uint8_t>(version >> 16),
                           static_cast<uint16_t>(version)});
    }
    return modules;
}

void BootSimulator::build(Way& way, Carrier carrier, bool textual) {
    if (textual) {
        way.text = std::make_unique<TextEndpoint>(model_);
        way.endpoint = std::make_unique<SystemEndpoint>(bootloader_, carrier, *way.text);
    } else {
        way.binary = std::make_unique<Gen1Endpoint>(model_);
        way.endpoint = std::make_unique<SystemEndpoint>(bootloader_, carrier, *way.binary);
    }
}

std::string BootSimulator::serveTcp(bool textual) { return serveTcp("127.0.0.1", 0, textual); }

std::string BootSimulator::serveTcp(const std::string& address, uint16_t port, bool textual) {
    build(tcpWay_, Carrier::Tcp, textual);
    tcpServer_ = std::make_unique<TcpServer>(*tcpWay_.endpoint, address, port);
    return tcpServer_->locator();
}

void BootSimulator::buildUsb() {
    build(usbWay_, Carrier::Usb, false);
    // The adapter shows one byte before the answer to a reset.
    usbWay_.binary->setJunkAfterReset(true);
}

std::string BootSimulator::attachUsb(const FtdiAdapter& adapter) {
    buildUsb();
    usb_ = std::make_unique<FtdiAttachment>(*usbWay_.endpoint, adapter);
    return "usb:id:" + std::to_string(adapter.chipId);
}

std::string BootSimulator::serveUsbBridge(const std::string& address, uint16_t port) {
    buildUsb();
    usbBridge_ = std::make_unique<TcpServer>(*usbWay_.endpoint, address, port);
    return usbBridge_->locator();
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
