#include "ftdi/UsbLineSettings.h"

#include <algorithm>
#include <cstring>

namespace vxio {

const char* const kProductQmx1 = "Veltrax QMX-I";
const char* const kProductQmx2 = "Veltrax QMX2";
const char* const kProductSensor = "Veltrax Sensor";
const char* const kProductZbu3d = "Veltrax ZBU-3D";

namespace {

constexpr char kRecordMagic[4] = {'V', 'X', 'I', 'O'};
constexpr size_t kRecordLength = 5;

enum RecordKind : uint8_t {
    kByProductName = 0,
    kBaud500k = 1,
    kBaud12MRtsCts = 10,
    kFifo = 11,
};

struct ProductLine {
    const char* const* product;
    uint32_t baudRate;
    uint16_t flowControl;
};

// Products known without a record. "Veltrax Sensor" is not among them: it
// speaks only through its FIFO channel.
const ProductLine kProductLines[] = {
    {&kProductQmx1, 500000, kFtdiFlowNone},
    {&kProductQmx2, 12000000, kFtdiFlowRtsCts},
    {&kProductZbu3d, 500000, kFtdiFlowNone},
};

}  // namespace

VX_IO_Result lineSettingsFromRecord(const std::string& description, uint32_t type,
                                    bool highSpeed, const std::vector<uint8_t>& userArea,
                                    UsbLineSettings* settings) {
    *settings = UsbLineSettings{};
    uint8_t kind = kByProductName;
    if (userArea.size() >= kRecordLength &&
        std::memcmp(userArea.data(), kRecordMagic, sizeof(kRecordMagic)) == 0)
        kind = userArea[sizeof(kRecordMagic)];

    switch (kind) {
    case kBaud500k:
        settings->baudRate = 500000;
        return VX_IO_OK;
    case kBaud12MRtsCts:
        settings->baudRate = 12000000;
        settings->flowControl = kFtdiFlowRtsCts;
        return VX_IO_OK;
    case kFifo:
        settings->fifo = true;
        return VX_IO_OK;
    case kByProductName:
        break;
    default:
        return VX_IO_INVALID_OPTION;
    }

    if (type == kFtdiTypeDualHighSpeed && highSpeed) {
        settings->fifo = true;
        return VX_IO_OK;
    }
    for (const ProductLine& line : kProductLines) {
        if (description == *line.product) {
            settings->baudRate = line.baudRate;
            settings->flowControl = line.flowControl;
            return VX_IO_OK;
        }
    }
    return VX_IO_INVALID_OPTION;
}

FtdiStatus readConfigurationRecord(const FtdiDriver& driver, FtdiHandle handle,
                                   std::vector<uint8_t>* userArea) {
    userArea->clear();
    uint32_t size = 0;
    FtdiStatus status = driver.FT_EE_UASize(handle, &size);
    if (status != kFtdiOk) return status;
    std::vector<uint8_t> bytes(size ? size : 1);
    uint32_t read = 0;
    status = driver.FT_EE_UARead(handle, bytes.data(), size, &read);
    if (status != kFtdiOk) return status;
    bytes.resize(std::min(read, size));
    *userArea = std::move(bytes);
    return kFtdiOk;
}

}  // namespace vxio
