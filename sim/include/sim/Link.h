#pragma once

#include <cstddef>
#include <cstdint>

namespace vxsim {

// The controller's side of one host connection, whatever carries it (TCP
// loopback, a pseudo-terminal, the FTDI driver double, or in-process).
class Link {
public:
    virtual ~Link() = default;
    // Bytes to the host; false once the connection is gone.
    virtual bool send(const uint8_t* data, size_t length) = 0;
    // Drops the connection, as a pulled cable would.
    virtual void close() = 0;
};

// A protocol endpoint: what a simulated controller does with the host's bytes.
// Calls for one link come from one thread at a time.
class LinkHandler {
public:
    virtual ~LinkHandler() = default;
    virtual void onConnect(Link&) {}
    virtual void onReceive(Link& link, const uint8_t* data, size_t length) = 0;
    virtual void onDisconnect(Link&) {}
};

}  // namespace vxsim
