#include "ftdi/UsbIo.h"

#include <algorithm>
#include <thread>

namespace vxio {

namespace {

constexpr uint32_t kUsbTransferSize = 65536;
constexpr uint8_t kAllPins = 0xFF;
// The chip needs this pause between resetting the bit mode and entering
// synchronous FIFO mode.
constexpr auto kBitModeSettle = std::chrono::milliseconds(10);

}  // namespace

VX_IO_Result writeAll(const FtdiDriver& driver, const std::function<FtdiHandle()>& handle,
                      const uint8_t* data, size_t length, std::chrono::milliseconds budget) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const FtdiHandle current = handle();
        if (!current) return VX_IO_WRITE_ERROR;
        const uint32_t asked = static_cast<uint32_t>(std::min<size_t>(length, UINT32_MAX));
        uint32_t written = 0;
        const FtdiStatus status = driver.FT_Write(current, data, asked, &written);
        if (status == kFtdiIoError) return VX_IO_TIMEOUT;
        if (status != kFtdiOk || written > asked) return VX_IO_WRITE_ERROR;
        data += written;
        length -= written;
        if (length == 0) return VX_IO_OK;
        if (std::chrono::steady_clock::now() - start > budget) return VX_IO_WRITE_ERROR;
    }
}

VX_IO_Result readFailure(FtdiStatus status) {
    return status == kFtdiIoError ? VX_IO_TIMEOUT : VX_IO_READ_ERROR;
}

FtdiStatus enterSyncFifoMode(const FtdiDriver& driver, FtdiHandle handle) {
    FtdiStatus status = driver.FT_SetBitMode(handle, kAllPins, kFtdiBitModeReset);
    if (status != kFtdiOk) return status;
    std::this_thread::sleep_for(kBitModeSettle);
    status = driver.FT_SetBitMode(handle, kAllPins, kFtdiBitModeSyncFifo);
    if (status != kFtdiOk) return status;
    return driver.FT_SetUSBParameters(handle, kUsbTransferSize, kUsbTransferSize);
}

}  // namespace vxio
