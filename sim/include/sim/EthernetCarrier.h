#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/EthernetController.h"

namespace vxsim {

// How one controller misbehaves, for the requests in `requests` (all when
// empty).
struct EthernetFaults {
    std::vector<uint16_t> requests{};
    bool silent = false;                // the request is carried out, the answer never sent
    std::optional<uint16_t> status{};   // status word of answers instead of success (0xFFFE, 0x2001...)
    std::optional<MacAddress> replyFrom{};  // answers come from this address instead of the controller's
    unsigned copies = 1;                // each answer sent this many times
    std::chrono::milliseconds delay{0};  // answers sent this late
    // Frames that are no answer (another EtherType, a foreign marker) sent
    // to the requester every few milliseconds for this long.
    std::chrono::milliseconds flood{0};
};

// Controllers on one Ethernet interface: a raw packet socket bound to the
// interface (in the network namespace of the thread that makes the
// carrier) takes the configuration frames, records every one, and answers
// for each controller they address, broadcasts for all of them in the
// order they were added.
//
// One thread, owned and joined by the carrier, receives and sends.
class EthernetCarrier {
public:
    // Called on the carrier's thread with each frame received.
    using Observer = std::function<void(const std::vector<uint8_t>& frame)>;

    // Throws std::system_error when the interface or the socket cannot be had.
    explicit EthernetCarrier(const std::string& interfaceName, Observer observer = {});
    ~EthernetCarrier();
    EthernetCarrier(const EthernetCarrier&) = delete;
    EthernetCarrier& operator=(const EthernetCarrier&) = delete;

    // The new controller's index.
    size_t addController(const EthernetController& controller, const EthernetFaults& faults = {});
    void setFaults(size_t index, const EthernetFaults& faults);
    // A copy of the model as it stands.
    EthernetController controller(size_t index) const;

    // Every frame received so far, as received.
    std::vector<std::vector<uint8_t>> frames() const;
    bool waitForFrames(size_t count, std::chrono::milliseconds deadline) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The vxsim-ethernet program: serves controllers on one interface until
// SIGINT or SIGTERM; prints "ready", then each frame received in hex.
int runEthernetProgram(int argc, char** argv);

}  // namespace vxsim
