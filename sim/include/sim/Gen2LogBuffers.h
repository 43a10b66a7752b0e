#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "sim/Gen2Endpoint.h"
#include "sim/Gen2Model.h"

namespace vxsim {

// The log buffers of a simulated second-generation controller: one FIFO of
// 64-bit words in the interface module, one in the hand-control module and
// one per channel, each with its configuration array. A read of a buffer
// takes its oldest word; an empty buffer answers with a device error.
// Messages are announced by data events, lost ones by overflow events.
class Gen2LogBuffers {
public:
    enum class Module : uint8_t { Interface = 0, Drive = 1, HandControl = 2 };

    struct Keys {
        Module module;
        uint32_t buffer;
        uint32_t configuration;
        uint16_t dataEvent;
        uint16_t overflowEvent;
    };
    static const Keys& keys(Module module);

    // What an empty buffer answers.
    static constexpr uint16_t kBufferEmpty = 0x000C;
    static constexpr size_t kConfigurationLength = 4;

    // Defines the buffers and their configuration arrays (all zero) for the
    // model's channel count, and answers the buffer reads from here.
    Gen2LogBuffers(Gen2Model& model, Gen2Endpoint& endpoint);
    // The model stops answering from here; reads of the buffers are then
    // unknown keys.
    ~Gen2LogBuffers();
    Gen2LogBuffers(const Gen2LogBuffers&) = delete;
    Gen2LogBuffers& operator=(const Gen2LogBuffers&) = delete;

    // Appends the words and announces them with a data event.
    void log(Module module, uint8_t index, const std::vector<int64_t>& words);
    // Appends without an announcement.
    void fill(Module module, uint8_t index, const std::vector<int64_t>& words);
    void announceOverflow(Module module, uint8_t index);
    size_t remaining(Module module, uint8_t index) const;
    // Reads of the buffer key so far.
    size_t reads() const;

private:
    std::pair<uint16_t, PropertyValue> take(Module module, uint8_t index);

    Gen2Model& model_;
    Gen2Endpoint& endpoint_;
    mutable std::mutex mutex_;
    std::map<std::pair<Module, uint8_t>, std::deque<int64_t>> buffers_;
    size_t reads_ = 0;
};

}  // namespace vxsim
