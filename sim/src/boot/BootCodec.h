#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace vxsim {

using Bytes = std::vector<uint8_t>;

// The bootloader's framing on one link, kept apart from what the modules
// do. Every frame either way opens with a one-byte exchange: its sender
// sends byte 0, the receiver answers AA, the sender sends the rest. A host
// frame is a 16-bit big-endian address, a 16-bit big-endian length L and L
// bytes (a command frame is one whose L is 1: the command byte).
class BootCodec {
public:
    static constexpr uint8_t kExchangeAnswer = 0xAA;
    static constexpr size_t kFrameHead = 4;

    // What one step over the host's bytes came to.
    struct Step {
        size_t used = 0;
        // A host frame opened: its byte 0 waits for the exchange answer,
        // which open() gives.
        bool opened = false;
        std::optional<Bytes> frame;  // a host frame arrived whole
        Bytes toHost;                // reply bytes the host's AA released
    };

    // Consumes the host's bytes up to the next frame opening or frame end.
    Step take(const uint8_t* data, size_t length);
    // Answers the byte 0 of the frame that opened: AA lets the host send the
    // rest, anything else ends the frame there. Gives the byte to send.
    uint8_t open(uint8_t answer);
    // Queues a reply frame; gives what to send now: its byte 0 when no
    // other reply waits for the host's AA.
    Bytes reply(Bytes frame);
    // Forgets the frame under way and every queued reply.
    void clear();

private:
    enum class Phase { Idle, Opening, Frame };

    Phase phase_ = Phase::Idle;
    Bytes frame_;
    // Replies; the front one's byte 0 has gone out while `replying_`.
    std::deque<Bytes> replies_;
    bool replying_ = false;
};

}  // namespace vxsim
