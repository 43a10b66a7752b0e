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
                      const uint8_t* data, size_t length, std::chrono::milliseconds idle,
                      size_t* written) {
    size_t done = 0;
    if (written) *written = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    for (;;) {
        const FtdiHandle current = handle();
        if (!current) return VX_IO_WRITE_ERROR;
        const uint32_t asked = static_cast<uint32_t>(std::min<size_t>(length - done, UINT32_MAX));
        uint32_t took = 0;
        const FtdiStatus status = driver.FT_Write(current, data + done, asked, &took);
        if (status == kFtdiIoError) return VX_IO_TIMEOUT;
        if (status != kFtdiOk || took > asked) return VX_IO_WRITE_ERROR;
        done += took;
        if (written) *written = done;
        if (done == length) return VX_IO_OK;
        const auto now = std::chrono::steady_clock::now();
        if (took > 0) {
            lastProgress = now;
        } else if (now - lastProgress >= idle) {
            return VX_IO_WRITE_ERROR;
        }
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
