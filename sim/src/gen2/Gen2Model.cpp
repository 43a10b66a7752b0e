#include "sim/Gen2Model.h"

namespace vxsim {

void Gen2Model::define(PropertyAddress address, PropertyValue value, bool readOnly) {
    std::lock_guard<std::mutex> lock(mutex_);
    defined_[address] = {value, readOnly};
    current_[address] = {std::move(value), readOnly};
}

std::pair<uint16_t, PropertyValue> Gen2Model::read(PropertyAddress address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto reader = readers_.find(address.key); reader != readers_.end()) return reader->second(address.index);
    const auto found = current_.find(address);
    if (found == current_.end()) return {gen2result::kInvalidKey, PropertyValue{}};
    return {gen2result::kOk, found->second.value};
}

uint16_t Gen2Model::write(PropertyAddress address, const PropertyValue& value) {
    std::lock_guard<std::mutex> lock(mutex_);
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
