#include "ConfigurationFile.h"

#include "HandControlErrors.h"
#include "QMXHConfiguration.h"

namespace hcmc {

namespace {

constexpr char kMagic[] = "QMXH Configuration";
constexpr int kMagicSize = sizeof kMagic - 1;
constexpr int kVersionAt = kMagicSize;
constexpr int kTypeAt = kVersionAt + 2;

// A little-endian 16-bit field; bytes past the end of the file count as 0.
int field16(const QByteArray& file, int at) {
    const auto byte = [&](int i) {
        return i < file.size() ? static_cast<int>(static_cast<uint8_t>(file[i])) : 0;
    };
    return byte(at) | (byte(at + 1) << 8);
}

}  // namespace

QByteArray header(int type) {
    QByteArray bytes(kMagic, kMagicSize);
    bytes.append(static_cast<char>(kFormatVersion & 0xFF));
    bytes.append(static_cast<char>((kFormatVersion >> 8) & 0xFF));
    bytes.append(static_cast<char>(type & 0xFF));
    bytes.append(static_cast<char>((type >> 8) & 0xFF));
    bytes.append(kHeaderSize - bytes.size(), '\0');
    return bytes;
}

int checkFile(const QByteArray& file, int& type) {
    if (!file.startsWith(QByteArray(kMagic, kMagicSize))) return kHcInvalidFileContent;
    if (field16(file, kVersionAt) != kFormatVersion) return kHcUnknownFileFormat;
    const ConfigurationGeometry* geometry = QMXHConfiguration::geometryOf(field16(file, kTypeAt));
    if (geometry == nullptr) return kHcUnknownConfiguration;
    if (file.size() != kHeaderSize + geometry->imageSize) return kHcInvalidFileContent;
    type = geometry->type;
    return kHcNoError;
}

}  // namespace hcmc
