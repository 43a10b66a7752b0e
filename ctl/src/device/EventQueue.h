#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "VeltraxCTL.h"

namespace vxctl {

static_assert(sizeof(VX_CTL_Event) == 32, "an event record is 32 bytes on every build");

// A record of this type carries a result to the thread that waits for
// events: the wait returns the record's 32-bit value instead of an event.
inline constexpr VX_CTL_EventType kResultCarrier = 0xF0FF;

// Types whose records hold the controller's own log: they go to device
// logging, never to the queue.
bool isDeviceLogEvent(VX_CTL_EventType type);

// A record with its 32-bit value; the other value bytes zero.
VX_CTL_Event makeEvent(uint32_t idx, VX_CTL_EventType type, int32_t value);

// The events of one device, oldest first. No lock of its own: it lives
// under its device's mutex.
class EventQueue {
public:
    static constexpr size_t kCapacity = 1024;

    // Appends the record; when the queue is full the oldest record is
    // dropped first, and the result is true.
    bool push(const VX_CTL_Event& event);
    std::optional<VX_CTL_Event> take();
    bool empty() const { return records_.empty(); }
    size_t size() const { return records_.size(); }
    void clear() { records_.clear(); }

private:
    std::deque<VX_CTL_Event> records_;
};

}  // namespace vxctl
