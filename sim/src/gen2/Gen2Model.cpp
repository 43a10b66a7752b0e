#include "sim/Gen2Model.h"

namespace vxsim {

void Gen2Model::define(PropertyAddress address, PropertyValue value, bool readOnly) {
    std::lock_guard<std::mutex> lock(mutex_);
    selected_.erase(address);
    defined_[address] = {value, readOnly};
    current_[address] = {std::move(value), readOnly};
}

void Gen2Model::defineSelected(PropertyAddress address, PropertyAddress selector,
                               std::map<int32_t, PropertyValue> values) {
    std::lock_guard<std::mutex> lock(mutex_);
    defined_.erase(address);
    current_.erase(address);
    selected_[address] = {selector, std::move(values)};
}

void Gen2Model::answerWrites(PropertyAddress address, uint16_t result) {
    std::lock_guard<std::mutex> lock(mutex_);
    writeAnswers_[address] = result;
}

std::pair<uint16_t, PropertyValue> Gen2Model::read(PropertyAddress address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto selected = selected_.find(address); selected != selected_.end()) {
        const auto selector = current_.find(selected->second.selector);
        const int32_t* which = selector == current_.end() ? nullptr : std::get_if<int32_t>(&selector->second.value);
        const auto value = which ? selected->second.values.find(*which) : selected->second.values.end();
        if (value == selected->second.values.end()) return {gen2result::kInvalidKey, PropertyValue{}};
        return {gen2result::kOk, value->second};
    }
    if (const auto reader = readers_.find(address.key); reader != readers_.end()) return reader->second(address.index);
    const auto found = current_.find(address);
    if (found == current_.end()) return {gen2result::kInvalidKey, PropertyValue{}};
    return {gen2result::kOk, found->second.value};
}

uint16_t Gen2Model::write(PropertyAddress address, const PropertyValue& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto answer = writeAnswers_.find(address); answer != writeAnswers_.end()) return answer->second;
    if (selected_.count(address)) return gen2result::kPermissionDenied;
    const auto found = current_.find(address);
    if (found == current_.end()) return gen2result::kInvalidKey;
    if (found->second.readOnly) return gen2result::kPermissionDenied;
    if (found->second.value.index() != value.index()) return gen2result::kInvalidDataType;
    found->second.value = value;
    ++writes_;
    return gen2result::kOk;
}

void Gen2Model::answerReads(uint32_t key, Reader reader) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!reader) {
        readers_.erase(key);
        return;
    }
    readers_[key] = std::move(reader);
}

std::optional<PropertyValue> Gen2Model::value(PropertyAddress address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = current_.find(address);
    if (found == current_.end()) return std::nullopt;
    return found->second.value;
}

size_t Gen2Model::writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

void Gen2Model::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = defined_;
}

}  // namespace vxsim
