#pragma once

#include <QMetaType>
#include <QObject>

#include <cstdint>
#include <vector>

// One known configuration type of the hand control module and the geometry
// of its image.
struct ConfigurationGeometry {
    int type;
    int imageSize;
    int slotCount;
    int slotSize;
};

// The configuration image of the hand control module as the configurator
// holds it: a byte array whose geometry follows from the configuration type.
// Slot n is the bytes n × slot size to (n + 1) × slot size − 1; the device is
// read and written slot by slot, files carry the whole image. Not locked:
// one thread works on it at a time.
class QMXHConfiguration : public QObject {
    Q_OBJECT

public:
    static constexpr int kChunkSize = 8;

    explicit QMXHConfiguration(QObject* parent = nullptr);

    // The row of a known type, or null.
    static const ConfigurationGeometry* geometryOf(int type);

    // A known type gets a new image, every byte 0xFF as in an erased
    // EEPROM, and `size` its size; an unknown one (0 included) gives 1009
    // and changes nothing.
    int setType(int type, int& size);
    // No image and type 0; slot count and slot size keep their values.
    void clear();
    // Takes `other`'s type, geometry and image; `other` is left cleared.
    void takeFrom(QMXHConfiguration& other);

    int type() const { return type_; }
    int size() const { return size_; }
    int slotCount() const { return slotCount_; }
    int slotSize() const { return slotSize_; }
    int highlightedPortCount() const { return highlightedPortCount_; }
    const uint8_t* data() const { return image_.data(); }

    // Outside the image reads give 0xFF and writes are ignored.
    uint8_t byteAt(int pos) const;
    void setByteAt(int pos, uint8_t value);
    // 8 bytes from `offset` (any offset from 0 to size − 8), else 1010 and
    // nothing copied.
    int readChunk(int offset, uint8_t* out) const;
    int writeChunk(int offset, const uint8_t* in);
    // `length` bytes at slot × length, unless they reach past the image.
    int copySlotIn(int slot, const uint8_t* bytes, unsigned length);
    // The slot's bytes, when `capacity` holds them and the slot lies within
    // the image (which, by the image size, may be past the slot count).
    void copySlotOut(int slot, uint8_t* bytes, unsigned capacity) const;

private:
    bool holdsChunk(int offset) const;

    std::vector<uint8_t> image_;
    int type_ = 0;
    int size_ = 0;
    int highlightedPortCount_ = 3;
    int slotCount_ = 0;
    int slotSize_ = 0;
};

// The hand control module in the signatures of the device operations; it
// carries nothing they read.
class QMXH : public QObject {
    Q_OBJECT

public:
    explicit QMXH(QObject* parent = nullptr);
};

Q_DECLARE_METATYPE(QMXHConfiguration*)
Q_DECLARE_METATYPE(QMXH*)
