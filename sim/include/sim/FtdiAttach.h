#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/LinePace.h"
#include "sim/Link.h"

struct VxFtdiDoubleApi;

namespace vxsim {

struct FtdiAdapter {
    std::string serial = "VX000001";
    std::string description = "Veltrax QMX-I";
    uint32_t chipId = 0x1234ABCD;
    // The EEPROM user area (its configuration record), the driver's device
    // type (0: a one-channel chip) and node flags (VXFTDI_FLAG_HIGH_SPEED).
    std::vector<uint8_t> userArea = {};
    uint32_t type = 0;
    uint32_t flags = 0;
};

// The adapter in the driver double's text form (VXFTDI_DEVICES) for a host
// in another process: its bridge carries the adapter's bytes to the TCP
// peer at `host`:`port`, and with `paced` the bridge paces them at the baud
// rate the host set, as FtdiAttachment::setPaced does.
std::string bridgeAdapterText(const FtdiAdapter& adapter, const std::string& host, uint16_t port,
                              bool paced);

// A simulated USB adapter in the FTDI driver double whose far side is a
// protocol endpoint: the host opening the adapter connects, its writes are
// the endpoint's input, the endpoint's sends are what the host reads.
// Unplugs the adapter when destroyed.
class FtdiAttachment {
public:
    // Throws std::runtime_error when the double cannot be loaded or refuses
    // the adapter.
    FtdiAttachment(LinkHandler& handler, const FtdiAdapter& adapter = {});
    ~FtdiAttachment();

    FtdiAttachment(const FtdiAttachment&) = delete;
    FtdiAttachment& operator=(const FtdiAttachment&) = delete;

    int adapter() const { return adapter_; }
    const VxFtdiDoubleApi& api() const { return *api_; }

    // Paces both directions at the baud rate the host set on the adapter
    // (ten bit times a byte), as the chip's serial line would; off at first.
    void setPaced(bool paced);
    // The bytes that have passed the line, from the host and to it, since
    // the last clear (counted paced or not).
    uint64_t bytesFromHost() const;
    uint64_t bytesToHost() const;
    void clearByteCounts();

private:
    class AdapterLink;

    // Waits until `length` bytes have passed `pace` at the host's rate, when
    // paced; false when the attachment ends first.
    bool passLine(LinePace& pace, size_t length);

    static int onOpen(void* context, int adapter);
    static void onWrite(void* context, int adapter, const uint8_t* data, size_t length);
    static void onClose(void* context, int adapter);

    LinkHandler& handler_;
    const VxFtdiDoubleApi* api_;
    int adapter_ = 0;
    std::unique_ptr<AdapterLink> link_;

    mutable std::mutex mutex_;  // guards what follows
    std::condition_variable ending_;
    bool ended_ = false;
    bool paced_ = false;
    LinePace fromHost_;
    LinePace toHost_;
};

}  // namespace vxsim
