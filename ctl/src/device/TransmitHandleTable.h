#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "VeltraxCTL.h"
#include "device/CommandSlot.h"

namespace vxctl {

enum class TransmitKind : int32_t { OutputBuffer = 0, CommandGroup = 1, Free = 2 };

// A finished frame collected under a transmit handle, with the request
// that awaits its reply, if any.
struct QueuedPacket {
    std::vector<uint8_t> bytes;
    SlotRef slot;
};

struct TransmitEntry {
    TransmitKind kind = TransmitKind::Free;
    // A command group that was closed and sent and waits for its trigger.
    bool closed = false;
    // When the cancel of the closed group was sent: its trigger, the
    // device's answer to the cancel, is awaited for a reply time from then.
    std::optional<std::chrono::steady_clock::time_point> cancelSent;
    // Which handing-out of the handle this is: a wait with the mutex
    // released finds out whether the entry still holds the same group.
    uint64_t use = 0;
    std::vector<QueuedPacket> packets;

    // Every packet's bytes, in order, for one transport write.
    std::vector<uint8_t> joined() const;
};

// The output buffers and command groups of one device, by transmit handle.
// Handle 0 means "at once" and is never given out. No lock of its own: it
// lives under its device's mutex.
class TransmitHandleTable {
public:
    static constexpr VX_CTL_TransmitHandle kLastHandle = 31;
    static constexpr size_t kMaxPackets = 1024;

    // The next free handle after the one given out last, wrapping past 31
    // to 1; the one given out last is not tried again. VX_CTL_BUFFER_LIMIT_REACHED
    // when none is free.
    VX_CTL_Result allocate(TransmitKind kind, VX_CTL_TransmitHandle* handle);
    // The entry of `handle` when it is of `kind`; null otherwise.
    TransmitEntry* find(VX_CTL_TransmitHandle handle, TransmitKind kind);
    // The entry of `handle` when it is taken; null otherwise.
    TransmitEntry* taken(VX_CTL_TransmitHandle handle);
    // Frees the entry; its queued requests forget the handle.
    void release(VX_CTL_TransmitHandle handle);
    // Empties the frame that `slot` queued under `handle`: it is sent as
    // nothing, and the slot is no longer held.
    void dropQueued(VX_CTL_TransmitHandle handle, const CommandSlot* slot);
    // What a command frame carries as its group: the handle of a command
    // group, else 0.
    uint8_t groupByte(VX_CTL_TransmitHandle handle) const;

private:
    std::array<TransmitEntry, kLastHandle + 1> entries_{};
    VX_CTL_TransmitHandle last_ = 0;
    uint64_t uses_ = 0;
};

}  // namespace vxctl
