#include "discovery/Host.h"

#include <cerrno>

#include "discovery/DiscoveryLog.h"

namespace veltraxnd {

namespace {

constexpr uint32_t ReceiveTimeoutMs = 5000;

// Waiters learn of a stop as an answer: no exception object crosses threads.
template <typename T>
void cancelAll(T& table) {
    for (auto& entry : table) entry.second.set_value({std::nullopt, nullptr, true});
    table.clear();
}

// A request to the device of this type and serial number; request() gives
// it its token.
VX_ND_Packet addressedPacket(uint8_t opCode, uint32_t deviceType, const std::string& serialNumber,
                             std::vector<uint8_t> data = {}) {
    VX_ND_Packet packet;
    packet.OpCode = opCode;
    packet.DeviceType = deviceType;
    packet.SerialNumber = serialNumber;
    packet.Data = std::move(data);
    return packet;
}

template <typename T, typename Promise>
bool takeRequest(T& table, const TokenBytes& token, Promise& out) {
    auto it = table.find(token);
    if (it == table.end()) return false;
    out = std::move(it->second);
    table.erase(it);
    return true;
}

}  // namespace

int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::shared_ptr<Host> Host::Create() { return std::make_shared<Host>(CreateKey{}); }

Host::Host(CreateKey) : engine_(std::random_device{}()) {}

Host::~Host() {
    Stop();
    std::lock_guard<std::mutex> lock(mutex_);
    cancelAll(configChangeRequests_);
    cancelAll(deviceInfoRequests_);
    cancelAll(configRequests_);
}

void Host::Start(std::unique_ptr<Connection> connection) {
    // A receive thread that ended on its own, or is still finishing after a
    // Stop on itself; released once the lock is: it may still take it.
    std::shared_ptr<vxplatform::OwnedThread> earlier;
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) throw InvalidOperationException("Host already running");
    earlier = std::move(thread_);

    connection_ = std::shared_ptr<Connection>(std::move(connection));
    lastError_ = nullptr;
    const uint64_t generation = ++generation_;
    auto thread = std::make_shared<vxplatform::OwnedThread>();
    const bool started = thread->start(
        [weak = weak_from_this(), connection = connection_, thread, generation] {
            receiveLoop(weak, connection, *thread, generation);
        },
        [connection = connection_] { connection->Finish(false); });
    if (!started) {
        connection_->Finish(true);
        connection_.reset();
        throw NetworkException("Could not start receive thread", EAGAIN);
    }
    thread_ = std::move(thread);
    running_ = true;
}

void Host::Stop() {
    std::shared_ptr<vxplatform::OwnedThread> receiver;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        receiver = std::move(thread_);
        // First, so that the loop sees the stop once the receive is woken.
        if (receiver) receiver->requestStop();
        if (connection_) {
            cancelAll(configChangeRequests_);
            cancelAll(deviceInfoRequests_);
            cancelAll(configRequests_);
            connection_->Finish(running_);
            connection_.reset();
            lastError_ = nullptr;
        }
        running_ = false;
    }
    // From a listener, on the receive thread itself, this returns at once:
    // the thread leaves the loop on its own.
    if (receiver) receiver->join();
}

bool Host::IsRunning() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

std::exception_ptr Host::LastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
}

void Host::Send(const VX_ND_Packet& packet) {
    std::shared_ptr<Connection> connection;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!connection_) throw InvalidOperationException("Host is not running");
        connection = connection_;
    }
    const auto bytes = encodePacket(packet);
    if (DiscoveryLog::enabled(DiscoveryLog::Packets | DiscoveryLog::RawPackets)) {
        const std::string network = connection->GetNetworkName(0);
        DiscoveryLog::write(DiscoveryLog::Packets,
                            "Host sending packet over " + network + ": " + packetText(packet));
        DiscoveryLog::write(DiscoveryLog::RawPackets,
                            "Host sending raw packet over " + network + ": " + rawPacketText(bytes));
    }
    connection->Send(0, bytes);
}

void Host::Discover(uint32_t deviceType, const std::string& serialNumber) {
    TokenBytes token;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        token = generateToken(engine_);
    }
    Send(makeDiscoverRequest(deviceType, serialNumber, token));
}

uint64_t Host::AddDiscoverListener(DiscoverListener listener) {
    auto shared = std::make_shared<DiscoverListener>(std::move(listener));
    std::lock_guard<std::mutex> lock(listenerMutex_);
    const uint64_t id = nextListenerId_++;
    listeners_.emplace(id, std::move(shared));
    return id;
}

void Host::RemoveDiscoverListener(uint64_t id) {
    std::unique_lock<std::mutex> lock(listenerMutex_);
    listeners_.erase(id);
    if (runningListener_ == id && runningOn_ == std::this_thread::get_id()) return;
    listenerIdle_.wait(lock, [&] { return runningListener_ != id; });
}

template <typename T>
std::optional<T> Host::request(RequestTable<T>& table, VX_ND_Packet packet, std::chrono::milliseconds timeout) {
    std::future<Answer<T>> pending;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!connection_) throw InvalidOperationException("Host is not running");
        packet.Token = generateToken(engine_);
        pending = table[packet.Token].get_future();
    }
    auto forget = [&] {
        std::lock_guard<std::mutex> lock(mutex_);
        table.erase(packet.Token);
    };
    try {
        Send(packet);
    } catch (...) {
        forget();
        throw;
    }
    if (pending.wait_for(timeout) != std::future_status::ready) {
        forget();
        return std::nullopt;
    }
    const Answer<T> answer = pending.get();
    if (answer.cancelled) throw RequestCancelledException("Cancelled");
    if (answer.protocolFailure) throw ProtocolException(answer.protocolFailure);
    return answer.value;
}

std::optional<GetDeviceConfigResult> Host::GetDeviceConfig(uint32_t deviceType, const std::string& serialNumber,
                                                           std::chrono::milliseconds timeout) {
    return request(configRequests_, addressedPacket(OpGetConfiguration, deviceType, serialNumber), timeout);
}

std::optional<ResultCode> Host::SetDeviceConfig(uint32_t deviceType, const std::string& serialNumber,
                                                const DeviceConfig& config, std::chrono::milliseconds timeout) {
    return request(configChangeRequests_,
                   addressedPacket(OpSetConfiguration, deviceType, serialNumber, encodeConfiguration(config)), timeout);
}

std::optional<ResultCode> Host::ResetDeviceConfig(uint32_t deviceType, const std::string& serialNumber,
                                                  std::chrono::milliseconds timeout) {
    return request(configChangeRequests_, addressedPacket(OpResetConfiguration, deviceType, serialNumber), timeout);
}

std::optional<ResultCode> Host::SetDeviceInfo(uint32_t deviceType, const std::string& serialNumber,
                                              const std::string& info, std::chrono::milliseconds timeout) {
    return request(deviceInfoRequests_,
                   addressedPacket(OpSetDeviceInfo, deviceType, serialNumber, encodeDeviceInfo(info)), timeout);
}

// The thread holds the host only while it handles a datagram, so the last
// owner may let go at any time, even from a listener on this thread.
void Host::receiveLoop(std::weak_ptr<Host> weak, std::shared_ptr<Connection> connection,
                       const vxplatform::OwnedThread& thread, uint64_t generation) {
    std::exception_ptr error;
    try {
        while (!thread.stopRequested()) {
            unsigned networkId = 0;
            IPv4Address sender{};
            std::vector<uint8_t> bytes;
            if (!connection->Receive(ReceiveTimeoutMs, networkId, sender, bytes)) continue;
            auto self = weak.lock();
            if (!self) break;
            self->handleDatagram(*connection, networkId, sender, bytes);
        }
    } catch (...) {
        error = std::current_exception();
    }
    connection->Finish(true);
    if (auto self = weak.lock()) {
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (self->generation_ == generation) {
            self->lastError_ = error;
            self->running_ = false;
        }
    }
}

void Host::handleDatagram(Connection& connection, unsigned networkId, const IPv4Address& sender,
                          const std::vector<uint8_t>& bytes) {
    VX_ND_Packet packet;
    const DecodeResult result = decodePacket(bytes, packet);
    const bool valid = result == DecodeResult::Valid;
    if (DiscoveryLog::enabled(DiscoveryLog::Packets | DiscoveryLog::RawPackets)) {
        const std::string origin = connection.GetNetworkName(networkId) + " from " + addressText(sender);
        DiscoveryLog::write(DiscoveryLog::RawPackets, std::string("Host got ") + (valid ? "valid " : "invalid ") +
                                                          "raw packet over " + origin + ": " + rawPacketText(bytes));
        if (valid)
            DiscoveryLog::write(DiscoveryLog::Packets, "Host got packet over " + origin + ": " + packetText(packet));
    }
    if (valid) dispatch(sender, packet);
}

void Host::dispatch(const IPv4Address& sender, const VX_ND_Packet& packet) {
    switch (packet.OpCode) {
    case OpResult:
        dispatchResult(packet);
        break;
    case OpConfiguration:
        dispatchConfiguration(packet);
        break;
    case OpDiscoverReply:
    case OpDiscoverInform:
        dispatchDiscover(sender, packet);
        break;
    default:
        break;
    }
}

void Host::dispatchResult(const VX_ND_Packet& packet) {
    std::promise<Answer<ResultCode>> codeRequest;
    std::promise<Answer<GetDeviceConfigResult>> configRequest;
    bool isCode = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        isCode = takeRequest(configChangeRequests_, packet.Token, codeRequest) ||
                 takeRequest(deviceInfoRequests_, packet.Token, codeRequest);
        if (!isCode && !takeRequest(configRequests_, packet.Token, configRequest)) return;
    }
    ResultCode code{};
    const bool decoded = decodeResult(packet, code);
    const char* failure = decoded ? nullptr : "Invalid Result packet";
    if (isCode)
        codeRequest.set_value({decoded ? std::optional(code) : std::nullopt, failure, false});
    else
        configRequest.set_value(
            {decoded ? std::optional(GetDeviceConfigResult{code, DeviceConfig{}}) : std::nullopt, failure, false});
}

void Host::dispatchConfiguration(const VX_ND_Packet& packet) {
    std::promise<Answer<GetDeviceConfigResult>> request;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!takeRequest(configRequests_, packet.Token, request)) return;
    }
    DeviceConfig config;
    if (decodeConfiguration(packet, config))
        request.set_value({GetDeviceConfigResult{ResultCode::Success, config}, nullptr, false});
    else
        request.set_value({std::nullopt, "Invalid Configuration packet", false});
}

void Host::dispatchDiscover(const IPv4Address& sender, const VX_ND_Packet& packet) {
    DiscoverInfo info;
    info.DeviceType = packet.DeviceType;
    info.SerialNumber = packet.SerialNumber;
    info.address = sender;
    info.lastSeen = steadyNanoseconds();
    info.isReply = packet.OpCode == OpDiscoverReply;
    // As far as the record goes: a bad info length still leaves the rest.
    DiscoverRecord record;
    if (decodeDiscover(packet, record)) {
        info.ProtocolId = record.ProtocolId;
        info.Available = record.Available;
        info.Port = record.Port;
        info.Info = record.Info;
    } else if (packet.Data.size() >= 6) {
        info.ProtocolId = packet.Data[0];
        info.Available = packet.Data[1] != 0;
        info.Port = static_cast<uint16_t>(packet.Data[2] | (packet.Data[3] << 8));
    }

    // Each listener runs with the lock released; one added meanwhile waits
    // for the next datagram, one removed meanwhile is skipped.
    std::unique_lock<std::mutex> lock(listenerMutex_);
    std::vector<uint64_t> ids;
    for (const auto& entry : listeners_) ids.push_back(entry.first);
    for (uint64_t id : ids) {
        auto it = listeners_.find(id);
        if (it == listeners_.end()) continue;
        const std::shared_ptr<DiscoverListener> listener = it->second;
        runningListener_ = id;
        runningOn_ = std::this_thread::get_id();
        bool keep = true;
        {
            // Also when the listener throws: a remover waits for this.
            struct Finished {
                Host& host;
                std::unique_lock<std::mutex>& lock;
                ~Finished() {
                    lock.lock();
                    host.runningListener_ = 0;
                    host.runningOn_ = std::thread::id();
                    host.listenerIdle_.notify_all();
                }
            } finished{*this, lock};
            lock.unlock();
            keep = (*listener)(info);
        }
        if (!keep) listeners_.erase(id);
    }
}

}  // namespace veltraxnd
