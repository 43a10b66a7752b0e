#include "device/EventQueue.h"

#include <algorithm>
#include <cstring>

namespace vxctl {

namespace {

constexpr VX_CTL_EventType kDeviceLogEvents[] = {0x4800, 0x4801, 0x8800, 0x8801, 0x8802, 0x8803};

}  // namespace

bool isDeviceLogEvent(VX_CTL_EventType type) {
    return std::find(std::begin(kDeviceLogEvents), std::end(kDeviceLogEvents), type) !=
           std::end(kDeviceLogEvents);
}

VX_CTL_Event makeEvent(uint32_t idx, VX_CTL_EventType type, int32_t value) {
    VX_CTL_Event event;
    // Every byte, the union's beyond its first member too.
    std::memset(&event, 0, sizeof event);
    event.idx = idx;
    event.type = type;
    event.value.i32 = value;
    return event;
}

bool EventQueue::push(const VX_CTL_Event& event) {
    const bool full = records_.size() >= kCapacity;
    if (full) records_.pop_front();
    records_.push_back(event);
    return full;
}

std::optional<VX_CTL_Event> EventQueue::take() {
    if (records_.empty()) return std::nullopt;
    const VX_CTL_Event event = records_.front();
    records_.pop_front();
    return event;
}

}  // namespace vxctl
