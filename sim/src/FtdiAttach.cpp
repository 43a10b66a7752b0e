#include "sim/FtdiAttach.h"

#include <stdexcept>

#include "FtdiDouble.h"

namespace vxsim {

class FtdiAttachment::AdapterLink : public Link {
public:
    AdapterLink(const VxFtdiDoubleApi& api, int adapter) : api_(api), adapter_(adapter) {}

    bool send(const uint8_t* data, size_t length) override {
        return api_.pushReceived(adapter_, data, length) == 0;
    }
    // The device stops answering; the host's reads fail until it closes.
    void close() override { api_.dropConnection(adapter_); }

private:
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
    link_ = std::make_unique<AdapterLink>(*api_, adapter_);
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
    self->handler_.onReceive(*self->link_, data, length);
}

void FtdiAttachment::onClose(void* context, int) {
    auto* self = static_cast<FtdiAttachment*>(context);
    self->handler_.onDisconnect(*self->link_);
}

}  // namespace vxsim
