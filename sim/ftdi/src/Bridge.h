#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "FtdiDouble.h"
#include "platform/OwnedThread.h"
#include "platform/UniqueFd.h"
#include "platform/Waker.h"
#include "sim/LinePace.h"

namespace vxftdi {

using vxsim::LinePace;

class Driver;

// Carries an adapter's byte stream to a TCP peer while the host has the
// adapter open: connects at open, pumps the peer's bytes into the adapter's
// receive queue, and treats the peer closing as a lost device. Paced, the
// bytes pass each way at the baud rate the host set on the adapter, as the
// chip's serial line to the device would carry them.
class Bridge {
public:
    Bridge(Driver& driver, std::string host, uint16_t port, bool paced);
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // The adapter's peer record pointing at this bridge.
    VxFtdiPeer peer();

private:
    static int onOpen(void* context, int adapter);
    static void onWrite(void* context, int adapter, const uint8_t* data, size_t length);
    static void onClose(void* context, int adapter);

    bool connect();
    void pump(int adapter);
    void disconnect();
    // Waits until `length` bytes have passed `pace` at the adapter's rate,
    // when paced; false when the pump is told to stop first.
    bool passLine(LinePace& pace, int adapter, size_t length);

    Driver& driver_;
    std::string host_;
    uint16_t port_;
    const bool paced_;
    std::mutex paceMutex_;  // guards the two paces
    std::condition_variable paceWake_;
    vxsim::LinePace fromHost_;
    vxsim::LinePace toHost_;
    vxplatform::UniqueFd socket_;
    vxplatform::Waker stop_;
    // Last: stopped and joined before the socket and the waker go.
    vxplatform::OwnedThread pump_;
};

}  // namespace vxftdi
