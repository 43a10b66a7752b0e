#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "FtdiDouble.h"
#include "platform/OwnedThread.h"
#include "platform/UniqueFd.h"
#include "platform/Waker.h"

namespace vxftdi {

class Driver;

// Carries an adapter's byte stream to a TCP peer while the host has the
// adapter open: connects at open, pumps the peer's bytes into the adapter's
// receive queue, and treats the peer closing as a lost device.
class Bridge {
public:
    Bridge(Driver& driver, std::string host, uint16_t port);
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

    Driver& driver_;
    std::string host_;
    uint16_t port_;
    vxplatform::UniqueFd socket_;
    vxplatform::Waker stop_;
    // Last: stopped and joined before the socket and the waker go.
    vxplatform::OwnedThread pump_;
};

}  // namespace vxftdi
