#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/OwnedThread.h"
#include "platform/UniqueFd.h"
#include "platform/Waker.h"
#include "sim/Link.h"

namespace vxsim {

// A simulated controller's Ethernet port: listens on one IPv4 address
// (127.0.0.1 unless a test namespace gives another) and carries every
// accepted connection as a Link to one LinkHandler.
//
// One thread, owned and joined by the server, accepts, reads and calls the
// handler (onConnect, onReceive, onDisconnect), so calls for all links come
// from that thread. Link::send and Link::close may be called from any
// thread; a Link stays a valid object until the server is destroyed (its
// send returns false once the connection is gone).
class TcpServer {
public:
    // Port 0 takes an ephemeral port. Throws std::system_error when the
    // address cannot be bound.
    explicit TcpServer(LinkHandler& handler, const std::string& address = "127.0.0.1",
                       uint16_t port = 0);
    ~TcpServer();

    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    const std::string& address() const { return address_; }
    uint16_t port() const { return port_; }
    // "network:" + address + ":" + port, ready for VX_IO_Open.
    std::string locator() const;

    // Stops accepting, drops every connection (onDisconnect for each) and
    // joins the thread; the destructor does it too.
    void stop();

    // Fault knobs. The greeting and the byte limit apply to connections
    // accepted afterwards; reading switches at once for all connections.
    void setGreeting(std::vector<uint8_t> bytes);  // sent on accept, before onConnect
    void setCloseAfter(size_t bytes);              // drop a connection after it delivered
                                                   // this many bytes; 0 = never
    void setReading(bool reading);                 // false: leave the host's bytes unread

    // Sends to every open connection; gives the number that took the bytes.
    size_t sendToAll(const uint8_t* data, size_t length);
    // Drops every open connection, as a controller reset would.
    void closeAll();

    size_t accepted() const;     // connections accepted so far
    size_t openLinks() const;    // connections not yet dropped
    bool waitAccepted(size_t count, std::chrono::milliseconds timeout) const;
    bool waitOpenLinks(size_t count, std::chrono::milliseconds timeout) const;

private:
    class Connection;

    void run();
    void acceptOne();
    void serviceConnection(const std::shared_ptr<Connection>& connection, short revents);
    void drop(const std::shared_ptr<Connection>& connection);
    void notifyState();

    LinkHandler& handler_;
    std::string address_;
    uint16_t port_ = 0;
    vxplatform::UniqueFd listener_;
    vxplatform::Waker waker_;

    mutable std::mutex mutex_;
    mutable std::condition_variable stateChanged_;
    bool reading_ = true;
    std::vector<uint8_t> greeting_;
    size_t closeAfter_ = 0;
    size_t accepted_ = 0;
    std::vector<std::shared_ptr<Connection>> open_;
    std::vector<std::shared_ptr<Connection>> dropped_;  // kept so late Link calls stay safe

    vxplatform::OwnedThread thread_;
};

// Sends every received byte straight back.
class EchoHandler : public LinkHandler {
public:
    void onReceive(Link& link, const uint8_t* data, size_t length) override;
};

// Answers scripted requests and records everything the host sent.
// Each step waits until its request shows up in the bytes received since
// the previous step, consumes them up to its end and sends its reply.
class ScriptedHandler : public LinkHandler {
public:
    void expect(std::vector<uint8_t> request, std::vector<uint8_t> reply);

    std::vector<uint8_t> received() const;  // every byte, all links, in order
    size_t connects() const;
    size_t disconnects() const;
    bool waitReceived(size_t count, std::chrono::milliseconds timeout) const;
    bool waitDisconnects(size_t count, std::chrono::milliseconds timeout) const;

    void onConnect(Link& link) override;
    void onReceive(Link& link, const uint8_t* data, size_t length) override;
    void onDisconnect(Link& link) override;

private:
    struct Step {
        std::vector<uint8_t> request;
        std::vector<uint8_t> reply;
    };

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Step> steps_;
    size_t nextStep_ = 0;
    std::vector<uint8_t> pending_;  // received but not yet matched by a step
    std::vector<uint8_t> received_;
    size_t connects_ = 0;
    size_t disconnects_ = 0;
};

}  // namespace vxsim
