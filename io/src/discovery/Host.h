#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "discovery/Address.h"
#include "discovery/Connection.h"
#include "discovery/Exceptions.h"
#include "discovery/Packet.h"
#include "platform/OwnedThread.h"

namespace veltraxnd {

// One device as a Discover Reply or Inform described it.
struct DiscoverInfo {
    uint32_t DeviceType = 0;
    std::string SerialNumber;
    IPv4Address address{};  // the datagram's sender
    uint8_t ProtocolId = 0;
    uint16_t Port = 0;
    bool Available = false;
    std::string Info;
    int64_t lastSeen = 0;  // steady-clock nanoseconds when the datagram was handled
    bool isReply = false;  // false for a Discover Inform
};

struct GetDeviceConfigResult {
    ResultCode result = ResultCode::Success;
    DeviceConfig config;
};

// Steady-clock time in nanoseconds, as lastSeen holds it.
int64_t steadyNanoseconds();

// Runs the discovery protocol over one connection: sends packets, receives
// and decodes datagrams on a thread of its own, hands Discover Replies and
// Informs to its listeners and pairs Result and Configuration answers with
// waiting requests by token.
class Host : public std::enable_shared_from_this<Host> {
    struct CreateKey {};

public:
    // Called on the receive thread, with no lock of the host held; returning
    // false removes the listener.
    using DiscoverListener = std::function<bool(const DiscoverInfo&)>;

    static std::shared_ptr<Host> Create();
    explicit Host(CreateKey);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Takes the connection and starts the receive thread.
    // InvalidOperationException "Host already running" while running.
    void Start(std::unique_ptr<Connection> connection);
    // Finishes the connection and ends the receive thread; safe when not
    // running. Waiting requests fail with RequestCancelledException. It
    // joins the receive thread, so the caller must hold no lock that a
    // listener takes; from a listener it lets the thread end on its own.
    void Stop();
    // False once the receive thread has ended, on its own or by Stop.
    bool IsRunning() const;
    // The failure that ended the receive thread; null otherwise or after Stop.
    std::exception_ptr LastError() const;

    // Sends on every network of the connection. InvalidOperationException
    // "Host is not running" without a connection; NetworkException.
    void Send(const VX_ND_Packet& packet);
    // One Discover Request; the replies reach the listeners.
    void Discover(uint32_t deviceType, const std::string& serialNumber);

    uint64_t AddDiscoverListener(DiscoverListener listener);
    // Once this returns, the listener is not running and will not be called;
    // on the receive thread itself it does not wait for the listener running
    // there.
    void RemoveDiscoverListener(uint64_t id);

    // Requests to the device with this serial number. Each waits up to
    // `timeout` for the answer: nullopt when none came. ProtocolException for
    // an answer that does not decode; RequestCancelledException when the host
    // stopped first.
    std::optional<GetDeviceConfigResult> GetDeviceConfig(uint32_t deviceType, const std::string& serialNumber,
                                                         std::chrono::milliseconds timeout);
    std::optional<ResultCode> SetDeviceConfig(uint32_t deviceType, const std::string& serialNumber,
                                              const DeviceConfig& config, std::chrono::milliseconds timeout);
    std::optional<ResultCode> ResetDeviceConfig(uint32_t deviceType, const std::string& serialNumber,
                                                std::chrono::milliseconds timeout);
    std::optional<ResultCode> SetDeviceInfo(uint32_t deviceType, const std::string& serialNumber,
                                            const std::string& info, std::chrono::milliseconds timeout);

private:
    // What a waiting request is given. Failures travel as data, and the
    // waiter raises them on its own thread.
    template <typename T>
    struct Answer {
        std::optional<T> value;
        const char* protocolFailure = nullptr;
        bool cancelled = false;
    };
    template <typename T>
    using RequestTable = std::map<TokenBytes, std::promise<Answer<T>>>;

    static void receiveLoop(std::weak_ptr<Host> weak, std::shared_ptr<Connection> connection,
                            const vxplatform::OwnedThread& thread, uint64_t generation);
    void handleDatagram(Connection& connection, unsigned networkId, const IPv4Address& sender,
                        const std::vector<uint8_t>& bytes);
    void dispatch(const IPv4Address& sender, const VX_ND_Packet& packet);
    void dispatchResult(const VX_ND_Packet& packet);
    void dispatchConfiguration(const VX_ND_Packet& packet);
    void dispatchDiscover(const IPv4Address& sender, const VX_ND_Packet& packet);

    template <typename T>
    std::optional<T> request(RequestTable<T>& table, VX_ND_Packet packet, std::chrono::milliseconds timeout);

    mutable std::mutex mutex_;
    // Shared with the receive thread itself, which may outlive the host (a
    // Stop or the last owner letting go on that thread) and still reads its
    // stop flag; the last of the two owners ends it.
    std::shared_ptr<vxplatform::OwnedThread> thread_;
    std::shared_ptr<Connection> connection_;
    bool running_ = false;
    // Tells a receive thread of an earlier Start, still finishing after a
    // Stop on that thread itself, from the current one.
    uint64_t generation_ = 0;
    std::exception_ptr lastError_;
    std::mt19937_64 engine_;
    RequestTable<ResultCode> configChangeRequests_;  // Set and Reset Configuration
    RequestTable<ResultCode> deviceInfoRequests_;    // Set Device Info
    RequestTable<GetDeviceConfigResult> configRequests_;

    // Never held while a listener runs, so it comes after every lock a
    // listener takes and a caller holding those may still add and remove.
    std::mutex listenerMutex_;
    std::condition_variable listenerIdle_;
    std::map<uint64_t, std::shared_ptr<DiscoverListener>> listeners_;
    uint64_t nextListenerId_ = 1;
    uint64_t runningListener_ = 0;  // 0: none
    std::thread::id runningOn_;
};

}  // namespace veltraxnd
