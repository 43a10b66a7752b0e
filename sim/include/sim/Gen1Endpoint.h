#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "platform/OwnedThread.h"
#include "sim/ControllerModel.h"
#include "sim/DueWrites.h"
#include "sim/FrameLog.h"
#include "sim/Link.h"

namespace vxsim {

using Bytes = std::vector<uint8_t>;

// One binary packet of a first-generation controller system, for tests and
// fault scripts: address (little-endian), opcode, payload.
Bytes gen1Packet(uint16_t address, uint8_t opcode, const Bytes& payload = {});
// The interface module's hello, sent after a reset and to a new connection.
Bytes gen1Hello();

// Which host requests a fault applies to; -1 matches anything.
struct RequestMatch {
    int address = -1;
    int opcode = -1;
    int sub = -1;  // first payload byte
    bool matches(const uint8_t* packet) const;
};

// A misbehaviour of the controller for matching requests.
struct Fault {
    enum class Kind {
        Silent,      // no answer at all
        Late,        // the answer after `delay`
        Error,       // error answer with `code` instead of the answer
        Replace,     // `bytes` instead of the answer (any framing, any address)
        Append,      // `bytes` after the answer
        Disconnect,  // drop the connection instead of answering
    };
    RequestMatch match;
    Kind kind = Kind::Silent;
    std::chrono::milliseconds delay{0};
    uint8_t code = 0;
    Bytes bytes;
    int times = -1;  // requests it applies to; -1 for ever

    static Fault silent(RequestMatch match, int times = -1);
    static Fault late(RequestMatch match, std::chrono::milliseconds delay, int times = -1);
    static Fault error(RequestMatch match, uint8_t code, int times = -1);
    static Fault replace(RequestMatch match, Bytes bytes, int times = -1);
    static Fault append(RequestMatch match, Bytes bytes, int times = -1);
    static Fault disconnect(RequestMatch match, int times = -1);
};

// The controller's side of the binary packet protocol over one model: the
// interface module (0x0008) answers channel lists, versions, resets and the
// index map, the hand control module (0x0002) its table, slots and EEPROM
// type, each channel module its commands. In synchronous mode every command
// is acknowledged; in asynchronous mode only refusals are answered. A worker
// thread, owned and joined here, sends late answers and movement reports.
// Greeting a new network connection is the carrier's part (the hello packet
// is gen1Hello()).
class Gen1Endpoint : public LinkHandler {
public:
    explicit Gen1Endpoint(ControllerModel& model);
    ~Gen1Endpoint() override;

    Gen1Endpoint(const Gen1Endpoint&) = delete;
    Gen1Endpoint& operator=(const Gen1Endpoint&) = delete;

    ControllerModel& model() { return model_; }

    // A reset answer is preceded by one junk byte, as USB adapters show.
    void setJunkAfterReset(bool junk);
    // Every write cut into pieces of at most `bytes` (0: whole).
    void setChunkSize(size_t bytes);
    // All answers to one request leave in one write.
    void setMergeAnswers(bool merge);
    void addFault(const Fault& fault);
    void clearFaults();
    // Drops every connection now.
    void disconnectAll();
    // Sends unrequested bytes to the host.
    void sendToHost(const Bytes& bytes);

    // Every complete request the host sent, in order.
    std::vector<Bytes> requests() const;
    size_t requestCount() const;
    void clearRequests();
    bool waitForRequests(size_t count, std::chrono::milliseconds timeout) const;
    // Every packet taken, in order, with its address and opcode.
    FrameLog& frameLog() { return frameLog_; }
    // Late answers sent so far.
    size_t lateAnswersSent() const;
    bool waitForLateAnswers(size_t count, std::chrono::milliseconds timeout) const;
    size_t connections() const;

    void onConnect(Link& link) override;
    void onReceive(Link& link, const uint8_t* data, size_t length) override;
    void onDisconnect(Link& link) override;

private:
    void handleRequest(Link& link, const Bytes& request, std::unique_lock<std::mutex>& lock);
    std::vector<Bytes> answer(const Bytes& request);
    std::vector<Bytes> interfaceModule(const Bytes& request);
    std::vector<Bytes> handControlModule(const Bytes& request);
    std::vector<Bytes> systemWide(const Bytes& request);
    std::vector<Bytes> channelModule(size_t channel, const Bytes& request);
    void write(Link& link, const std::vector<Bytes>& packets);
    void writeBytes(Link& link, const Bytes& bytes);
    void run();

    ControllerModel& model_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool junkAfterReset_ = false;
    size_t chunkSize_ = 0;
    bool mergeAnswers_ = false;
    std::vector<Fault> faults_;
    std::map<Link*, Bytes> partial_;
    Link* reportLink_ = nullptr;
    std::vector<Bytes> requests_;
    FrameLog frameLog_;
    DueWrites<Bytes> delayed_;
    size_t lateSent_ = 0;
    // Its stop flag is read under mutex_, which the wake-up takes to notify.
    vxplatform::OwnedThread worker_;
};

}  // namespace vxsim
