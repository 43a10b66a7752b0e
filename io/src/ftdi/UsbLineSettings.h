#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "VeltraxIO.h"
#include "ftdi/FtdiDriver.h"

namespace vxio {

// Serial line settings an adapter needs, from the configuration record in
// its EEPROM user area or from its product name.
struct UsbLineSettings {
    uint32_t baudRate = 0;  // 0: no rate known
    uint16_t flowControl = kFtdiFlowNone;
    bool fifo = false;
};

// The default product names of our adapters.
extern const char* const kProductQmx1;
extern const char* const kProductQmx2;
extern const char* const kProductSensor;
extern const char* const kProductZbu3d;

// 0 with the settings, or 4 when neither the record nor the product name
// tells them (an invalid record kind, or an unknown product without record).
// `description` is the one an open matches (channel suffix cut).
VX_IO_Result lineSettingsFromRecord(const std::string& description, uint32_t type,
                                    bool highSpeed, const std::vector<uint8_t>& userArea,
                                    UsbLineSettings* settings);

// Reads the whole user area of an open adapter; the driver's status.
FtdiStatus readConfigurationRecord(const FtdiDriver& driver, FtdiHandle handle,
                                   std::vector<uint8_t>* userArea);

}  // namespace vxio
