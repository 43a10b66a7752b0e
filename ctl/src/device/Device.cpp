#include "device/Device.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "event/EventText.h"
#include "log/Log.h"
#include "devicelog/DeviceLogging.h"
#include "platform/Spin.h"

namespace vxctl {

namespace {

// The USB adapters a second-generation controller sits behind.
constexpr const char* kUsbProductNames[] = {"Veltrax QMX2", "Veltrax WEM Eval Board",
                                            "Veltrax ZBU FB"};
constexpr const char* kNetworkInterfaces = "network:all";
constexpr int kNetworkPort = 55550;
constexpr const char* kDeviceResetOption = "device-reset";

constexpr std::array<uint32_t, 4> kProtocolVersion = {0, 0, 0, 1};
constexpr const char* kDiscardedReadyLine = "VX_CTL Info: Discarded System Ready Packet";
constexpr const char* kQueueFullLine = "Event Queue full, dropping oldest event";
constexpr uint32_t kWaitForever = 0xFFFFFFFF;
constexpr int32_t kWarningLevel = 2;
constexpr int32_t kEventLineLevel = 3;
constexpr VX_CTL_EventType kGroupTriggered = 0x8010;
constexpr VX_CTL_EventType kStreamFinished = 0x8000;
constexpr const char* kEventLinePrefix = "Event Packet: ";
constexpr const char* kDeviceLoggingFailedLine = "Enabling device logging failed.";
constexpr const char* kFlushTimeoutLine = "Device log buffer read timeout";
constexpr std::chrono::milliseconds kDeviceLogFlushLimit{500};
// How long a busy mutex is tried before sleeping on it.
constexpr std::chrono::microseconds kLockSpin{10};
// Completes any frame the controller holds the head of (a header's last
// byte and at most 253 more), and is then skipped while it looks for a
// start byte: after it the controller is at a frame boundary.
constexpr size_t kFrameBoundaryFiller = 256;

// What a refused VX_IO_Open means to the caller; any other refusal is
// VX_CTL_INITIALIZATION_FAILED.
struct OpenRefusal {
    VX_IO_Result io;
    VX_CTL_Result result;
};

constexpr OpenRefusal kOpenRefusals[] = {
    {VX_IO_INVALID_LOCATOR, VX_CTL_INVALID_LOCATOR},
    {VX_IO_DEVICE_NOT_FOUND, VX_CTL_DEVICE_NOT_FOUND},
    {VX_IO_INVALID_OPTION, VX_CTL_INVALID_PARAMETER},
};

VX_CTL_Result openRefusal(VX_IO_Result io) {
    for (const OpenRefusal& refusal : kOpenRefusals)
        if (refusal.io == io) return refusal.result;
    return VX_CTL_INITIALIZATION_FAILED;
}

}  // namespace

std::string openOptionText(int interfaceType, const char* options) {
    std::string text = options ? options : "";
    switch (interfaceType) {
    case VX_IO_IFACE_USB:
        text += "\n";
        for (const char* name : kUsbProductNames) text += std::string("product-name ") + name + "\n";
        break;
    case VX_IO_IFACE_NETWORK:
        text += std::string("\niface ") + kNetworkInterfaces + "\nport " + std::to_string(kNetworkPort) + "\n";
        break;
    default:
        break;
    }
    return text;
}

// One connection made with the I/O library. Its address is the user
// context of the I/O callbacks, so that a report about a connection the
// device has given up already is told apart from one about the current
// connection. It is freed only after a waiting close, when none of its
// callbacks can run any more.
//
// Its handle is given to VX_IO_Send with the mutex released. A close does
// not wait for such a send: it ends it. The I/O library hands a closed
// handle's number out again only after every other free one, so a send
// that reaches the library just after the close finds no device there.
struct Device::Connection {
    explicit Connection(Device& owner) : device(owner) {}
    Device& device;
    VX_IO_Handle handle = 0;
    // Its number among the device's connections.
    uint64_t line = 0;
};

Device::Device(const DeviceTiming& timing)
    : timing_(timing),
      discovery_(std::make_shared<DiscoveryListener>(
          [this](int kind, const std::string& serial) { discoveryEvent(kind, serial); })) {
    registerLibraryProperties();
}

Device::~Device() {
    discovery_->detach();
    close(true);
}

void Device::deviceReceiveCallback(void* user, const void* data, size_t length) {
    static_cast<Connection*>(user)->device.received(static_cast<const uint8_t*>(data), length);
}

void Device::deviceClosedCallback(void* user, int code) {
    auto* connection = static_cast<Connection*>(user);
    connection->device.connectionClosed(connection, code);
}

Device::ConnectionRef Device::connect(const std::string& locator, const std::string& options,
                                     VX_IO_Result* result) {
    auto connection = std::make_shared<Connection>(*this);
    connection->line = ++connectionsMade_;
    // No reader thread runs now: the connections before were closed with a
    // wait, and this one starts its thread inside VX_IO_Open.
    receiver_.reset();
    *result = VX_IO_Open(&connection->handle, locator.c_str(), options.c_str(), connection.get(),
                         &deviceReceiveCallback, &deviceClosedCallback);
    if (*result != VX_IO_OK) return nullptr;
    return connection;
}

void Device::closeConnections(Lock& lock, Connections connections) {
    if (connections.empty()) return;
    lock.unlock();
    // The waiting close returns when the reader thread has ended, so no
    // callback can reach a freed connection.
    for (const auto& connection : connections) VX_IO_Close(connection->handle, 1);
    lock.lock();
    // A TCP connection closed takes its replies with it; a serial or USB
    // line goes on, and keeps them until it is resynchronised.
    if (interfaceType_ == VX_IO_IFACE_NETWORK) {
        for (const auto& connection : connections) firstLiveLine_ = std::max(firstLiveLine_, connection->line + 1);
        releaseDeadLines();
    }
    connections.clear();
}

VX_CTL_Result Device::open(const char* locator, const char* options) {
    Lock lock(mutex_);
    if (connection_) return VX_CTL_INITIALIZATION_FAILED;
    closing_ = false;
    cancel_ = false;
    // What a failed open before left outstanding is given up.
    slots_.releaseAll();
    probes_.clear();
    lock.unlock();

    int type = VX_IO_IFACE_UNKNOWN;
    if (VX_IO_GetLocatorInterfaceType(&type, locator) != VX_IO_OK) return VX_CTL_INVALID_LOCATOR;
    const std::string optionText = openOptionText(type, options);
    VX_IO_Result opened = VX_IO_OK;
    ConnectionRef connection = connect(locator, optionText, &opened);
    if (!connection) return openRefusal(opened);

    lock.lock();
    connection_ = std::move(connection);
    locator_ = locator;
    options_ = optionText;
    interfaceType_ = type;
    if (!worker_.started() && !worker_.start([this] { runWorker(); },
                                             [this] {
                                                 std::lock_guard<std::mutex> wake(mutex_);
                                                 workerWake_.notify_all();
                                             }))
        return failOpen(lock, VX_CTL_INITIALIZATION_FAILED);

    if (const VX_CTL_Result version = checkVersion(lock); version != VX_CTL_OK) return failOpen(lock, version);
    lineResynchronised(lock);
    if (optionText.find(kDeviceResetOption) != std::string::npos) {
        VX_CTL_Result reset = VX_CTL_DEVICE_RESET_FAILED;
        if (interfaceType_ == VX_IO_IFACE_USB) reset = resetDevice(lock);
        if (interfaceType_ == VX_IO_IFACE_NETWORK) reset = resetNetworkDevice(lock);
        if (reset != VX_CTL_OK) return failOpen(lock, VX_CTL_DEVICE_RESET_FAILED);
    }
    if (handshake(lock) != VX_CTL_OK) return failOpen(lock, VX_CTL_INITIALIZATION_FAILED);
    events_.clear();
    lock.unlock();
    if (currentSettings().deviceLogging) enableDeviceLogging();
    return VX_CTL_OK;
}

VX_CTL_Result Device::failOpen(Lock& lock, VX_CTL_Result result) {
    Connections taken = std::move(retired_);
    retired_.clear();
    if (connection_) taken.push_back(std::move(connection_));
    wakeAll();
    closeConnections(lock, std::move(taken));
    return result;
}

void Device::shutdown() {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    wakeAll();
}

void Device::close([[maybe_unused]] bool orderly) {
    // Its reads end at once on a closing device.
    shutdown();
    disableDeviceLogging(false);
    Lock lock(mutex_);
    closing_ = true;
    Connections taken = std::move(retired_);
    retired_.clear();
    if (connection_) taken.push_back(std::move(connection_));
    wakeAll();
    // Closed first: that ends the sends in flight, which a caller's flush
    // may have under way for a long time on a slow line. Even at process
    // exit the close waits for the reader threads: their callbacks point
    // into this object.
    closeConnections(lock, std::move(taken));
    lock.unlock();
    // A reconnection that succeeds after this point closes its new
    // connection itself before the worker ends.
    worker_.stop();
    lock.lock();
    changed_.wait(lock, [&] { return sendsInFlight_ == 0; });
    // Nothing completes the outstanding requests any more.
    slots_.releaseAll();
}

VX_CTL_Result Device::send(Lock& lock, Packet& frame, VX_CTL_TransmitHandle handle, const SlotRef& slot) {
    frame.finish(&crc_);
    if (handle != 0) {
        TransmitEntry* entry = transmits_.taken(handle);
        // A group closed already was sent: a frame added now would never go out.
        if (!entry || entry->closed) return VX_CTL_INVALID_TRANSMIT_HANDLE;
        if (entry->packets.size() >= TransmitHandleTable::kMaxPackets) return VX_CTL_BUFFER_OVERFLOW;
        entry->packets.push_back({std::vector<uint8_t>(frame.data(), frame.data() + frame.size()), slot});
        if (slot) {
            slot->state = SlotState::Queued;
            slot->handle = handle;
        }
        return VX_CTL_OK;
    }
    if (!slot) return transmit(lock, frame.data(), frame.size());
    // Before the bytes go out: the reply may come before the send returns.
    slot->state = SlotState::Sent;
    slot->pending = slot;
    const VX_CTL_Result sent = transmit(lock, frame.data(), frame.size(), false, [&slot](const SendMark& mark) {
        slot->line = mark.line;
        slot->sendBegan = mark.began;
    });
    if (sent == VX_CTL_OK) {
        slot->sendEnded = ++sendClock_;
        slot->sendTime = Clock::now();
        deadlineStarted(*slot->sendTime);
    } else {
        failSent(*slot, sent);
    }
    return sent;
}

void Device::failSent(CommandSlot& slot, VX_CTL_Result result) {
    if (slot.state != SlotState::Sent) return;
    // No reply can come and the worker times out only what went out: the
    // ID returns to the pool once the caller lets go.
    slot.replyType = static_cast<uint32_t>(CommandType::Completion);
    slot.result = result;
    slot.state = SlotState::Completed;
    slot.handle = 0;
    slot.pending.reset();
    slots_.wake(slot);
}

VX_CTL_Result Device::awaitConnection(Lock& lock) {
    changed_.wait_for(lock, timing_.reconnectBudget, [&] { return !reconnectPending_ || closing_; });
    if (closing_) return VX_CTL_CANCELED;
    return connection_ ? VX_CTL_OK : VX_CTL_COMMUNICATION_FAILED;
}

void Device::lockSpinning(Lock& lock) { vxplatform::lockSpinning(lock, kLockSpin); }

VX_IO_Result Device::sendUnlocked(Lock& lock, const ConnectionRef& connection, const uint8_t* bytes, size_t size,
                                  bool* stillCurrent) {
    // Held until the send returns, whoever closes the connection meanwhile.
    const ConnectionRef held = connection;
    ++sendsInFlight_;
    lock.unlock();
    logPacket("OUT", bytes, size);
    const VX_IO_Result sent = VX_IO_Send(held->handle, bytes, size);
    lockSpinning(lock);
    if (stillCurrent) *stillCurrent = connection_ == held;
    if (--sendsInFlight_ == 0 && closing_) changed_.notify_all();
    return sent;
}

bool Device::sendOnCurrent(Lock& lock, const uint8_t* bytes, size_t size, const SendStarting& starting) {
    const SendMark mark{connection_->line, ++sendClock_};
    if (starting) starting(mark);
    bool stillCurrent = false;
    if (sendUnlocked(lock, connection_, bytes, size, &stillCurrent) == VX_IO_OK) return true;
    // The I/O library fails a send only on a broken link: the line took
    // nothing for its time-out, gave up after a part of the frame, or
    // reported an error. Nothing more may follow on it.
    if (stillCurrent) linkLost(lock);
    return false;
}

VX_CTL_Result Device::transmit(Lock& lock, const uint8_t* bytes, size_t size, bool block,
                               const SendStarting& starting) {
    if (const VX_CTL_Result ready = awaitConnection(lock); ready != VX_CTL_OK) return ready;
    if (sendOnCurrent(lock, bytes, size, starting)) return VX_CTL_OK;
    if (closing_) return VX_CTL_CANCELED;
    // Without reconnection the frame is lost: the caller must hear it. A
    // frame cut midway never passes the controller's check, so it has not
    // run and may go once more; of a block, the frames before the cut may
    // have run, and none may reach the controller twice.
    if (!autoReconnect_ || block) return VX_CTL_COMMUNICATION_FAILED;

    // The worker makes the connection again; the frame goes once more on it.
    if (const VX_CTL_Result ready = awaitConnection(lock); ready != VX_CTL_OK) return ready;
    return sendOnCurrent(lock, bytes, size, starting) ? VX_CTL_OK : VX_CTL_COMMUNICATION_FAILED;
}

void Device::received(const uint8_t* data, size_t size) { receiver_.receive(data, size, *this); }

void Device::connectionClosed(Connection* connection, int code) {
    if (code == VX_IO_OK) return;
    Lock lock(mutex_);
    // The transports report a lost link again and again, and a connection
    // already given up may still report: only the current connection counts.
    if (connection_.get() != connection) return;
    if (code != VX_IO_TIMEOUT) return pushResult(lock, VX_CTL_COMMUNICATION_FAILED);
    linkLost(lock);
}

void Device::linkLost(Lock& lock) {
    retired_.push_back(std::move(connection_));
    if (autoReconnect_) {
        reconnectPending_ = true;
    } else {
        pushEvent(lock, makeEvent(0, VX_CTL_EVENT_CONNECTION_LOST, 0));
    }
    wakeAll();
}

void Device::runWorker() {
    Lock lock(mutex_);
    while (!worker_.stopRequested()) {
        if (!retired_.empty()) {
            Connections taken = std::move(retired_);
            retired_.clear();
            closingRetired_ = true;
            closeConnections(lock, std::move(taken));
            closingRetired_ = false;
            changed_.notify_all();
        } else if (reconnectPending_) {
            reconnect(lock);
        } else {
            const auto due = expireRequests();
            workerDue_ = due.value_or(Clock::time_point::max());
            if (due) {
                workerWake_.wait_until(lock, *due);
            } else {
                workerWake_.wait(lock);
            }
            workerDue_ = Clock::time_point::min();
        }
    }
}

void Device::deadlineStarted(Clock::time_point sendTime) {
    // Sends follow one another, so a new deadline is rarely the earliest:
    // the worker sleeps through the requests answered in time.
    if (sendTime + timing_.request < workerDue_) workerWake_.notify_one();
}

void Device::wakeAll() {
    changed_.notify_all();
    workerWake_.notify_all();
    slots_.wakeAll();
}

std::optional<Device::Clock::time_point> Device::expireRequests() {
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> next;
    for (uint8_t id = kFirstRequestId; id <= kLastRequestId; ++id) {
        CommandSlot& slot = slots_.slot(id);
        if (slot.state != SlotState::Sent || slot.handle != 0 || !slot.sendTime) continue;
        const Clock::time_point due = *slot.sendTime + timing_.request;
        if (due > now) {
            next = next ? std::min(*next, due) : due;
            continue;
        }
        // The reply may still come: until it does, or can no longer come,
        // the ID stays taken so that it completes nothing newer.
        SlotRef stillPending = replyMayCome(slot.line) ? slot.pending : nullptr;
        completeSlot(slot, static_cast<uint32_t>(CommandType::Completion), VX_CTL_TIMEOUT);
        slot.timedOut = true;
        slot.pending = std::move(stillPending);
        if (slot.pending) {
            lateRepliesHeld_ = true;
            // A caller waiting for an ID now waits no longer than a reply.
            slots_.wakeReleaseWaiters();
        }
    }
    if (const auto groupDue = expireCancelledGroups(now)) next = next ? std::min(*next, *groupDue) : *groupDue;
    return next;
}

size_t Device::idsHeldForLateReplies() const {
    if (!lateRepliesHeld_) return 0;
    size_t held = 0;
    for (uint8_t id = kFirstRequestId; id <= kLastRequestId; ++id)
        if (heldForLateReply(slots_.slot(id))) ++held;
    return held;
}

void Device::releaseRepliedBefore(uint64_t line, uint64_t began) {
    if (!lateRepliesHeld_) return;
    // A reply may be out of turn by a little, as a controller's slow answer
    // is: only a request out for two reply times is settled by another's.
    const Clock::time_point settledBefore = Clock::now() - 2 * timing_.request;
    bool stillHeld = false;
    for (uint8_t id = kFirstRequestId; id <= kLastRequestId; ++id) {
        CommandSlot& slot = slots_.slot(id);
        if (!heldForLateReply(slot)) continue;
        const bool answeredInTurn = !slot.awaitsTrigger && slot.sendEnded != 0 && slot.sendEnded < began &&
                                    sameReplyStream(slot.line, line);
        if (answeredInTurn && slot.sendTime && *slot.sendTime <= settledBefore) {
            // Its reply, had it come, would have come before this one.
            SlotRef released = std::move(slot.pending);
        } else {
            stillHeld = true;
        }
    }
    lateRepliesHeld_ = stillHeld;
}

void Device::releaseDeadLines() {
    if (!lateRepliesHeld_) return;
    bool stillHeld = false;
    for (uint8_t id = kFirstRequestId; id <= kLastRequestId; ++id) {
        CommandSlot& slot = slots_.slot(id);
        if (!heldForLateReply(slot)) continue;
        if (!replyMayCome(slot.line)) {
            SlotRef released = std::move(slot.pending);
        } else {
            stillHeld = true;
        }
    }
    lateRepliesHeld_ = stillHeld;
    std::erase_if(probes_, [&](const Probe& probe) { return !replyMayCome(probe.line); });
}

void Device::lineResynchronised(Lock&) {
    if (!connection_) return;
    firstLiveLine_ = std::max(firstLiveLine_, connection_->line);
    releaseDeadLines();
    // Version requests sent before the known point were answered before it,
    // or never will be.
    probes_.clear();
}

bool Device::probeLateReplies(Lock& lock) {
    constexpr size_t kMaxUnansweredProbes = 4;
    if (!connection_ || reconnectPending_ || closing_) return false;
    const Clock::time_point now = Clock::now();
    if (!probes_.empty() &&
        (probes_.size() >= kMaxUnansweredProbes || now - probes_.back().sentAt < timing_.request))
        return false;
    Packet frame = versionRequestFrame();
    frame.finish(&crc_);
    // Noted before the bytes go out: the answer may come before the send
    // returns.
    transmit(lock, frame.data(), frame.size(), false,
             [&](const SendMark& mark) { probes_.push_back({mark.line, mark.began, now}); });
    return true;
}

template <typename Done>
bool Device::workerWaitUntil(Lock& lock, Clock::time_point until, Done done) {
    while (!done()) {
        if (Clock::now() >= until) return false;
        const auto due = expireRequests();
        workerDue_ = due ? std::min(*due, until) : until;
        workerWake_.wait_until(lock, workerDue_);
        workerDue_ = Clock::time_point::min();
    }
    return true;
}

void Device::reconnect(Lock& lock) {
    // A lost link retired its connection, and the worker closes retired
    // ones first; what is left is closed here all the same, before a new
    // connection starts feeding the receiver.
    Connections taken = std::move(retired_);
    retired_.clear();
    if (connection_) taken.push_back(std::move(connection_));
    closeConnections(lock, std::move(taken));
    const std::string locator = locator_;
    const std::string options = options_;

    auto stopping = [&] { return closing_ || worker_.stopRequested(); };
    const Clock::time_point deadline = Clock::now() + timing_.reconnectBudget;
    ConnectionRef fresh;
    while (!stopping()) {
        lock.unlock();
        VX_IO_Result opened = VX_IO_OK;
        fresh = connect(locator, options, &opened);
        lock.lock();
        if (fresh && !stopping() && lineMayHoldHalfFrame() && !resynchronise(lock, fresh)) {
            Connections unusable;
            unusable.push_back(std::move(fresh));
            closeConnections(lock, std::move(unusable));
        }
        if (fresh || Clock::now() >= deadline) break;
        workerWaitUntil(lock, std::min(Clock::now() + timing_.reconnectInterval, deadline), stopping);
        if (Clock::now() >= deadline) break;
    }

    if (fresh && stopping()) {
        Connections late;
        late.push_back(std::move(fresh));
        closeConnections(lock, std::move(late));
    }
    if (fresh) {
        connection_ = std::move(fresh);
        // A serial or USB line is back at a known point: the replies to
        // what went out before can no longer come.
        lineResynchronised(lock);
        // Frames reported sent before the loss may never have reached the
        // controller.
        pushEvent(lock, makeEvent(0, VX_CTL_EVENT_CONNECTION_REMADE, 0));
    } else if (!stopping()) {
        pushEvent(lock, makeEvent(0, VX_CTL_EVENT_CONNECTION_LOST, 0));
    }
    reconnectPending_ = false;
    wakeAll();
}

bool Device::lineMayHoldHalfFrame() const {
    return interfaceType_ == VX_IO_IFACE_SERIAL || interfaceType_ == VX_IO_IFACE_USB;
}

std::vector<uint8_t> Device::firstExchange() const {
    std::vector<uint8_t> bytes(lineMayHoldHalfFrame() ? kFrameBoundaryFiller : 0, 0);
    Packet request = versionRequestFrame();
    request.finish(&crc_);
    bytes.insert(bytes.end(), request.data(), request.data() + request.size());
    return bytes;
}

bool Device::resynchronise(Lock& lock, const ConnectionRef& fresh) {
    versionReplied_ = false;
    resynchronising_ = true;
    const std::vector<uint8_t> exchange = firstExchange();
    const bool sent = sendUnlocked(lock, fresh, exchange.data(), exchange.size(), nullptr) == VX_IO_OK;
    const bool answered =
        sent && workerWaitUntil(lock, Clock::now() + timing_.exchange,
                                [&] { return versionReplied_ || closing_ || worker_.stopRequested(); }) &&
        versionReplied_;
    resynchronising_ = false;
    return answered;
}

template <typename Done>
bool Device::awaitReply(Lock& lock, Done done) {
    return changed_.wait_for(lock, timing_.exchange, done);
}

VX_CTL_Result Device::sendSystemFrame(Lock& lock, Packet frame) { return send(lock, frame, 0); }

VX_CTL_Result Device::checkVersion(Lock& lock) {
    versionReplied_ = false;
    const std::vector<uint8_t> exchange = firstExchange();
    if (const VX_CTL_Result sent = transmit(lock, exchange.data(), exchange.size()); sent != VX_CTL_OK) return sent;
    if (!awaitReply(lock, [&] { return versionReplied_; })) return VX_CTL_TIMEOUT;
    return versionWords_ == kProtocolVersion ? VX_CTL_OK : VX_CTL_INVALID_PROTOCOL_VERSION;
}

VX_CTL_Result Device::resetDevice(Lock& lock) {
    ready_ = false;
    readyStatus_ = 0;
    // Both before the frame goes out: a fast device's zero byte and ready
    // frame may arrive before the send returns.
    waitingForReady_ = true;
    receiver_.dropOneZeroByte();
    VX_CTL_Result result = sendSystemFrame(lock, deviceResetFrame());
    if (result == VX_CTL_OK) {
        if (!awaitReply(lock, [&] { return ready_; })) {
            result = VX_CTL_TIMEOUT;
        } else {
            result = readyStatus_;
        }
    }
    waitingForReady_ = false;
    return result;
}

void Device::dropConnections(Lock& lock) {
    // The worker may be closing or replacing a connection with the mutex
    // released; what it leaves is taken here.
    changed_.wait(lock, [&] { return !closingRetired_ && !reconnectPending_; });
    Connections taken = std::move(retired_);
    retired_.clear();
    if (connection_) taken.push_back(std::move(connection_));
    wakeAll();
    closeConnections(lock, std::move(taken));
}

VX_CTL_Result Device::resetNetworkDevice(Lock& lock) {
    std::string serial;
    const VX_CTL_Result read = getPropertyLocked(lock, 0, kSerialNumberKey, [&](const CommandSlot& slot) {
        return collectText(slot, &serial);
    });
    if (read != VX_CTL_OK) return read;
    serialNumber_ = serial;

    lock.unlock();
    subscribeDiscovery(discovery_);
    lock.lock();
    VX_CTL_Result result = resetDevice(lock);
    if (result == VX_CTL_OK || result == VX_CTL_TIMEOUT) {
        // The controller dropped the connection as it restarted, and the
        // lost-link report may have taken it already: whoever takes a
        // connection out of the device closes it, so each is closed once.
        dropConnections(lock);
        const std::string locator = locator_;
        const std::string options = options_;
        lock.unlock();
        VX_IO_Result opened = VX_IO_OK;
        ConnectionRef fresh = connect(locator, options, &opened);
        lock.lock();
        connection_ = std::move(fresh);
        result = connection_ ? VX_CTL_OK : VX_CTL_DEVICE_RESET_FAILED;
    }
    lock.unlock();
    unsubscribeDiscovery(discovery_);
    lock.lock();
    return result;
}

VX_CTL_Result Device::handshake(Lock& lock) {
    handshakeReplied_ = false;
    handshakeStatus_ = 0;
    if (const VX_CTL_Result sent = sendSystemFrame(lock, handshakeFrame(true)); sent != VX_CTL_OK) return sent;
    if (!awaitReply(lock, [&] { return handshakeReplied_; })) return VX_CTL_TIMEOUT;
    return handshakeStatus_;
}

void Device::protocolError(VX_CTL_Result result) { pushResultLocked(result); }

CommandSlot* Device::takePending(Lock& lock, uint8_t requestId, SlotRef* pending) {
    CommandSlot& slot = slots_.slot(requestId);
    if (!slot.pending) {
        pushResult(lock, VX_CTL_UNEXPECTED_PACKET);
        return nullptr;
    }
    releaseRepliedBefore(slot.line, slot.sendBegan);
    *pending = std::move(slot.pending);
    // A cancelled request's reply only frees its ID.
    if (slot.state == SlotState::Cancelled) {
        pending->reset();
        return nullptr;
    }
    // The reply of a request that ended by its deadline: nothing waits for
    // it any more.
    if (slot.timedOut) {
        pending->reset();
        pushResult(lock, VX_CTL_UNEXPECTED_PACKET);
        return nullptr;
    }
    return &slot;
}

void Device::completion(uint8_t requestId, VX_CTL_Result result) {
    Lock lock = lockSpinning();
    if (resynchronising_) return;
    SlotRef pending;
    if (CommandSlot* slot = takePending(lock, requestId, &pending))
        completeSlot(*slot, static_cast<uint32_t>(CommandType::Completion), result);
}

void Device::valueReply(const ValueReply& reply) {
    Lock lock = lockSpinning();
    if (resynchronising_) return;
    SlotRef pending;
    CommandSlot* slot = takePending(lock, reply.requestId, &pending);
    if (!slot) return;
    slot->replyData.assign(reply.values, reply.values + reply.size);
    slot->dataType = static_cast<uint8_t>(reply.dataType);
    completeSlot(*slot, static_cast<uint32_t>(CommandType::PropertyValue), VX_CTL_OK);
}

void Device::discoveryEvent(int kind, const std::string& serial) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!waitingForReady_ || kind != VX_IO_EVENT_DEVICE_AVAILABLE || serial != serialNumber_) return;
    ready_ = true;
    readyStatus_ = 0;
    waitingForReady_ = false;
    // The reset's wait ends now rather than at its time limit: the device is
    // back, and every change a waiter needs is followed by a wake.
    changed_.notify_all();
}

void Device::event(uint8_t index, uint16_t type, int32_t parameter) {
    const VX_CTL_Event record = makeEvent(index, type, parameter);
    Lock lock(mutex_);
    if (type == kGroupTriggered && !groupTriggered(record.value.bytes[3]))
        return pushResult(lock, VX_CTL_UNEXPECTED_PACKET);
    if (type == kStreamFinished)
        streamFinished(record.value.bytes[3], static_cast<uint32_t>(parameter) & 0xFFFF);
    // The description is built only when the line is written.
    if (logLevel() >= kEventLineLevel) logLine(kEventLinePrefix + describeEvent(record), kEventLineLevel);
    pushEvent(lock, record);
}


void Device::versionReply(const std::array<uint32_t, 4>& words) {
    std::lock_guard<std::mutex> lock(mutex_);
    versionWords_ = words;
    versionReplied_ = true;
    // Answers come in turn: this one is the oldest version request's.
    if (!probes_.empty()) {
        const Probe answered = probes_.front();
        probes_.pop_front();
        releaseRepliedBefore(answered.line, answered.began);
    }
    // The controller answers in order: what comes from now on answers the
    // new line's frames.
    resynchronising_ = false;
    changed_.notify_all();
    workerWake_.notify_all();
}

void Device::handshakeReply(uint16_t status) {
    std::lock_guard<std::mutex> lock(mutex_);
    handshakeStatus_ = status;
    handshakeReplied_ = true;
    changed_.notify_all();
}

void Device::systemReady(const SystemReady& ready) {
    Lock lock(mutex_);
    if (!waitingForReady_) {
        lock.unlock();
        logLine(kDiscardedReadyLine, kWarningLevel);
        return;
    }
    if (!ready.lengthOk) return pushResult(lock, VX_CTL_INVALID_PACKET);
    readyStatus_ = ready.status;
    ready_ = true;
    waitingForReady_ = false;
    changed_.notify_all();
}

void Device::pushEvent(Lock&, const VX_CTL_Event& event) { pushEventLocked(event); }

void Device::pushEventLocked(const VX_CTL_Event& event) {
    if (isDeviceLogEvent(event.type)) {
        if (deviceLogging_) deviceLogging_->event(event);
        return;
    }
    if (events_.push(event)) logLine(kQueueFullLine, kWarningLevel);
    changed_.notify_all();
}

void Device::pushResult(Lock& lock, VX_CTL_Result result) {
    pushEvent(lock, makeEvent(0, kResultCarrier, static_cast<int32_t>(result)));
}

void Device::pushResultLocked(VX_CTL_Result result) {
    Lock lock(mutex_);
    pushResult(lock, result);
}

VX_CTL_Result Device::waitForEvent(VX_CTL_Event* event, uint32_t timeoutMs) {
    Lock lock(mutex_);
    if (eventWaiter_) return VX_CTL_THREAD_LIMIT_REACHED;
    eventWaiter_ = true;
    auto ready = [&] { return !events_.empty() || closing_ || cancel_; };
    bool woken = true;
    if (timeoutMs == kWaitForever) {
        changed_.wait(lock, ready);
    } else if (timeoutMs == 0) {
        // Without letting go of the mutex: no other waiter gets in between.
        woken = ready();
    } else {
        woken = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }
    eventWaiter_ = false;
    if (!woken) return VX_CTL_TIMEOUT;
    if (closing_) return VX_CTL_CANCELED;
    if (cancel_) {
        cancel_ = false;
        return VX_CTL_CANCELED;
    }
    const VX_CTL_Event taken = *events_.take();
    if (taken.type == kResultCarrier) return static_cast<VX_CTL_Result>(taken.value.i32);
    *event = taken;
    return VX_CTL_OK;
}

VX_CTL_Result Device::cancel() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancel_ = true;
    }
    changed_.notify_all();
    return VX_CTL_OK;
}

void Device::enableDeviceLogging() {
    std::unique_ptr<DeviceLogging> created;
    try {
        created = std::make_unique<DeviceLogging>(*this);
    } catch (...) {
        logLine(kDeviceLoggingFailedLine, kWarningLevel);
        return;
    }
    std::unique_ptr<DeviceLogging> previous;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        previous = std::exchange(deviceLogging_, std::move(created));
    }
    // Destroyed here, the mutex released: its threads take it.
}

void Device::disableDeviceLogging(bool flush) {
    std::unique_ptr<DeviceLogging> taken;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        taken = std::move(deviceLogging_);
    }
    if (!taken) return;
    if (flush && !taken->flush(kDeviceLogFlushLimit)) logLine(kFlushTimeoutLine, kWarningLevel);
}

bool Device::deviceLoggingOn() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return deviceLogging_ != nullptr;
}

void Device::setAutoReconnect(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    autoReconnect_ = on ? 1 : 0;
}

std::string Device::serialNumber() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return serialNumber_;
}

size_t Device::slotsInUse() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return slots_.inUse();
}

bool Device::connected() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connection_ != nullptr;
}

VX_IO_Handle Device::ioHandle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connection_ ? connection_->handle : static_cast<VX_IO_Handle>(-1);
}

int Device::sendsInFlight() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sendsInFlight_;
}

bool Device::reconnecting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reconnectPending_;
}

std::string Device::optionText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return options_;
}

}  // namespace vxctl
