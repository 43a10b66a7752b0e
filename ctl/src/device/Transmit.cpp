// Frames sent together: output buffers, command groups and the movement
// commands that may use them.

#include <algorithm>

#include "device/Device.h"

namespace vxctl {

VX_CTL_Result Device::movementCommand(CommandType type, uint8_t index, int64_t target,
                                      VX_CTL_TransmitHandle handle) {
    Lock lock(mutex_);
    const uint8_t group = groupByte(handle);
    Packet frame = type == CommandType::Move ? moveFrame(group, index, target) : channelCommandFrame(type, group, index);
    return send(lock, frame, handle);
}

void Device::releaseTransmit(VX_CTL_TransmitHandle handle, bool cancelQueued) {
    TransmitEntry* entry = transmits_.taken(handle);
    if (!entry) return;
    if (cancelQueued) {
        for (QueuedPacket& packet : entry->packets) {
            if (!packet.slot || packet.slot->state != SlotState::Queued) continue;
            packet.slot->state = SlotState::Cancelled;
            // Its request ID is no longer outstanding.
            packet.slot->self.reset();
            slots_.wake(*packet.slot);
        }
    }
    transmits_.release(handle);
}

VX_CTL_Result Device::transmitQueued(Lock& lock, VX_CTL_TransmitHandle handle, TransmitEntry& entry,
                                     bool startDeadlines) {
    const std::vector<uint8_t> block = entry.joined();
    // Held here: the entry may be released while the mutex is let go.
    std::vector<SlotRef> sent;
    for (const QueuedPacket& packet : entry.packets) {
        if (!packet.slot || packet.slot->state != SlotState::Queued) continue;
        packet.slot->state = SlotState::Sent;
        packet.slot->pending = packet.slot;
        sent.push_back(packet.slot);
    }
    const VX_CTL_Result result = transmit(lock, block.data(), block.size(), true, [&sent](const SendMark& mark) {
        for (const SlotRef& slot : sent) {
            slot->line = mark.line;
            slot->sendBegan = mark.began;
        }
    });
    if (result != VX_CTL_OK) {
        for (const SlotRef& slot : sent) failSent(*slot, result);
        return result;
    }
    const uint64_t ended = ++sendClock_;
    for (const SlotRef& slot : sent) {
        slot->sendEnded = ended;
        slot->awaitsTrigger = !startDeadlines;
    }
    if (startDeadlines) {
        const Clock::time_point now = Clock::now();
        for (const SlotRef& slot : sent) {
            if (slot->handle == handle) slot->handle = 0;
            slot->sendTime = now;
        }
        deadlineStarted(now);
    }
    return VX_CTL_OK;
}

VX_CTL_Result Device::createOutputBuffer(VX_CTL_TransmitHandle* handle) {
    Lock lock(mutex_);
    return transmits_.allocate(TransmitKind::OutputBuffer, handle);
}

VX_CTL_Result Device::endOutputBuffer(VX_CTL_TransmitHandle handle, bool send) {
    Lock lock(mutex_);
    TransmitEntry* entry = transmits_.find(handle, TransmitKind::OutputBuffer);
    if (!entry) return VX_CTL_INVALID_TRANSMIT_HANDLE;
    if (!send) {
        releaseTransmit(handle, true);
        return VX_CTL_OK;
    }
    // Taken out first: nothing can be added to it while it is sent.
    TransmitEntry taken = std::move(*entry);
    entry->packets.clear();
    releaseTransmit(handle, false);
    return transmitQueued(lock, handle, taken, true);
}

VX_CTL_Result Device::openCommandGroup(VX_CTL_TransmitHandle* handle, uint32_t triggerMode) {
    Lock lock(mutex_);
    VX_CTL_TransmitHandle opened = 0;
    if (const VX_CTL_Result result = transmits_.allocate(TransmitKind::CommandGroup, &opened); result != VX_CTL_OK)
        return result;
    *handle = opened;
    Packet frame = openCommandGroupFrame(static_cast<uint8_t>(opened), static_cast<uint8_t>(triggerMode));
    const VX_CTL_Result result = send(lock, frame, opened);
    if (result != VX_CTL_OK) releaseTransmit(opened, true);
    return result;
}

VX_CTL_Result Device::endCommandGroup(VX_CTL_TransmitHandle handle, bool close) {
    Lock lock(mutex_);
    TransmitEntry* entry = transmits_.find(handle, TransmitKind::CommandGroup);
    if (!entry) return VX_CTL_INVALID_TRANSMIT_HANDLE;
    const auto group = static_cast<uint8_t>(handle);
    if (!close) {
        if (!entry->closed) {
            releaseTransmit(handle, true);
            return VX_CTL_OK;
        }
        // Its requests are given up now, so their waits end; their IDs stay
        // taken until their replies come or can no longer come.
        std::vector<SlotRef> cancelled;
        for (const QueuedPacket& packet : entry->packets) {
            if (!packet.slot || packet.slot->state != SlotState::Sent) continue;
            cancelSlot(*packet.slot);
            cancelled.push_back(packet.slot);
        }
        const uint64_t use = entry->use;
        Packet frame = cancelCommandGroupFrame(group);
        const VX_CTL_Result result = send(lock, frame, 0);
        if (result == VX_CTL_OK) {
            // Once the controller has taken the cancel, the group either ran
            // before it, its replies on their way, or never runs: the
            // replies to requests sent from now on come after any of its.
            const uint64_t ended = ++sendClock_;
            for (const SlotRef& slot : cancelled) {
                if (!slot->awaitsTrigger) continue;
                slot->awaitsTrigger = false;
                slot->sendEnded = ended;
            }
        }
        // A trigger during the write may have freed the entry, and another
        // group may hold the handle by now.
        if (transmits_.find(handle, TransmitKind::CommandGroup) != entry || entry->use != use || !entry->closed)
            return result;
        if (result != VX_CTL_OK) {
            releaseTransmit(handle, true);
        } else if (!entry->cancelSent) {
            // A trigger that never comes must not keep the handle for ever:
            // the worker gives the group up a reply time on.
            entry->cancelSent = Clock::now();
            deadlineStarted(*entry->cancelSent);
        }
        return result;
    }
    if (entry->closed) return VX_CTL_INVALID_TRANSMIT_HANDLE;
    if (entry->packets.size() < 2) {
        releaseTransmit(handle, true);
        return VX_CTL_BUFFER_EMPTY;
    }
    Packet frame = closeCommandGroupFrame(group);
    if (const VX_CTL_Result result = send(lock, frame, handle); result != VX_CTL_OK) {
        releaseTransmit(handle, true);
        return result;
    }
    entry->closed = true;
    const VX_CTL_Result result = transmitQueued(lock, handle, *entry, false);
    // A trigger during the write may have freed the entry already.
    if (result != VX_CTL_OK && entry->kind == TransmitKind::CommandGroup && entry->closed)
        releaseTransmit(handle, false);
    return result;
}

bool Device::groupTriggered(VX_CTL_TransmitHandle handle) {
    TransmitEntry* entry = transmits_.find(handle, TransmitKind::CommandGroup);
    if (!entry || !entry->closed) return false;
    const Clock::time_point now = Clock::now();
    // The group's replies come with its trigger: the replies to requests
    // sent from now on come after them.
    const uint64_t ran = ++sendClock_;
    for (const QueuedPacket& packet : entry->packets) {
        if (!packet.slot) continue;
        CommandSlot& slot = *packet.slot;
        if (slot.handle == handle) slot.handle = 0;
        if (slot.awaitsTrigger) {
            slot.awaitsTrigger = false;
            slot.sendEnded = ran;
        }
        // The replies follow the trigger: a request's deadline starts now.
        if (slot.state == SlotState::Sent && !slot.sendTime) slot.sendTime = now;
    }
    transmits_.release(handle);
    deadlineStarted(now);
    return true;
}

std::optional<Device::Clock::time_point> Device::expireCancelledGroups(Clock::time_point now) {
    std::optional<Clock::time_point> next;
    for (VX_CTL_TransmitHandle handle = 1; handle <= TransmitHandleTable::kLastHandle; ++handle) {
        TransmitEntry* entry = transmits_.find(handle, TransmitKind::CommandGroup);
        if (!entry || !entry->closed || !entry->cancelSent) continue;
        const Clock::time_point due = *entry->cancelSent + timing_.request;
        if (due > now) {
            next = next ? std::min(*next, due) : due;
            continue;
        }
        // The device never answered the cancel: its late trigger now finds
        // no group. Its requests' IDs are settled as any cancelled one's.
        transmits_.release(handle);
    }
    return next;
}

}  // namespace vxctl
