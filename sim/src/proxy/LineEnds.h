#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/SerialPort.h"
#include "platform/UniqueFd.h"
#include "platform/Waker.h"

namespace vxsim::proxy {

// One side of a relayed line, as the proxy's pumps see it. Reads and writes
// block until done, the other side goes away, or `wake` is set.
class LineEnd {
public:
    static constexpr ssize_t kWoken = -1;

    virtual ~LineEnd() = default;
    // Bytes read (> 0), 0 when the other side has gone, kWoken.
    virtual ssize_t read(uint8_t* buffer, size_t size, const vxplatform::Waker& wake) = 0;
    // True once every byte is written; false when the side is gone or woken.
    virtual bool write(const uint8_t* data, size_t length, const vxplatform::Waker& wake) = 0;
};

// A connected TCP socket.
class SocketEnd : public LineEnd {
public:
    explicit SocketEnd(vxplatform::UniqueFd fd) : fd_(std::move(fd)) {}
    ssize_t read(uint8_t* buffer, size_t size, const vxplatform::Waker& wake) override;
    bool write(const uint8_t* data, size_t length, const vxplatform::Waker& wake) override;
    // Ends what goes out; the other side reads its end.
    void shutdownSending();
    // After every pump has left: an orderly close, or a reset.
    void close(bool reset);

private:
    vxplatform::UniqueFd fd_;
};

// A TCP connection that is made again whenever the other side drops it,
// for a serial line whose far end outlives any one connection.
class RemadeSocketEnd : public LineEnd {
public:
    RemadeSocketEnd(std::string host, uint16_t port);  // throws std::system_error
    ssize_t read(uint8_t* buffer, size_t size, const vxplatform::Waker& wake) override;
    bool write(const uint8_t* data, size_t length, const vxplatform::Waker& wake) override;

private:
    // The connection now, made again when `gone` is the one that went.
    std::shared_ptr<SocketEnd> current(const std::shared_ptr<SocketEnd>& gone, const vxplatform::Waker& wake);

    std::string host_;
    uint16_t port_;
    std::mutex mutex_;
    std::shared_ptr<SocketEnd> socket_;
};

// A serial port (a simulator's pseudo-terminal) opened as its host.
class SerialEnd : public LineEnd {
public:
    SerialEnd(const std::string& path, uint32_t baud);  // throws std::system_error
    ~SerialEnd() override;
    ssize_t read(uint8_t* buffer, size_t size, const vxplatform::Waker& wake) override;
    bool write(const uint8_t* data, size_t length, const vxplatform::Waker& wake) override;
    // Wakes a write for good, before the pumps are joined.
    void interrupt() { port_.interrupt(); }

private:
    vxplatform::SerialPort port_;
};

// Opens `locator` ("network:HOST:PORT" or "serial:PATH") as the upstream
// side of a serial line. Throws std::invalid_argument or std::system_error.
std::unique_ptr<LineEnd> openLastingUpstream(const std::string& locator, uint32_t baud);
// Splits "network:HOST:PORT"; false for anything else.
bool splitNetworkLocator(const std::string& locator, std::string* host, uint16_t* port);

}  // namespace vxsim::proxy
