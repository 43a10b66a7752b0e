#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/OwnedThread.h"
#include "sim/BootImage.h"
#include "sim/ControllerModel.h"
#include "sim/DueWrites.h"
#include "sim/Link.h"

namespace vxsim {

class Gen1Endpoint;
class TextEndpoint;
class BootCodec;

// How the host reaches the system. The carriers differ in the interface
// module's ping address and in the signs the system gives when its
// application starts.
enum class Carrier { Usb, Serial, Tcp };

namespace boot {
// Command bytes of the host's command frames.
enum Command : uint8_t {
    kStartApplication = 0xA0,
    kCheckFirmware = 0xC0,
    kPing = 0xE0,
    kListModules = 0xF0,
    kReadVersion = 0xF1,
    kReadModuleCode = 0xF2,
};
inline constexpr uint8_t kPingAnswer = 0xE1;
// A firmware frame's acknowledgement codes.
inline constexpr uint8_t kFrameAccepted = 0x11;
inline constexpr uint8_t kFrameDamaged = 0x12;     // its CRC refuses it
inline constexpr uint8_t kFrameUnfit = 0x13;       // an image for another kind or variant
inline constexpr uint8_t kFrameOutOfOrder = 0x14;  // not the frame the module waits for
inline constexpr uint16_t kSystemAddress = 0x0000;
// What moves a running application into the bootloader: the binary packet
// to every module with opcode 40, or the textual command with the access code.
inline constexpr uint8_t kEnterPacket[] = {0x00, 0x00, 0x40};
inline constexpr char kEnterText[] = ":EB6204918357\n";
}  // namespace boot

// One module as its bootloader knows it.
struct BootModule {
    uint16_t word = 0x2001;          // its address; listed by F0
    std::optional<uint8_t> variant;  // answered to F2; none: F2 goes unanswered
    bool valid = true;               // its firmware is intact
    uint8_t version1 = 0x09;         // firmware line (bits 7-3) and major version
    uint8_t version2 = 3;            // minor version
    uint16_t version3 = 17;          // build
};

// A misbehaviour of the bootloader for matching host frames.
struct BootFault {
    enum class Kind {
        Exchange,  // `byte` instead of AA to a frame's byte 0 (any frame)
        Silent,    // no reply; a firmware frame gets no acknowledgement
        Late,      // the replies after `delay`
        Replace,   // `bytes` instead of the replies; for A0 instead of the start signs
        Refuse,    // a firmware frame acknowledged with `byte` by every receiver
        Corrupt,   // a firmware frame damaged on the way, so its CRC refuses it
        Reset,     // a reset on a firmware frame: back into the bootloader,
                   // TCP connections dropped, the receivers' firmware damaged
    };
    static constexpr int kAnyFrame = -1;
    static constexpr int kFirmwareFrame = 0x100;

    Kind kind = Kind::Silent;
    int frame = kAnyFrame;  // a command byte, kFirmwareFrame or kAnyFrame
    uint8_t byte = 0;
    std::chrono::milliseconds delay{0};
    Bytes bytes;
    int skip = 0;    // matching frames let through before it applies
    int times = -1;  // matching frames it applies to then; -1 for ever

    static BootFault exchange(uint8_t byte, int times = -1);
    static BootFault silent(int frame, int times = -1);
    static BootFault late(int frame, std::chrono::milliseconds delay, int times = -1);
    static BootFault replace(int frame, Bytes bytes, int times = -1);
    static BootFault refuse(uint8_t code, int times = -1);
    static BootFault corrupt(int times = -1);
    // On the firmware frame after `skip` others.
    static BootFault reset(int skip);
};

// One firmware frame as the modules met it: the address the host wrote it
// to and the modules that address reached (none for a frame lost on the way).
struct FrameWrite {
    uint16_t address = 0;
    std::vector<uint16_t> modules;
    bool operator==(const FrameWrite&) const = default;
};

class SystemEndpoint;

// The bootloader state of a simulated first-generation system, shared by
// all its carriers: whether the system runs its application or its
// bootloader, the modules' firmware, and the bootloader's answers. Each
// carrier reaches it through a SystemEndpoint. A worker thread, owned and
// joined here, sends late replies. Every member is safe from any thread.
class BootloaderSystem {
public:
    enum class State { Application, Bootloader };

    explicit BootloaderSystem(std::vector<BootModule> modules,
                              State state = State::Application);
    ~BootloaderSystem();
    BootloaderSystem(const BootloaderSystem&) = delete;
    BootloaderSystem& operator=(const BootloaderSystem&) = delete;

    State state() const;
    void setState(State state);
    std::vector<BootModule> modules() const;
    std::optional<BootModule> module(uint16_t word) const;
    void setModuleValid(uint16_t word, bool valid);

    void addFault(const BootFault& fault);
    void clearFaults();
    // A silent system takes every byte and answers none.
    void setSilent(bool silent);

    // Every whole frame the host sent to the bootloader, in order.
    std::vector<Bytes> hostFrames() const;
    // Every firmware frame, in order, with the modules it reached.
    std::vector<FrameWrite> frameWrites() const;
    // Forgets both records.
    void clearHostFrames();
    size_t resets() const;
    bool waitForState(State state, std::chrono::milliseconds timeout) const;

private:
    friend class SystemEndpoint;
    // A reply held back, and the carrier whose link it goes out on.
    struct DelayedReply {
        SystemEndpoint* endpoint;
        Bytes frame;
    };
    struct Upload {
        BootImageHeader header;
        uint16_t next = 1;
    };

    // Under mutex_.
    const BootFault* takeFault(int frame);
    void hostFrame(SystemEndpoint& endpoint, Link& link, const Bytes& frame);
    void command(SystemEndpoint& endpoint, Link& link, uint16_t address, uint8_t command);
    void firmwareFrame(SystemEndpoint& endpoint, Link& link, uint16_t address, const Bytes& frame);
    uint8_t install(BootModule& module, const Bytes& frame);
    void deliver(SystemEndpoint& endpoint, Link& link, std::vector<Bytes> replies,
                 const BootFault* fault);
    void changeState(State state);
    void restart();
    void run();

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    State state_;
    std::vector<BootModule> modules_;
    std::map<uint16_t, Upload> uploads_;
    std::vector<BootFault> faults_;
    bool silent_ = false;
    std::vector<Bytes> hostFrames_;
    std::vector<FrameWrite> frameWrites_;
    size_t resets_ = 0;
    std::vector<SystemEndpoint*> endpoints_;
    DueWrites<DelayedReply> delayed_;
    vxplatform::OwnedThread worker_;
};

// One carrier's way into the system: while the system runs its
// application, the host's bytes go to the carrier's application endpoint
// (whole binary packets or whole text lines) and a new TCP connection to a
// binary application is greeted with the hello packet; in the bootloader
// they go to the bootloader's codec. Either application moves to the
// bootloader on the enter packet or the enter text.
class SystemEndpoint : public LinkHandler {
public:
    SystemEndpoint(BootloaderSystem& system, Carrier carrier, Gen1Endpoint& application);
    SystemEndpoint(BootloaderSystem& system, Carrier carrier, TextEndpoint& application);
    ~SystemEndpoint() override;
    SystemEndpoint(const SystemEndpoint&) = delete;
    SystemEndpoint& operator=(const SystemEndpoint&) = delete;

    Carrier carrier() const { return carrier_; }
    bool textual() const { return text_ != nullptr; }
    // Every byte the host sent over this carrier, in order.
    Bytes received() const;
    void clearReceived();
    bool waitReceived(size_t count, std::chrono::milliseconds timeout) const;

    void onConnect(Link& link) override;
    void onReceive(Link& link, const uint8_t* data, size_t length) override;
    void onDisconnect(Link& link) override;

private:
    friend class BootloaderSystem;
    struct LinkState;

    SystemEndpoint(BootloaderSystem& system, Carrier carrier, Gen1Endpoint* binary,
                   TextEndpoint* text);
    // Under the system's mutex; each gives how many bytes it used.
    size_t applicationBytes(Link& link, LinkState& state, const uint8_t* data, size_t length);
    size_t bootloaderBytes(Link& link, LinkState& state, const uint8_t* data, size_t length);
    // Queues a reply frame on the link and sends what may go now.
    void reply(Link& link, Bytes frame);
    void clearLinks();
    // The bytes the system gives when its application starts.
    Bytes startSigns() const;
    uint16_t pingAddress() const;

    BootloaderSystem& system_;
    const Carrier carrier_;
    Gen1Endpoint* binary_;
    TextEndpoint* text_;
    std::map<Link*, std::unique_ptr<LinkState>> links_;
    Bytes received_;
};

}  // namespace vxsim
