#pragma once

#include <termios.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/OwnedThread.h"
#include "platform/UniqueFd.h"
#include "platform/Waker.h"
#include "sim/LinePace.h"
#include "sim/Link.h"

namespace vxsim {

// A serial cable made of a pseudo-terminal pair: the host opens
// devicePath() as its serial port, the controller's side is held here.
// Either a test drives the controller's side by hand (write/read), or
// serve() attaches a protocol endpoint that a thread of the pair feeds.
class Pty {
public:
    Pty();  // throws std::system_error
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // The host's side, such as "/dev/pts/3".
    const std::string& devicePath() const { return devicePath_; }
    // The line settings the host's side has now.
    termios hostTermios() const;
    // A descriptor of the host's side that the pair keeps open, so that the
    // controller's side stays usable while the host has its port closed.
    int hostFd() const { return host_.get(); }

    // Bytes to the host; false when the cable is pulled or the host does not
    // take them within `timeout`.
    bool write(const void* data, size_t length,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    bool write(const std::string& bytes) { return write(bytes.data(), bytes.size()); }
    // What arrives from the host within `timeout`: the first chunk, at most `max` bytes.
    std::string read(size_t max, std::chrono::milliseconds timeout);
    // Collects until `count` bytes arrived or `timeout` passed.
    std::string readExactly(size_t count, std::chrono::milliseconds timeout);

    // Paces both directions at the rate the host set on its side (ten bit
    // times a byte), as a real line would; off at first.
    void setPaced(bool paced);
    // The bytes that have passed the line, from the host and to it, since
    // the last clear (counted paced or not).
    uint64_t bytesFromHost() const;
    uint64_t bytesToHost() const;
    void clearByteCounts();

    // Pulls the cable: closes the controller's side, the host sees a hang-up.
    void hangUp();
    bool isConnected() const;

    // Feeds the host's bytes to `handler` on a thread of the pair until
    // stop(), hangUp() or the destructor. Not for use together with read().
    void serve(LinkHandler& handler);
    // Ends serving and joins the thread. Not from inside the handler.
    void stop();

private:
    class PtyLink : public Link {
    public:
        explicit PtyLink(Pty& pty) : pty_(pty) {}
        bool send(const uint8_t* data, size_t length) override { return pty_.write(data, length); }
        void close() override { pty_.hangUp(); }

    private:
        Pty& pty_;
    };

    void serveLoop(LinkHandler& handler);
    // A descriptor of the controller's side that stays open until release();
    // -1 once the cable is pulled.
    int acquire();
    void release();
    // Waits until `length` bytes have passed `pace` at the host's rate, when
    // paced; false when a hang-up or stop comes first.
    bool passLine(LinePace& pace, size_t length);

    std::string devicePath_;
    vxplatform::UniqueFd host_;
    vxplatform::Waker wake_;  // wakes the serving thread and blocked reads and writes
    PtyLink link_{*this};

    mutable std::mutex mutex_;  // everything below
    std::condition_variable changed_;
    vxplatform::UniqueFd controller_;
    int users_ = 0;  // calls working on controller_ without the mutex
    bool closing_ = false;
    bool serving_ = false;
    bool paced_ = false;
    LinePace fromHost_;
    LinePace toHost_;
    // Its stop flag is read under mutex_, which the wake-up takes to notify.
    vxplatform::OwnedThread server_;
};

}  // namespace vxsim
