#include "sim/FtdiAttach.h"

#include <cstdio>
#include <stdexcept>

#include "FtdiDouble.h"

namespace vxsim {

std::string bridgeAdapterText(const FtdiAdapter& adapter, const std::string& host, uint16_t port,
                              bool paced) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, ";id=0x%08X;type=%u;flags=0x%X", adapter.chipId,
                  adapter.type, adapter.flags);
    std::string text = "sn=" + adapter.serial + ";desc=" + adapter.description + numbers;
    if (!adapter.userArea.empty()) {
        text += ";ua=";
        for (uint8_t byte : adapter.userArea) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", byte);
            text += hex;
        }
    }
    text += ";tcp=" + host + ":" + std::to_string(port);
    if (paced) text += ";paced=1";
    return text;
}

class FtdiAttachment::AdapterLink : public Link {
public:
    AdapterLink(FtdiAttachment& owner, const VxFtdiDoubleApi& api, int adapter)
        : owner_(owner), api_(api), adapter_(adapter) {}

    // The host can read the bytes once the line has carried them.
    bool send(const uint8_t* data, size_t length) override {
        return owner_.passLine(owner_.toHost_, length) && api_.pushReceived(adapter_, data, length) == 0;
    }
    // The device stops answering; the host's reads fail until it closes.
    void close() override { api_.dropConnection(adapter_); }

private:
    FtdiAttachment& owner_;
    const VxFtdiDoubleApi& api_;
    int adapter_;
};

FtdiAttachment::FtdiAttachment(LinkHandler& handler, const FtdiAdapter& adapter)
    : handler_(handler), api_(vxftdi_api()) {
    if (api_ == nullptr) throw std::runtime_error("the FTDI driver double cannot be loaded");
    VxFtdiAdapterSpec spec{};
    spec.serial = adapter.serial.c_str();
    spec.description = adapter.description.c_str();
    spec.chipId = adapter.chipId;
    spec.type = adapter.type;
    spec.flags = adapter.flags;
    spec.userArea = adapter.userArea.empty() ? nullptr : adapter.userArea.data();
    spec.userAreaLength = adapter.userArea.size();
    adapter_ = api_->addAdapter(&spec);
    if (adapter_ <= 0) throw std::runtime_error("the FTDI driver double refused the adapter");
    link_ = std::make_unique<AdapterLink>(*this, *api_, adapter_);
    VxFtdiPeer peer{};
    peer.onOpen = &FtdiAttachment::onOpen;
    peer.onWrite = &FtdiAttachment::onWrite;
    peer.onClose = &FtdiAttachment::onClose;
    peer.context = this;
    if (api_->attachPeer(adapter_, &peer) != 0) {
        api_->unplug(adapter_);
        throw std::runtime_error("the FTDI driver double refused the peer");
    }
}

FtdiAttachment::~FtdiAttachment() {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    ending_.notify_all();
    api_->attachPeer(adapter_, nullptr);
    api_->unplug(adapter_);
}

int FtdiAttachment::onOpen(void* context, int) {
    auto* self = static_cast<FtdiAttachment*>(context);
    self->handler_.onConnect(*self->link_);
    return 0;
}

void FtdiAttachment::onWrite(void* context, int, const uint8_t* data, size_t length) {
    auto* self = static_cast<FtdiAttachment*>(context);
    // The device has the bytes once the line has carried them.
    if (!self->passLine(self->fromHost_, length)) return;
    self->handler_.onReceive(*self->link_, data, length);
}

void FtdiAttachment::setPaced(bool paced) {
    std::lock_guard lock(mutex_);
    paced_ = paced;
}

uint64_t FtdiAttachment::bytesFromHost() const {
    std::lock_guard lock(mutex_);
    return fromHost_.bytes();
}

uint64_t FtdiAttachment::bytesToHost() const {
    std::lock_guard lock(mutex_);
    return toHost_.bytes();
}

void FtdiAttachment::clearByteCounts() {
    std::lock_guard lock(mutex_);
    fromHost_.clearCount();
    toHost_.clearCount();
}

bool FtdiAttachment::passLine(LinePace& pace, size_t length) {
    VxFtdiLineState line{};
    const uint32_t baud = api_->lineState(adapter_, &line) == 0 ? line.baudRate : 0;
    std::unique_lock lock(mutex_);
    const auto due = pace.pass(length, paced_ ? baud : 0);
    if (!paced_) return true;
    return !ending_.wait_until(lock, due, [&] { return ended_; });
}

void FtdiAttachment::onClose(void* context, int) {
    auto* self = static_cast<FtdiAttachment*>(context);
    self->handler_.onDisconnect(*self->link_);
}

}  // namespace vxsim
