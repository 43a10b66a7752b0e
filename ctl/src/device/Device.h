#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "VeltraxCTL.h"
#include "VeltraxControlPrivate"
#include "VeltraxIO.h"
#include "device/CommandSlot.h"
#include "device/DiscoveryListener.h"
#include "device/EventQueue.h"
#include "device/LibraryProperties.h"
#include "device/TransmitHandleTable.h"
#include "packet/FrameReceiver.h"
#include "platform/OwnedThread.h"

namespace vxctl {

class DeviceLogging;

// What an open hands to the I/O library: the caller's options (none for
// null), then what the interface type needs.
std::string openOptionText(int interfaceType, const char* options);

// Properties of the controller that the library reads itself.
inline constexpr VX_CTL_PropertyKey kChannelCountKey = 0x020F0016;
inline constexpr VX_CTL_PropertyKey kSerialNumberKey = 0x020F005E;

// How long a device waits. Tests shorten them.
struct DeviceTiming {
    // For the reply to the version check, the handshake or a reset.
    std::chrono::milliseconds exchange{2000};
    // Reconnection attempts, one per interval, until the budget is spent;
    // also the longest a send waits for a reconnection.
    std::chrono::milliseconds reconnectBudget{10000};
    std::chrono::milliseconds reconnectInterval{1000};
    // For the reply to a request sent; also how long a cancelled command
    // group that was sent waits for its trigger, and how long a request
    // waits for an ID while some are held for late replies.
    std::chrono::milliseconds request{2000};
};

// One second-generation controller: its connection made with the I/O
// library, the worker thread that makes it again when it is lost, the send
// path and the receive path, and its event queue.
//
// Held by shared ownership (the device table, every call in progress).
// One mutex guards every state of the device. A caller waiting for a reply
// waits on its slot's condition, the worker on its own, every other wait on
// `changed_`; a change of the whole device wakes them all (wakeAll). No call
// into the I/O library is made with the mutex held: its callbacks take the
// mutex, and a close of the I/O library waits for them.
class Device : private FrameHandlers {
public:
    using Lock = std::unique_lock<std::mutex>;
    using Clock = std::chrono::steady_clock;

    explicit Device(const DeviceTiming& timing = {});
    // Closes the device when the last owner lets go.
    ~Device() override;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Connects, checks the protocol version, resets the device when the
    // options ask for it, and makes the handshake. A failure leaves the
    // device without a connection.
    VX_CTL_Result open(const char* locator, const char* options);
    // Sets the closing flag and wakes every waiter: waits end with
    // VX_CTL_CANCELED, sends are refused.
    void shutdown();
    // Ends the connection and the worker, and returns once no send of the
    // device is in flight: the I/O library's close ends them, after a drain
    // on a healthy line, at once on one given up. Also from the destructor;
    // the second call finds nothing left to do. `orderly` false is the
    // close at process exit.
    void close(bool orderly);

    // The device mutex, for the operations that build and send frames.
    Lock lock() { return Lock(mutex_); }

    // Finishes `frame` (padding and CRC) and sends it, or with a transmit
    // handle adds it to that output buffer or open command group. A slot
    // given awaits the reply from then on (queued under the handle until
    // its frame goes out); when the frame cannot go out, it is completed
    // with the send's result and no longer awaits anything.
    VX_CTL_Result send(Lock& lock, Packet& frame, VX_CTL_TransmitHandle handle, const SlotRef& slot = nullptr);
    // Where a send goes out: the connection's line, and the device's send
    // clock as it begins.
    struct SendMark {
        uint64_t line = 0;
        uint64_t began = 0;
    };
    using SendStarting = std::function<void(const SendMark&)>;

    // Hands finished bytes to the I/O library, with the mutex released
    // around the send. Waits while a reconnection is pending, at most the
    // reconnection budget. A failed send is a lost link: its connection is
    // given up, and with auto-reconnect one frame waits for the new
    // connection and is sent once more. A block of several frames (`block`)
    // is not: the frames before the cut may have run. `starting` is told of
    // each attempt before the bytes go out (and a reply may come).
    VX_CTL_Result transmit(Lock& lock, const uint8_t* bytes, size_t size, bool block = false,
                           const SendStarting& starting = nullptr);

    // What a command frame carries as its group for `handle`.
    uint8_t groupByte(VX_CTL_TransmitHandle handle) const { return transmits_.groupByte(handle); }

    // Stop, calibrate, reference (type and channel) and move (with its
    // target), at once or under a transmit handle. Not waited for: the end
    // of a movement is an event.
    VX_CTL_Result movementCommand(CommandType type, uint8_t index, int64_t target, VX_CTL_TransmitHandle handle);
    // Output buffers: frames collected under a handle and sent in one write
    // by a flush (send true), or dropped with their requests by a cancel.
    VX_CTL_Result createOutputBuffer(VX_CTL_TransmitHandle* handle);
    VX_CTL_Result endOutputBuffer(VX_CTL_TransmitHandle handle, bool send);
    // Command groups: opened under a handle, closed and sent in one write,
    // executed by the device on its trigger. A cancel of an open group drops
    // it; of a closed one asks the device to drop it, and frees the handle
    // a request time later when the device's trigger does not come. Either
    // cancel ends the waits for the group's requests not answered yet.
    VX_CTL_Result openCommandGroup(VX_CTL_TransmitHandle* handle, uint32_t triggerMode);
    VX_CTL_Result endCommandGroup(VX_CTL_TransmitHandle handle, bool close);

    // The trajectory stream, one per device: frames of whole 9-byte units
    // (1 to 27 units), sent as far ahead as the device's status counts allow.
    VX_CTL_Result openStream(VX_CTL_StreamHandle* handle, uint32_t triggerMode);
    VX_CTL_Result streamFrame(VX_CTL_StreamHandle handle, const uint8_t* bytes, uint32_t size);
    VX_CTL_Result closeStream(VX_CTL_StreamHandle handle);
    VX_CTL_Result abortStream(VX_CTL_StreamHandle handle);

    // Property access: `index` names the device (0), a module or a channel.
    // Synchronous calls wait for the reply; a request that is sent gets it
    // or a time-out within the request time.
    VX_CTL_Result getProperty_i32(uint8_t index, VX_CTL_PropertyKey key, std::vector<int32_t>* values);
    VX_CTL_Result getProperty_i64(uint8_t index, VX_CTL_PropertyKey key, std::vector<int64_t>* values);
    VX_CTL_Result getProperty_s(uint8_t index, VX_CTL_PropertyKey key, std::string* text);
    VX_CTL_Result setProperty_i32(uint8_t index, VX_CTL_PropertyKey key, const int32_t* values, bool isArray,
                                  size_t count);
    VX_CTL_Result setProperty_i64(uint8_t index, VX_CTL_PropertyKey key, const int64_t* values, bool isArray,
                                  size_t count);
    VX_CTL_Result setProperty_s(uint8_t index, VX_CTL_PropertyKey key, std::string_view text);

    // Asynchronous requests: each request ID is collected, waited for or
    // cancelled once. A write without an ID pointer is sent untracked, with
    // request ID 0.
    VX_CTL_Result requestReadProperty(uint8_t index, VX_CTL_PropertyKey key, VX_CTL_RequestID* requestId,
                                      VX_CTL_TransmitHandle handle);
    // A read of the library's own, sent at once: it never posts a
    // request-ready event, whatever the application asked for its reads.
    VX_CTL_Result requestLibraryRead(uint8_t index, VX_CTL_PropertyKey key, VX_CTL_RequestID* requestId);
    VX_CTL_Result requestWriteProperty_i32(uint8_t index, VX_CTL_PropertyKey key, const int32_t* values,
                                           bool isArray, size_t count, VX_CTL_RequestID* requestId,
                                           VX_CTL_TransmitHandle handle);
    VX_CTL_Result requestWriteProperty_i64(uint8_t index, VX_CTL_PropertyKey key, const int64_t* values,
                                           bool isArray, size_t count, VX_CTL_RequestID* requestId,
                                           VX_CTL_TransmitHandle handle);
    VX_CTL_Result requestWriteProperty_s(uint8_t index, VX_CTL_PropertyKey key, std::string_view text,
                                         VX_CTL_RequestID* requestId, VX_CTL_TransmitHandle handle);
    VX_CTL_Result readProperty_i32(VX_CTL_RequestID requestId, std::vector<int32_t>* values);
    VX_CTL_Result readProperty_i64(VX_CTL_RequestID requestId, std::vector<int64_t>* values);
    VX_CTL_Result readProperty_s(VX_CTL_RequestID requestId, std::string* text);
    VX_CTL_Result waitForWrite(VX_CTL_RequestID requestId);
    VX_CTL_Result cancelRequest(VX_CTL_RequestID requestId);

    // The number of channels; a reply of other than one value is
    // VX_CTL_INVALID_QUERYBUFFER_SIZE.
    VX_CTL_Result readChannelCount(int32_t* count);

    // Slots in use, for tests of their return to the pool.
    size_t slotsInUse() const;

    // A discovery event about the device with serial number `serial`; a
    // device waiting for the end of its reset takes "available" as the end.
    void discoveryEvent(int kind, const std::string& serial);

    // Appends a record to the event queue and wakes the waiters (the mutex
    // held); a device-log record goes to device logging instead.
    void pushEvent(Lock& lock, const VX_CTL_Event& event);
    // The same, for a caller that holds the mutex by other means.
    void pushEventLocked(const VX_CTL_Event& event);
    // A result for the thread that waits for events.
    void pushResult(Lock& lock, VX_CTL_Result result);
    void pushResultLocked(VX_CTL_Result result);
    // The oldest record, waiting up to `timeoutMs` (0xFFFFFFFF: without
    // limit). One waiter per device.
    VX_CTL_Result waitForEvent(VX_CTL_Event* event, uint32_t timeoutMs);
    // Makes the current or next event wait return VX_CTL_CANCELED.
    VX_CTL_Result cancel();

    // Device logging: the controller's own log messages read into the
    // library's log. Neither is called with the device mutex held; a
    // switch replaces or ends the object that was there. A failed start
    // leaves the device without device logging. With `flush` the sources
    // may read what was announced, for up to 500 ms.
    void enableDeviceLogging();
    void disableDeviceLogging(bool flush);
    bool deviceLoggingOn() const;
    void setAutoReconnect(bool on);
    // The serial number a network reset read.
    std::string serialNumber() const;

    bool connected() const;
    bool reconnecting() const;
    // Sends of the device inside the I/O library, or on their way to it.
    // For tests of the close.
    int sendsInFlight() const;
    // The I/O library's handle of the connection; -1 without one. For tests
    // of handle reuse.
    VX_IO_Handle ioHandle() const;
    // The option text of the last successful connection.
    std::string optionText() const;

private:
    struct Connection;
    // Held by every send on it too, so that a close never waits for one.
    using ConnectionRef = std::shared_ptr<Connection>;
    using Connections = std::vector<ConnectionRef>;

    static void deviceReceiveCallback(void* user, const void* data, size_t length);
    static void deviceClosedCallback(void* user, int code);

    // I/O callbacks, on the I/O library's reader thread of `connection`.
    void received(const uint8_t* data, size_t size);
    void connectionClosed(Connection* connection, int code);
    // The current connection's link is lost: it is retired for the worker
    // to close, and made again with auto-reconnect; without, the loss is
    // posted as an event.
    void linkLost(Lock& lock);

    // FrameHandlers, on the reader thread.
    void protocolError(VX_CTL_Result result) override;
    void completion(uint8_t requestId, VX_CTL_Result result) override;
    void valueReply(const ValueReply& reply) override;
    void event(uint8_t index, uint16_t type, int32_t parameter) override;
    void streamFlowStatus(uint32_t first, uint32_t second) override;
    void versionReply(const std::array<uint32_t, 4>& words) override;
    void handshakeReply(uint16_t status) override;
    void systemReady(const SystemReady& ready) override;

    // A new connection made with the mutex released; null when refused,
    // with the I/O library's result in *result.
    ConnectionRef connect(const std::string& locator, const std::string& options, VX_IO_Result* result);
    // Closes connections taken out of the device, with the mutex released.
    // The I/O library's close ends the sends in flight on them.
    void closeConnections(Lock& lock, Connections connections);
    VX_CTL_Result failOpen(Lock& lock, VX_CTL_Result result);

    // The values of one write: one or more integers, or a text.
    struct WriteValues {
        std::variant<std::span<const int32_t>, std::span<const int64_t>, std::string_view> values;
        bool isArray = false;
    };
    using Collect = std::function<VX_CTL_Result(const CommandSlot&)>;

    void registerLibraryProperties();
    VX_CTL_Result allocateSlot(Lock& lock, SlotKind kind, SlotRef* slot);
    VX_CTL_Result requestRead(uint8_t index, VX_CTL_PropertyKey key, VX_CTL_RequestID* requestId,
                              VX_CTL_TransmitHandle handle, bool notify);
    // Switches device logging as the library key asks, with the mutex
    // released.
    void switchDeviceLogging(Lock& lock);
    VX_CTL_Result issueRead(Lock& lock, const SlotRef& slot, uint8_t index, VX_CTL_PropertyKey key,
                            VX_CTL_TransmitHandle handle);
    VX_CTL_Result issueWrite(Lock& lock, const SlotRef& slot, uint8_t index, VX_CTL_PropertyKey key,
                             const WriteValues& data, VX_CTL_TransmitHandle handle);
    VX_CTL_Result libraryWrite(detail::PropertyWrapperBase& wrapper, uint8_t index, const WriteValues& data);
    VX_CTL_Result waitForSlot(Lock& lock, CommandSlot& slot, SlotKind kind);
    // Watches the slot's signals for a short while with the mutex released,
    // so that a quick reply is taken without sleeping; returns with the
    // mutex held, whether or not the reply came.
    void spinForReply(Lock& lock, const CommandSlot& slot);
    void cancelSlot(CommandSlot& slot);
    // Completes a slot (its reply data and data type stored before) and
    // posts its request-ready event.
    void completeSlot(CommandSlot& slot, uint32_t replyType, VX_CTL_Result result);
    // A reply for `requestId`: the slot that awaits it, released from its
    // pending reference into *pending; null after reporting a reply to no
    // pending request.
    CommandSlot* takePending(Lock& lock, uint8_t requestId, SlotRef* pending);

    // Request IDs held for a late reply: a request that timed out, or was
    // cancelled after it was sent, keeps its ID until its reply comes or no
    // reply to it can come any more, so that no reply completes a newer
    // request. The controller answers the requests of one line in the order
    // they came, give or take a slow answer, so a reply (or the answer to a
    // version request) settles every request out for two reply times whose
    // send had ended before its own began; a command group's requests are
    // answered at its trigger, out of turn, and count from the trigger or
    // the group's cancel.
    static bool heldForLateReply(const CommandSlot& slot) {
        return slot.pending && (slot.timedOut || slot.state == SlotState::Cancelled);
    }
    size_t idsHeldForLateReplies() const;
    // Frees the held IDs of the requests sent on `line` before `began` on
    // the send clock.
    void releaseRepliedBefore(uint64_t line, uint64_t began);
    // Frees the held IDs of requests sent on lines that can no longer
    // deliver a reply.
    void releaseDeadLines();
    // Whether a reply to what was sent on `line` can still arrive.
    bool replyMayCome(uint64_t line) const { return line >= firstLiveLine_; }
    // Whether replies to what was sent on `earlier` come before those to
    // what is sent on `later`: on the same connection, or on a serial or
    // USB line, which goes on as one byte stream across its connections.
    bool sameReplyStream(uint64_t earlier, uint64_t later) const {
        return earlier == later || interfaceType_ != VX_IO_IFACE_NETWORK;
    }
    // With every ID taken and some held for late replies: asks the
    // controller for its version, whose answer settles what was sent
    // before. At most one a request time, and a few unanswered. True when
    // sent (the mutex was let go).
    bool probeLateReplies(Lock& lock);
    // The line is back at a known point: the first exchange on a remade
    // connection has been answered, and whatever came before its answer
    // has been dropped. Frees the IDs held for requests sent on earlier
    // connections, whose replies can no longer come.
    void lineResynchronised(Lock& lock);

    VX_CTL_Result getProperty(uint8_t index, VX_CTL_PropertyKey key, const Collect& collect);
    VX_CTL_Result getPropertyLocked(Lock& lock, uint8_t index, VX_CTL_PropertyKey key, const Collect& collect);
    VX_CTL_Result setProperty(uint8_t index, VX_CTL_PropertyKey key, const WriteValues& data);
    VX_CTL_Result requestWrite(uint8_t index, VX_CTL_PropertyKey key, const WriteValues& data,
                               VX_CTL_RequestID* requestId, VX_CTL_TransmitHandle handle);
    // Takes the outstanding request's own reference and runs `use` on it.
    VX_CTL_Result collectRequest(VX_CTL_RequestID requestId, const std::function<VX_CTL_Result(Lock&, CommandSlot&)>& use);

    // Frees a handle; what it queued is cancelled (requests dropped, their
    // waiters woken) unless `cancelQueued` is false.
    void releaseTransmit(VX_CTL_TransmitHandle handle, bool cancelQueued);
    // Sends everything `handle` queued in one write; the requests await
    // their replies from then on, the group's only once it triggers.
    VX_CTL_Result transmitQueued(Lock& lock, VX_CTL_TransmitHandle handle, TransmitEntry& entry, bool startDeadlines);
    // A sent slot whose frame did not go out: completed with `result`.
    void failSent(CommandSlot& slot, VX_CTL_Result result);
    // The device reported that a closed command group ran; false when
    // `handle` names no such group.
    bool groupTriggered(VX_CTL_TransmitHandle handle);

    // The device reported the end of the stream named by `streamByte`.
    void streamFinished(uint8_t streamByte, VX_CTL_Result endCode);
    // Waits until a new stream status leaves room for `units`.
    VX_CTL_Result waitForStreamCapacity(Lock& lock, uint32_t units);
    // Sends a close or abort of the stream with a slot and waits for its
    // completion.
    VX_CTL_Result endStream(Lock& lock, Packet (*frame)(uint8_t, uint8_t), VX_CTL_StreamHandle handle);
    // The close or abort of `handle` sent, and its answer.
    VX_CTL_Result sendEndOfStream(Lock& lock, Packet (*frame)(uint8_t, uint8_t), VX_CTL_StreamHandle handle);
    // Counts of a stream that starts afresh.
    void resetStreamCounts();

    // The worker's deadlines: completes requests unanswered for the request
    // time with VX_CTL_TIMEOUT and frees the IDs of cancelled ones; the
    // earliest time something is due next.
    std::optional<Clock::time_point> expireRequests();
    // Frees the handle of each cancelled command group whose trigger did
    // not come within the request time of the cancel; when the next one is
    // due.
    std::optional<Clock::time_point> expireCancelledGroups(Clock::time_point now);
    // A request's deadline started at `sendTime`: the worker is woken only
    // when it sleeps past the new deadline.
    void deadlineStarted(Clock::time_point sendTime);
    // Wakes every waiter of the device, the worker and the slots' waiters
    // included.
    void wakeAll();

    VX_CTL_Result checkVersion(Lock& lock);
    // Serial and USB lines go on after a give-up, and the controller may
    // hold the head of a frame cut there: bytes that complete any such frame
    // and are then skipped go before the first frame on the line.
    bool lineMayHoldHalfFrame() const;
    // The version request, after the filler where the line needs it.
    std::vector<uint8_t> firstExchange() const;
    // Brings a remade serial or USB line back to a frame boundary: the
    // first exchange sent and answered on `fresh`, the replies before its
    // answer dropped. False when it was not answered in time.
    bool resynchronise(Lock& lock, const ConnectionRef& fresh);
    VX_CTL_Result resetDevice(Lock& lock);
    // A networked controller restarts on a reset and drops its connection:
    // the reset ends with its ready frame, its announcement by discovery or
    // the exchange time, and the device is connected afresh.
    VX_CTL_Result resetNetworkDevice(Lock& lock);
    // Takes every connection of the device and closes it, waiting for the
    // worker when it is closing some itself.
    void dropConnections(Lock& lock);
    VX_CTL_Result handshake(Lock& lock);
    VX_CTL_Result sendSystemFrame(Lock& lock, Packet frame);
    // Waits up to the exchange time for `done`.
    template <typename Done>
    bool awaitReply(Lock& lock, Done done);

    // Takes the mutex of `lock` after a short spin: on the paths of each
    // request and reply it is held for a moment only, and a thread that
    // sleeps on it costs its holder a wake.
    static void lockSpinning(Lock& lock);
    Lock lockSpinning() {
        Lock lock(mutex_, std::defer_lock);
        lockSpinning(lock);
        return lock;
    }

    // VX_IO_Send on the connection's handle with the mutex released, counted
    // as in flight for the device's close. *stillCurrent (when given): the
    // connection is still the device's.
    VX_IO_Result sendUnlocked(Lock& lock, const ConnectionRef& connection, const uint8_t* bytes, size_t size,
                              bool* stillCurrent);
    // sendUnlocked on the current connection; a failed send retires it as
    // a lost link. True when the bytes went out.
    bool sendOnCurrent(Lock& lock, const uint8_t* bytes, size_t size, const SendStarting& starting);
    // Waits while a reconnection is pending, at most the reconnection
    // budget; then VX_CTL_OK with a connection, VX_CTL_CANCELED when the
    // device closes, else VX_CTL_COMMUNICATION_FAILED.
    VX_CTL_Result awaitConnection(Lock& lock);

    void runWorker();
    void reconnect(Lock& lock);
    // The worker's wait for `done` until `until`, keeping the requests'
    // deadlines meanwhile.
    template <typename Done>
    bool workerWaitUntil(Lock& lock, Clock::time_point until, Done done);

    const DeviceTiming timing_;
    // Numbers the connections made, from 1.
    std::atomic<uint64_t> connectionsMade_{0};
    const Crc32 crc_;
    // Fed on the reader thread without the mutex; reset only while no reader
    // thread runs.
    FrameReceiver receiver_{&crc_};

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::condition_variable workerWake_;

    // Everything below is guarded by mutex_.
    ConnectionRef connection_;  // set while connected
    // Connections a lost-link report took down, for the worker to close:
    // their reader threads end only with a waiting close.
    Connections retired_;
    bool reconnectPending_ = false;
    bool closing_ = false;
    // The worker is closing retired connections with the mutex released.
    bool closingRetired_ = false;
    // Sends with the mutex released; a close waits until none is left.
    int sendsInFlight_ = 0;
    // A remade line is brought back to a frame boundary: until the answer
    // to its first exchange, the replies that arrive are from before.
    bool resynchronising_ = false;
    // Library properties: 0 or 1.
    int32_t autoReconnect_ = 0;
    int32_t requestReadyEvents_ = 0;
    // What the device-logging key asked for last.
    bool deviceLoggingWanted_ = false;
    std::string locator_;
    std::string options_;
    int interfaceType_ = VX_IO_IFACE_UNKNOWN;
    std::string serialNumber_;

    CommandSlotPool slots_;
    // Counts the beginnings and ends of sends, in the order they happen.
    uint64_t sendClock_ = 0;
    // Connections are numbered from 1; replies to what went out on a
    // connection numbered below this can no longer come.
    uint64_t firstLiveLine_ = 0;
    // Some ID may be held for a late reply.
    bool lateRepliesHeld_ = false;
    // Version requests sent to settle held IDs, not answered yet.
    struct Probe {
        uint64_t line;
        uint64_t began;
        Clock::time_point sentAt;
    };
    std::deque<Probe> probes_;
    // When the sleeping worker wakes next: the maximum while it sleeps
    // without a deadline, the minimum while it is awake.
    Clock::time_point workerDue_ = Clock::time_point::min();
    TransmitHandleTable transmits_;

    // The trajectory stream: 0 while none is open.
    VX_CTL_StreamHandle streamHandle_ = 0;
    uint64_t streamUnitsSent_ = 0;
    // Never below 0: a device may count fewer than were sent.
    int64_t streamCapacity_ = 0;
    uint32_t streamCounts_[2] = {0, 0};
    bool streamStatusArrived_ = false;
    bool streamFinished_ = false;
    VX_CTL_Result streamEndCode_ = VX_CTL_OK;
    LibraryPropertyMap libraryProperties_;
    std::shared_ptr<DiscoveryListener> discovery_;

    bool versionReplied_ = false;
    std::array<uint32_t, 4> versionWords_{};
    bool handshakeReplied_ = false;
    uint16_t handshakeStatus_ = 0;
    bool waitingForReady_ = false;
    bool ready_ = false;
    uint16_t readyStatus_ = 0;

    EventQueue events_;
    bool eventWaiter_ = false;
    bool cancel_ = false;
    // Replaced and destroyed only with the mutex released: its threads
    // take the mutex.
    std::unique_ptr<DeviceLogging> deviceLogging_;

    vxplatform::OwnedThread worker_;
};

}  // namespace vxctl
