#pragma once

// An in-memory stand-in for the datagram network under a discovery host:
// the test sees what the host sends and hands it datagrams.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "discovery/Connection.h"
#include "discovery/Exceptions.h"

namespace vxtest {

class MemoryNetwork : public std::enable_shared_from_this<MemoryNetwork> {
public:
    struct Datagram {
        unsigned networkId = 0;
        veltraxnd::IPv4Address sender{};
        std::vector<uint8_t> bytes;
    };

    // A connection on this network; one at a time.
    std::unique_ptr<veltraxnd::Connection> connect();

    void inject(std::vector<uint8_t> bytes, veltraxnd::IPv4Address sender = {192, 0, 2, 2}, unsigned networkId = 1);
    // The next Receive throws NetworkException with this errno.
    void failReceive(int code);
    // Runs on the sending thread for each datagram the host sends, without
    // the network's lock: a simulated device's answer.
    void setResponder(std::function<void(const std::vector<uint8_t>&)> responder);

    std::vector<Datagram> sent();
    bool waitSent(size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // Until a Receive is waiting.
    bool waitReceiving(std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // Until the connection object has been destroyed.
    bool waitClosed(std::chrono::milliseconds deadline = std::chrono::seconds(5));

private:
    class Connection;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Datagram> incoming_;
    std::vector<Datagram> sent_;
    std::function<void(const std::vector<uint8_t>&)> responder_;
    int failure_ = 0;
    bool finished_ = false;
    bool open_ = false;
    unsigned receiving_ = 0;
    unsigned busy_ = 0;
};

class MemoryNetwork::Connection : public veltraxnd::Connection {
public:
    explicit Connection(std::shared_ptr<MemoryNetwork> network) : network_(std::move(network)) {}
    ~Connection() override {
        Finish(true);
        std::lock_guard<std::mutex> lock(network_->mutex_);
        network_->open_ = false;
        network_->changed_.notify_all();
    }

    void Finish(bool wait) override {
        std::unique_lock<std::mutex> lock(network_->mutex_);
        network_->finished_ = true;
        network_->changed_.notify_all();
        if (wait) network_->changed_.wait(lock, [this] { return network_->busy_ == 0; });
    }

    std::string GetNetworkName(unsigned networkId) override {
        return networkId == 0 ? "mem" : "net" + std::to_string(networkId);
    }

    bool Receive(uint32_t timeoutMs, unsigned& networkId, veltraxnd::IPv4Address& sender,
                 std::vector<uint8_t>& data) override {
        auto& n = *network_;
        std::unique_lock<std::mutex> lock(n.mutex_);
        if (n.finished_) return false;
        ++n.busy_;
        ++n.receiving_;
        n.changed_.notify_all();
        const bool ready = n.changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return n.finished_ || n.failure_ != 0 || !n.incoming_.empty();
        });
        --n.receiving_;
        --n.busy_;
        n.changed_.notify_all();
        if (!ready || n.finished_) return false;
        if (n.failure_ != 0) throw veltraxnd::NetworkException("Could not receive datagram", std::exchange(n.failure_, 0));
        networkId = n.incoming_.front().networkId;
        sender = n.incoming_.front().sender;
        data = std::move(n.incoming_.front().bytes);
        n.incoming_.pop_front();
        return true;
    }

    void Send(unsigned networkId, const std::vector<uint8_t>& data) override {
        std::function<void(const std::vector<uint8_t>&)> responder;
        {
            std::lock_guard<std::mutex> lock(network_->mutex_);
            if (network_->finished_) return;
            network_->sent_.push_back({networkId, {}, data});
            network_->changed_.notify_all();
            responder = network_->responder_;
        }
        if (responder) responder(data);
    }

private:
    std::shared_ptr<MemoryNetwork> network_;
};

inline std::unique_ptr<veltraxnd::Connection> MemoryNetwork::connect() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = false;
        open_ = true;
    }
    return std::make_unique<Connection>(shared_from_this());
}

inline void MemoryNetwork::inject(std::vector<uint8_t> bytes, veltraxnd::IPv4Address sender, unsigned networkId) {
    std::lock_guard<std::mutex> lock(mutex_);
    incoming_.push_back({networkId, sender, std::move(bytes)});
    changed_.notify_all();
}

inline void MemoryNetwork::failReceive(int code) {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = code;
    changed_.notify_all();
}

inline void MemoryNetwork::setResponder(std::function<void(const std::vector<uint8_t>&)> responder) {
    std::lock_guard<std::mutex> lock(mutex_);
    responder_ = std::move(responder);
}

inline std::vector<MemoryNetwork::Datagram> MemoryNetwork::sent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

inline bool MemoryNetwork::waitSent(size_t count, std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return sent_.size() >= count; });
}

inline bool MemoryNetwork::waitReceiving(std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return receiving_ > 0; });
}

inline bool MemoryNetwork::waitClosed(std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return !open_; });
}

}  // namespace vxtest
