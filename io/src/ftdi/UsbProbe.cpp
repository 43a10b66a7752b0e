#include "ftdi/UsbProbe.h"

#include <chrono>
#include <string>
#include <vector>

#include "VeltraxControlPrivate"
#include "ftdi/UsbIo.h"
#include "ftdi/UsbLineSettings.h"

namespace vxio {

namespace {

using Clock = std::chrono::steady_clock;

// The adapter's read and write time-out, and each request's send budget.
constexpr uint32_t kTimeoutMs = 100;
constexpr auto kTimeout = std::chrono::milliseconds(kTimeoutMs);
// How long the info reply is awaited.
constexpr auto kInfoWindow = std::chrono::milliseconds(100);
// Frames of other types may precede the handshake reply, but only for this
// long: every USB operation waits for the list mutex the probe holds.
constexpr auto kHandshakeDeadline = 3 * kTimeout;
constexpr uint8_t kLatency = 2;

constexpr uint8_t kProtocolQmx1 = 0x92;
constexpr uint8_t kProtocolZbu3d = 0x93;
constexpr uint8_t kProtocolFifoSensor = 0xB4;
// The status a sensor module in FIFO mode answers the info request with.
constexpr uint16_t kFifoSensorStatus = 0x7FFE;

// Products whose protocol the description tells; they are never opened.
struct KnownProduct {
    const char* const* description;
    uint8_t protocolId;
};

const KnownProduct kKnownProducts[] = {
    {&kProductQmx1, kProtocolQmx1},
    {&kProductZbu3d, kProtocolZbu3d},
};

// A frame as read: start byte, type, and what follows the type (payload,
// padding and CRC, unchecked).
struct Frame {
    uint8_t start = 0;
    uint8_t type = 0;
    std::vector<uint8_t> rest;

    uint16_t u16(size_t at) const { return static_cast<uint16_t>(rest[at] | rest[at + 1] << 8); }
    uint32_t u32(size_t at) const { return u16(at) | static_cast<uint32_t>(u16(at + 2)) << 16; }
};

enum class Read { Frame, Nothing, Failed };

// Reads one frame: the header, then as many bytes as its length gives.
// Nothing when not a byte came within the read time-out. Failed, with the
// result in `failure`, for a driver failure, a frame cut short, or a length
// no frame has (the length is checked before it is trusted).
Read readFrame(const FtdiDriver& driver, FtdiHandle handle, Frame* frame, VX_IO_Result* failure) {
    uint8_t header[vxctl::kHeaderBytes];
    uint32_t got = 0;
    FtdiStatus status = driver.FT_Read(handle, header, sizeof header, &got);
    if (status != kFtdiOk) {
        *failure = readFailure(status);
        return Read::Failed;
    }
    if (got == 0) return Read::Nothing;
    const size_t length = static_cast<size_t>(header[1] | header[2] << 8);
    if (got != sizeof header || length == 0 || length > vxctl::kMaxLength) {
        *failure = VX_IO_READ_ERROR;
        return Read::Failed;
    }
    std::vector<uint8_t> body(length);
    status = driver.FT_Read(handle, body.data(), static_cast<uint32_t>(length), &got);
    if (status != kFtdiOk) {
        *failure = readFailure(status);
        return Read::Failed;
    }
    if (got != length) {
        *failure = VX_IO_READ_ERROR;
        return Read::Failed;
    }
    frame->start = header[0];
    frame->type = body[0];
    frame->rest.assign(body.begin() + 1, body.end());
    return Read::Frame;
}

VX_IO_Result sendFrame(const FtdiDriver& driver, FtdiHandle handle, vxctl::Packet packet) {
    static const vxctl::Crc32 crc;
    packet.finish(&crc);
    return writeAll(driver, [handle] { return handle; }, packet.data(), packet.size(), kTimeout);
}

VX_IO_Result configure(const FtdiDriver& driver, FtdiHandle handle,
                       const FtdiDeviceInfoNode& node) {
    std::vector<uint8_t> userArea;
    if (readConfigurationRecord(driver, handle, &userArea) != kFtdiOk) return VX_IO_OPEN_FAILED;
    UsbLineSettings settings;
    const VX_IO_Result known = lineSettingsFromRecord(openDescription(node), node.type,
                                                      nodeHighSpeed(node), userArea, &settings);
    if (known != VX_IO_OK) return known;

    if (settings.baudRate != 0 && driver.FT_SetBaudRate(handle, settings.baudRate) != kFtdiOk)
        return VX_IO_OPEN_FAILED;
    if (settings.fifo && enterSyncFifoMode(driver, handle) != kFtdiOk) return VX_IO_OPEN_FAILED;
    if (driver.FT_SetDataCharacteristics(handle, kFtdiBits8, kFtdiStopBits1, kFtdiParityNone) !=
            kFtdiOk ||
        driver.FT_SetFlowControl(handle, settings.flowControl, 0, 0) != kFtdiOk ||
        driver.FT_SetTimeouts(handle, kTimeoutMs, kTimeoutMs) != kFtdiOk ||
        driver.FT_SetLatencyTimer(handle, kLatency) != kFtdiOk ||
        driver.FT_Purge(handle, kFtdiPurgeRx | kFtdiPurgeTx) != kFtdiOk)
        return VX_IO_OPEN_FAILED;
    return VX_IO_OK;
}

// Frames up to the handshake reply, which must carry the magic and status 0.
VX_IO_Result awaitHandshakeReply(const FtdiDriver& driver, FtdiHandle handle) {
    constexpr size_t kReplyBytes = 6;
    const auto deadline = Clock::now() + kHandshakeDeadline;
    while (Clock::now() < deadline) {
        Frame frame;
        VX_IO_Result failure = VX_IO_OK;
        const Read read = readFrame(driver, handle, &frame, &failure);
        if (read == Read::Failed) return failure;
        if (read == Read::Nothing || frame.start != vxctl::kSystemStart) return VX_IO_READ_ERROR;
        if (frame.type != static_cast<uint8_t>(vxctl::SystemType::HandshakeReply)) continue;
        if (frame.rest.size() < kReplyBytes || frame.u32(0) != vxctl::kHandshakeMagic ||
            frame.u16(4) != 0)
            return VX_IO_OPEN_FAILED;
        return VX_IO_OK;
    }
    return VX_IO_READ_ERROR;
}

// The protocol ids the info window brings: those of an info reply, the FIFO
// sensor's for its ready frame, or none when the window closes first (a read
// that times out closes it too).
VX_IO_Result awaitInfo(const FtdiDriver& driver, FtdiHandle handle,
                       const FtdiDeviceInfoNode& node, std::vector<uint8_t>* ids) {
    ids->clear();
    const auto end = Clock::now() + kInfoWindow;
    while (Clock::now() < end) {
        Frame frame;
        VX_IO_Result failure = VX_IO_OK;
        const Read read = readFrame(driver, handle, &frame, &failure);
        if (read == Read::Nothing) break;
        if (read == Read::Failed) return failure;
        if (frame.type == static_cast<uint8_t>(vxctl::SystemType::InfoReply)) {
            if (frame.rest.empty() || frame.rest.size() < frame.rest[0] + size_t{1})
                return VX_IO_OPEN_FAILED;
            ids->assign(frame.rest.begin() + 1, frame.rest.begin() + 1 + frame.rest[0]);
            return VX_IO_OK;
        }
        if (frame.type == static_cast<uint8_t>(vxctl::SystemType::SystemReadyWithStatus)) {
            if (frame.rest.size() < 2) return VX_IO_OPEN_FAILED;
            if (frame.u16(0) == kFifoSensorStatus && nodeIsDualChannel(node) &&
                openDescription(node) == kProductSensor) {
                ids->assign(1, kProtocolFifoSensor);
                return VX_IO_OK;
            }
        }
    }
    return VX_IO_OK;
}

}  // namespace

VX_IO_Result probeUsbAdapter(const FtdiDriver& driver, size_t index, UsbDeviceEntry& entry) {
    const std::string description = openDescription(entry.node);
    for (const KnownProduct& product : kKnownProducts) {
        if (description == *product.description) {
            entry.protocolIds.assign(1, product.protocolId);
            return VX_IO_OK;
        }
    }

    FtdiHandle handle = nullptr;
    if (driver.FT_Open(static_cast<int>(index), &handle) != kFtdiOk) return VX_IO_OPEN_FAILED;
    const HandleGuard guard(driver, handle);

    VX_IO_Result result = configure(driver, handle, entry.node);
    if (result == VX_IO_OK) result = sendFrame(driver, handle, vxctl::probeHandshakeFrame());
    if (result == VX_IO_OK) result = awaitHandshakeReply(driver, handle);
    if (result == VX_IO_OK) result = sendFrame(driver, handle, vxctl::infoRequestFrame());
    std::vector<uint8_t> ids;
    if (result == VX_IO_OK) result = awaitInfo(driver, handle, entry.node, &ids);
    if (result == VX_IO_OK) entry.protocolIds = std::move(ids);
    return result;
}

}  // namespace vxio
