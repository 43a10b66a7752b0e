#include "device/TransmitHandleTable.h"

namespace vxctl {

std::vector<uint8_t> TransmitEntry::joined() const {
    std::vector<uint8_t> block;
    for (const QueuedPacket& packet : packets) block.insert(block.end(), packet.bytes.begin(), packet.bytes.end());
    return block;
}

VX_CTL_Result TransmitHandleTable::allocate(TransmitKind kind, VX_CTL_TransmitHandle* handle) {
    VX_CTL_TransmitHandle candidate = last_;
    for (;;) {
        candidate = candidate == kLastHandle ? 1 : candidate + 1;
        if (candidate == last_) break;
        TransmitEntry& entry = entries_[candidate];
        if (entry.kind == TransmitKind::Free) {
            entry.kind = kind;
            entry.closed = false;
            entry.cancelSent.reset();
            entry.use = ++uses_;
            last_ = candidate;
            *handle = candidate;
            return VX_CTL_OK;
        }
        // A first search has no handle given last to come back to.
        if (last_ == 0 && candidate == kLastHandle) break;
    }
    return VX_CTL_BUFFER_LIMIT_REACHED;
}

TransmitEntry* TransmitHandleTable::taken(VX_CTL_TransmitHandle handle) {
    if (handle == 0 || handle > kLastHandle || entries_[handle].kind == TransmitKind::Free) return nullptr;
    return &entries_[handle];
}

TransmitEntry* TransmitHandleTable::find(VX_CTL_TransmitHandle handle, TransmitKind kind) {
    TransmitEntry* entry = taken(handle);
    return entry && entry->kind == kind ? entry : nullptr;
}

void TransmitHandleTable::release(VX_CTL_TransmitHandle handle) {
    TransmitEntry* entry = taken(handle);
    if (!entry) return;
    for (QueuedPacket& packet : entry->packets)
        if (packet.slot && packet.slot->handle == handle) packet.slot->handle = 0;
    entry->packets.clear();
    entry->closed = false;
    entry->cancelSent.reset();
    entry->kind = TransmitKind::Free;
}

void TransmitHandleTable::dropQueued(VX_CTL_TransmitHandle handle, const CommandSlot* slot) {
    TransmitEntry* entry = taken(handle);
    if (!entry) return;
    for (QueuedPacket& packet : entry->packets) {
        if (packet.slot.get() != slot) continue;
        packet.bytes.clear();
        packet.slot.reset();
    }
}

uint8_t TransmitHandleTable::groupByte(VX_CTL_TransmitHandle handle) const {
    if (handle == 0 || handle > kLastHandle) return 0;
    return entries_[handle].kind == TransmitKind::CommandGroup ? static_cast<uint8_t>(handle) : 0;
}

}  // namespace vxctl
