#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/OwnedThread.h"
#include "sim/ControllerModel.h"
#include "sim/DueWrites.h"
#include "sim/Link.h"

namespace vxsim {

// A misbehaviour of the controller for matching command lines.
struct TextFault {
    enum class Kind {
        Silent,      // no reply at all
        Late,        // the reply after `delay`
        Error,       // ":E-1," and `code` instead of the reply
        Replace,     // `bytes` instead of the reply (any text, with or without a line feed)
        Pieces,      // the reply cut into pieces of `pieceSize` bytes, `delay` apart
        Disconnect,  // drop the connection instead of replying
        Busy,        // the reply after `delay`; replies to later commands on the
                     // link wait behind it, as a controller that takes one
                     // command at a time answers
    };
    // The command it applies to: its name ("GP"), the text before its first
    // "," ("SLTC133", "GS0") or the whole command ("RTP0,2"); empty: any.
    std::string command;
    Kind kind = Kind::Silent;
    std::chrono::milliseconds delay{0};
    uint32_t code = 0;
    std::string bytes;
    size_t pieceSize = 0;
    int times = -1;  // commands it applies to; -1 for ever

    static TextFault silent(std::string command, int times = -1);
    static TextFault late(std::string command, std::chrono::milliseconds delay, int times = -1);
    static TextFault error(std::string command, uint32_t code, int times = -1);
    static TextFault replace(std::string command, std::string bytes, int times = -1);
    static TextFault pieces(std::string command, size_t pieceSize, std::chrono::milliseconds pause,
                            int times = -1);
    static TextFault disconnect(std::string command, int times = -1);
    static TextFault busy(std::string command, std::chrono::milliseconds delay, int times = -1);
};

// One command line the host sent: the text between ":" and the line feed.
struct TextCommandLine {
    std::string text;
    SimClock::time_point at;
};

// The controller's side of the textual command protocol over one model:
// ":" command LF in, one reply line out (":" name values LF). It answers
// GIV, SCM and the configuration commands from the model; a lone 0x00 and
// the rate switch "CB115200,1" go unanswered, as the controller gives no
// reply while it changes its line. Bytes before a ":" are dropped. A worker
// thread, owned and joined here, sends late replies and delayed pieces.
class TextEndpoint : public LinkHandler {
public:
    explicit TextEndpoint(ControllerModel& model);
    ~TextEndpoint() override;

    TextEndpoint(const TextEndpoint&) = delete;
    TextEndpoint& operator=(const TextEndpoint&) = delete;

    ControllerModel& model() { return model_; }
    // The RS-232 rate the last "CB" command stored.
    uint32_t baudRate() const;

    void addFault(const TextFault& fault);
    void clearFaults();

    // The reply line to `command` (the text after ":"), without faults;
    // empty when the controller gives none.
    std::string reply(std::string_view command);

    // Every command line, in order, with when it arrived.
    std::vector<TextCommandLine> commands() const;
    std::vector<std::string> commandTexts() const;
    // Every byte the host sent, in order.
    std::string received() const;
    void clearRecords();
    bool waitForCommands(size_t count, std::chrono::milliseconds timeout) const;
    // Delayed writes (late replies and pieces after the first) sent so far.
    size_t delayedWrites() const;
    bool waitForDelayedWrites(size_t count, std::chrono::milliseconds timeout) const;
    size_t connections() const;

    void onConnect(Link& link) override;
    void onReceive(Link& link, const uint8_t* data, size_t length) override;
    void onDisconnect(Link& link) override;

private:
    void handleLine(Link& link, std::string line, std::unique_lock<std::mutex>& lock);
    void run();

    ControllerModel& model_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<TextFault> faults_;
    std::map<Link*, std::string> partial_;
    // Until when a Busy reply holds back the replies of each link.
    std::map<Link*, SimClock::time_point> busyUntil_;
    std::vector<TextCommandLine> commands_;
    std::string received_;
    DueWrites<std::string> delayed_;
    size_t delayedWrites_ = 0;
    vxplatform::OwnedThread worker_;
};

}  // namespace vxsim
