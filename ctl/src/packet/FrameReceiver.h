#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "VeltraxCTL.h"
#include "VeltraxControlPrivate"

namespace vxctl {

// Request IDs of replies run 1..239; ID 0 is a request nobody waits for.
inline constexpr uint8_t kFirstRequestId = 1;
inline constexpr uint8_t kLastRequestId = 239;

// Device data types beyond the public ones that carry 4- and 8-byte values.
inline constexpr VX_CTL_DataType kDataTypeOther32 = 0x10;
inline constexpr VX_CTL_DataType kDataTypeOther64 = 0x11;

// The values of a property value (0x82) or property array (0x83) reply:
// `count` values of `dataType`, or `count` zero-terminated strings laid one
// after the other (`size` bytes up to and including the last zero byte).
struct ValueReply {
    uint8_t requestId = 0;
    VX_CTL_DataType dataType = 0;
    uint16_t count = 0;
    const uint8_t* values = nullptr;
    size_t size = 0;
};

// A system-ready frame (0xF0 with a status, 0xF1 without); `lengthOk` false
// when its length was not the one its type has. Whether it is awaited is
// the receiver's to judge.
struct SystemReady {
    bool lengthOk = false;
    uint16_t status = 0;
};

// What a device does with the frames it receives. Called on the I/O
// library's reader thread, one frame at a time.
class FrameHandlers {
public:
    virtual ~FrameHandlers() = default;
    // A protocol error found while receiving (damaged, short or malformed
    // frame, request ID outside 1..239).
    virtual void protocolError(VX_CTL_Result result) = 0;
    // A request ID in 1..239 completes with `result`: the controller's own
    // result from a completion, or VX_CTL_INVALID_PACKET for a value reply
    // that could not be read. Whether such a request is pending is the
    // handler's to check.
    virtual void completion(uint8_t requestId, VX_CTL_Result result) = 0;
    virtual void valueReply(const ValueReply& reply) = 0;
    virtual void event(uint8_t index, uint16_t type, int32_t parameter) = 0;
    virtual void streamFlowStatus(uint32_t first, uint32_t second) = 0;
    virtual void versionReply(const std::array<uint32_t, 4>& words) = 0;
    virtual void handshakeReply(uint16_t status) = 0;
    virtual void systemReady(const SystemReady& ready) = 0;
};

// Checks one whole frame and hands it to the handler of its start byte and
// type. Frames of other start bytes or types are dropped without a report.
// With `crc` false the frame ends after its padding.
void dispatchFrame(const uint8_t* frame, size_t size, bool crc, FrameHandlers& handlers);

// Cuts the byte stream of one device into frames, checks their CRC and
// dispatches them. Chunks may end anywhere: inside a header, inside a
// frame, or after several frames. After a header with an impossible length
// the bytes are skipped up to the next known start byte, so that stray bytes
// lose no later frame.
class FrameReceiver {
public:
    // `crc` null: frames carry no CRC. Otherwise it outlives the receiver.
    explicit FrameReceiver(const Crc32* crc);

    // Runs on the I/O library's reader thread only.
    void receive(const uint8_t* data, size_t size, FrameHandlers& handlers);
    // After a device reset the controller may send one zero byte before its
    // ready frame: the first byte examined next is dropped when it is zero.
    // Callable from any thread.
    void dropOneZeroByte() { dropZero_.store(true); }
    // Forgets a partly received frame before a new connection starts. Only
    // while no reader thread can call receive().
    void reset() {
        buffer_.clear();
        resyncing_ = false;
        dropZero_.store(false);
    }

private:
    void consume(const uint8_t* data, size_t size, FrameHandlers& handlers);
    // Reports a header with an impossible length (once until a plausible
    // header follows) and looks for the next start byte after its first byte.
    void resync(FrameHandlers& handlers);
    void frameComplete(FrameHandlers& handlers);

    const Crc32* crc_;
    std::vector<uint8_t> buffer_;
    // Skipping bytes after a report, until a plausible header is found.
    bool resyncing_ = false;
    std::atomic<bool> dropZero_{false};
};

}  // namespace vxctl
