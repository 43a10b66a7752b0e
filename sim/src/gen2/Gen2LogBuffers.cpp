#include "sim/Gen2LogBuffers.h"

#include <stdexcept>
#include <variant>

namespace vxsim {

namespace {

constexpr Gen2LogBuffers::Keys kKeys[] = {
    {Gen2LogBuffers::Module::Interface, 0x050F008C, 0x050F008D, 0x8800, 0x8801},
    {Gen2LogBuffers::Module::Drive, 0x0503008C, 0x0503008D, 0x4800, 0x4801},
    {Gen2LogBuffers::Module::HandControl, 0x050C008C, 0x050C008D, 0x8802, 0x8803},
};

}  // namespace

const Gen2LogBuffers::Keys& Gen2LogBuffers::keys(Module module) {
    for (const Keys& keys : kKeys)
        if (keys.module == module) return keys;
    throw std::invalid_argument("module without log buffer");
}

Gen2LogBuffers::Gen2LogBuffers(Gen2Model& model, Gen2Endpoint& endpoint) : model_(model), endpoint_(endpoint) {
    int32_t channels = 0;
    if (const auto count = model.value({0, gen2key::kChannelCount}))
        if (const auto* value = std::get_if<int32_t>(&*count)) channels = *value;
    std::vector<std::pair<Module, uint8_t>> sources = {{Module::Interface, 0}, {Module::HandControl, 0}};
    for (int32_t channel = 0; channel < channels; ++channel)
        sources.emplace_back(Module::Drive, static_cast<uint8_t>(channel));
    for (const auto& [module, index] : sources) {
        buffers_[{module, index}];
        model.define({index, keys(module).configuration}, std::vector<int32_t>(kConfigurationLength, 0));
    }
    for (const Keys& keys : kKeys) {
        const Module module = keys.module;
        model.answerReads(keys.buffer, [this, module](uint8_t index) { return take(module, index); });
    }
}

Gen2LogBuffers::~Gen2LogBuffers() {
    for (const Keys& keys : kKeys) model_.answerReads(keys.buffer, nullptr);
}

void Gen2LogBuffers::fill(Module module, uint8_t index, const std::vector<int64_t>& words) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& buffer = buffers_.at({module, index});
    buffer.insert(buffer.end(), words.begin(), words.end());
}

void Gen2LogBuffers::log(Module module, uint8_t index, const std::vector<int64_t>& words) {
    fill(module, index, words);
    endpoint_.injectEvent(index, keys(module).dataEvent, 0);
}

void Gen2LogBuffers::announceOverflow(Module module, uint8_t index) {
    endpoint_.injectEvent(index, keys(module).overflowEvent, 0);
}

size_t Gen2LogBuffers::remaining(Module module, uint8_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return buffers_.at({module, index}).size();
}

size_t Gen2LogBuffers::reads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
}

std::pair<uint16_t, PropertyValue> Gen2LogBuffers::take(Module module, uint8_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++reads_;
    const auto found = buffers_.find({module, index});
    if (found == buffers_.end() || found->second.empty()) return {kBufferEmpty, PropertyValue{}};
    const int64_t word = found->second.front();
    found->second.pop_front();
    return {gen2result::kOk, word};
}

}  // namespace vxsim
