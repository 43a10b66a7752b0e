#include "QMXHConfiguration.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "HandControlErrors.h"

namespace {

constexpr ConfigurationGeometry kConfigurationTypes[] = {
    {0x3D01, 2048, 9, 128},
    {0xFD01, 2048, 3, 500},
};

constexpr uint8_t kErasedByte = 0xFF;

}  // namespace

QMXHConfiguration::QMXHConfiguration(QObject* parent) : QObject(parent) {}

const ConfigurationGeometry* QMXHConfiguration::geometryOf(int type) {
    for (const ConfigurationGeometry& row : kConfigurationTypes)
        if (row.type == type) return &row;
    return nullptr;
}

int QMXHConfiguration::setType(int type, int& size) {
    const ConfigurationGeometry* row = geometryOf(type);
    if (row == nullptr) return kHcUnknownConfiguration;
    image_.assign(static_cast<size_t>(row->imageSize), kErasedByte);
    type_ = row->type;
    size_ = row->imageSize;
    slotCount_ = row->slotCount;
    slotSize_ = row->slotSize;
    size = size_;
    return kHcNoError;
}

void QMXHConfiguration::clear() {
    image_.clear();
    image_.shrink_to_fit();
    type_ = 0;
    size_ = 0;
}

void QMXHConfiguration::takeFrom(QMXHConfiguration& other) {
    image_ = std::move(other.image_);
    type_ = other.type_;
    size_ = other.size_;
    slotCount_ = other.slotCount_;
    slotSize_ = other.slotSize_;
    other.clear();
}

uint8_t QMXHConfiguration::byteAt(int pos) const {
    if (pos < 0 || pos >= size_) return kErasedByte;
    return image_[static_cast<size_t>(pos)];
}

void QMXHConfiguration::setByteAt(int pos, uint8_t value) {
    if (pos < 0 || pos >= size_) return;
    image_[static_cast<size_t>(pos)] = value;
}

bool QMXHConfiguration::holdsChunk(int offset) const {
    return offset >= 0 && offset <= size_ - kChunkSize;
}

int QMXHConfiguration::readChunk(int offset, uint8_t* out) const {
    if (!holdsChunk(offset)) return kHcInvalidAddress;
    std::memcpy(out, image_.data() + offset, kChunkSize);
    return kHcNoError;
}

int QMXHConfiguration::writeChunk(int offset, const uint8_t* in) {
    if (!holdsChunk(offset)) return kHcInvalidAddress;
    std::memcpy(image_.data() + offset, in, kChunkSize);
    return kHcNoError;
}

int QMXHConfiguration::copySlotIn(int slot, const uint8_t* bytes, unsigned length) {
    const int64_t start = int64_t{slot} * length;
    if (slot >= 0 && length > 0 && start + length <= size_)
        std::memcpy(image_.data() + start, bytes, length);
    return kHcNoError;
}

void QMXHConfiguration::copySlotOut(int slot, uint8_t* bytes, unsigned capacity) const {
    const int64_t start = int64_t{slot} * slotSize_;
    if (slot < 0 || slotSize_ <= 0 || capacity < static_cast<unsigned>(slotSize_) ||
        start + slotSize_ > size_)
        return;
    std::memcpy(bytes, image_.data() + start, static_cast<size_t>(slotSize_));
}

QMXH::QMXH(QObject* parent) : QObject(parent) {}
