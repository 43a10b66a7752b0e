#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/OwnedThread.h"
#include "sim/DueWrites.h"
#include "sim/FrameLog.h"
#include "sim/Gen2Frame.h"
#include "sim/Gen2Model.h"
#include "sim/Link.h"

namespace vxsim {

// One request the host sent, as the controller understood it. Fields that
// the request type lacks stay 0 or empty.
struct Gen2Request {
    uint8_t start = 0;
    uint8_t type = 0;
    uint8_t requestId = 0;
    uint8_t handle = 0;  // transmit handle, command group or stream handle
    uint8_t index = 0;
    uint8_t triggerMode = 0;  // of a command group or a stream
    uint32_t key = 0;
    std::optional<PropertyValue> value;  // what a write carried
    Bytes bytes;                         // the whole frame
};

// Which host requests a fault applies to; -1 matches anything.
struct Gen2Match {
    int start = -1;
    int type = -1;
    bool matches(const Gen2Request& request) const;
};

// A misbehaviour of the controller for matching requests.
struct Gen2Fault {
    enum class Kind {
        Drop,        // no reply at all
        Delay,       // the reply after `delay`
        Duplicate,   // the reply twice
        Corrupt,     // the reply with one bit of its CRC flipped
        Shorten,     // the reply re-framed with only `keep` payload bytes
        Disconnect,  // the connection dropped instead of a reply
        Replace,     // `bytes` instead of the reply, whatever they are
        Complete,    // a completion with `result` instead of the reply
        // The reply, and the same again `delay` later; as on a link that
        // repeats, later repeated replies of the connection follow it.
        Repeat,
    };
    Gen2Match match;
    Kind kind = Kind::Drop;
    std::chrono::milliseconds delay{0};
    size_t keep = 0;
    Bytes bytes;
    uint16_t result = 0;
    int times = -1;  // requests it applies to; -1 for ever

    static Gen2Fault drop(Gen2Match match, int times = -1);
    static Gen2Fault late(Gen2Match match, std::chrono::milliseconds delay, int times = -1);
    static Gen2Fault duplicate(Gen2Match match, int times = -1);
    static Gen2Fault corrupt(Gen2Match match, int times = -1);
    static Gen2Fault shorten(Gen2Match match, size_t keep, int times = -1);
    static Gen2Fault disconnect(Gen2Match match, int times = -1);
    static Gen2Fault replace(Gen2Match match, Bytes bytes, int times = -1);
    static Gen2Fault complete(Gen2Match match, uint16_t result, int times = -1);
    static Gen2Fault repeat(Gen2Match match, std::chrono::milliseconds gap, int times = -1);
};

// What the controller answers to a handshake.
struct Gen2HandshakeReply {
    uint32_t magic = gen2::kHandshakeMagic;
    uint16_t status = 0;
    bool wrongLength = false;  // four bytes more than the reply has
};

// What the controller answers to the USB probe's info request: nothing (by
// default), an info reply listing its protocol ids, or, as a sensor module
// in FIFO mode does, a ready frame with status 0x7FFE.
struct Gen2InfoReply {
    std::optional<Bytes> protocolIds;
    bool fifoSensor = false;
};

// The controller's side of the second-generation protocol over one model.
// It parses what the host sends strictly: every byte that is not a well
// formed request is recorded as rejected, so tests can assert that the
// library sent none. It answers version requests, handshakes (also the USB
// probe's short one and its info request), device resets, property reads
// and writes, movement commands (each reports its end with a "movement
// finished" event), command groups (collected from their open to their
// close, run on their trigger, reported with a "command group triggered"
// event) and the one trajectory stream. A worker thread, owned and joined
// here, sends late replies and the ends of movements.
class Gen2Endpoint : public LinkHandler {
public:
    explicit Gen2Endpoint(Gen2Model& model);
    ~Gen2Endpoint() override;

    Gen2Endpoint(const Gen2Endpoint&) = delete;
    Gen2Endpoint& operator=(const Gen2Endpoint&) = delete;

    Gen2Model& model() { return model_; }

    // Exchanges.
    void setVersionWords(const std::array<uint32_t, 4>& words);
    void setHandshakeReply(const Gen2HandshakeReply& reply);
    void setInfoReply(const Gen2InfoReply& reply);
    // The ready frame after a reset: 0xF1, or 0xF0 with this status.
    void setReadyStatus(std::optional<uint16_t> status);
    // A reset's ready frame is preceded by one zero byte, as USB adapters show.
    void setZeroBeforeReady(bool zero);
    // A controller that restarts on a reset instead of answering it: no ready
    // frame, and `restart` is called (with the endpoint's lock held, so it
    // may only hand the work on). Null: the ready frame again.
    void setRestartOnReset(std::function<void()> restart);

    // Carrier faults.
    void setChunkSize(size_t bytes);      // every write cut into pieces of at most this (0: whole)
    void setMergeReplies(bool merge);     // all replies to one chunk of the host's bytes in one write
    void setRefuseConnections(bool refuse);  // new connections are dropped at once
    void addFault(const Gen2Fault& fault);
    void clearFaults();
    void disconnectAll();

    // Unrequested frames to every connection.
    void sendToHost(const Bytes& bytes);
    void injectEvent(uint8_t index, uint16_t type, int32_t parameter);
    // A stream status with the device's two counts.
    void sendStreamStatus(uint32_t first, uint32_t second);
    // The handle of the open stream; 0 when none is open.
    uint8_t streamHandle() const;
    // The stream plays `units` of its buffered frames and reports its counts,
    // and its end when it ran dry.
    void playStream(uint32_t units);
    // The stream's counts as they stand, if one runs.
    void reportStream();
    // The counts follow the reply to an open at once, as some devices do.
    void setStreamStatusOnOpen(bool status);
    // Runs the closed command group under `handle` whose trigger mode is
    // not 0 (those run on their close); false when there is none.
    bool triggerGroup(uint8_t handle);
    // Command groups closed and waiting for their trigger.
    size_t groupsWaiting() const;
    // The next command group that runs loses what it sends back on the way
    // to the host: its "command group triggered" event, and with `replies`
    // its requests' replies too. They are kept for sendLostGroup().
    void loseNextGroup(bool replies);
    // Sends what the lost group kept, late; false when nothing is kept.
    bool sendLostGroup();
    // The next command group that runs sends its "command group triggered"
    // event `delay` after its replies.
    void delayNextTrigger(std::chrono::milliseconds delay);
    void sendUnsolicitedReady();

    std::vector<Gen2Request> requests() const;
    std::vector<gen2::Rejected> rejected() const;
    // Every frame taken or dropped, in order, with its request ID, type,
    // key and values or the reason it was dropped.
    FrameLog& frameLog() { return frameLog_; }
    void clearRequests();
    bool waitForRequests(size_t count, std::chrono::milliseconds timeout) const;
    size_t connections() const;
    size_t refusedConnections() const;
    size_t lateRepliesSent() const;
    bool waitForLateReplies(size_t count, std::chrono::milliseconds timeout) const;

    void onConnect(Link& link) override;
    void onReceive(Link& link, const uint8_t* data, size_t length) override;
    void onDisconnect(Link& link) override;

private:
    // Requests collected under a transmit handle, run together.
    struct Group {
        Link* link = nullptr;
        uint8_t triggerMode = 0;
        bool closed = false;
        std::vector<Gen2Request> requests;
    };

    std::optional<Gen2Request> parse(const gen2::Frame& frame, std::string* why) const;
    // The replies to `request` after the faults, into `out`; false when the
    // connection is to drop instead.
    bool answer(Link& link, const Gen2Request& request, std::vector<Bytes>* out);
    // Whether `request` opens, closes or cancels a command group or joins
    // an open one, with what that sends at once into `out`; *keep false when
    // a group it ran is to drop the connection.
    bool grouped(Link& link, const Gen2Request& request, std::vector<Bytes>* out, bool* keep);
    // The replies of a closed group's requests and its trigger event into
    // `out`; the group is forgotten. False when a request's fault drops the
    // connection: the replies before it still go out, nothing after it.
    bool runGroup(uint8_t handle, std::vector<Bytes>* out);
    std::vector<Bytes> reply(const Gen2Request& request);
    std::vector<Bytes> readReply(const Gen2Request& request);
    Gen2Fault* matchingFault(const Gen2Request& request);
    void writeBytes(Link& link, const Bytes& bytes);
    void sendToAllLocked(const Bytes& bytes);
    void run();

    Gen2Model& model_;
    mutable std::mutex mutex_;
    std::map<uint8_t, Group> groups_;
    enum class GroupLoss { None, Trigger, Everything };
    GroupLoss nextGroupLoss_ = GroupLoss::None;
    std::vector<Bytes> lostGroup_;
    std::optional<std::chrono::milliseconds> nextTriggerDelay_;
    bool streamStatusOnOpen_ = false;
    mutable std::condition_variable changed_;
    std::array<uint32_t, 4> versionWords_{0, 0, 0, 1};
    Gen2HandshakeReply handshake_;
    Gen2InfoReply info_;
    std::optional<uint16_t> readyStatus_;
    bool zeroBeforeReady_ = false;
    std::function<void()> restart_;
    size_t chunkSize_ = 0;
    bool mergeReplies_ = false;
    bool refuseConnections_ = false;
    std::vector<Gen2Fault> faults_;
    std::map<Link*, gen2::FrameParser> links_;
    std::vector<Gen2Request> requests_;
    std::vector<gen2::Rejected> rejected_;
    FrameLog frameLog_;
    DueWrites<Bytes> delayed_;
    // Per connection: when its last repeated reply goes out.
    std::map<Link*, std::chrono::steady_clock::time_point> repeatsUntil_;
    size_t refused_ = 0;
    size_t lateSent_ = 0;
    vxplatform::OwnedThread worker_;
};

}  // namespace vxsim
