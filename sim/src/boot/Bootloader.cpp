#include "sim/Bootloader.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <system_error>

#include "BootCodec.h"
#include "sim/Gen1Endpoint.h"
#include "sim/TextEndpoint.h"

namespace vxsim {

using namespace boot;

namespace {

constexpr uint8_t kStartByte = 0x00;
constexpr uint8_t kExtendedKind = 0xF;
constexpr size_t kGen1Head = 3;
constexpr std::string_view kEnterLine(boot::kEnterText);
// What takeFault is asked when a host frame opens.
constexpr int kOpening = -2;

// The carriers' differences, one row each.
struct CarrierRow {
    Carrier carrier;
    uint16_t pingAddress;
    bool startByte;  // a 00 goes out first when the application starts
    bool hello;      // a binary application then greets with the hello packet
};
constexpr CarrierRow kCarriers[] = {
    {Carrier::Usb, 0x1000, true, true},
    {Carrier::Serial, 0x8000, true, false},
    {Carrier::Tcp, 0xF100, false, true},
};

const CarrierRow& rowOf(Carrier carrier) {
    return *std::find_if(std::begin(kCarriers), std::end(kCarriers),
                         [&](const CarrierRow& row) { return row.carrier == carrier; });
}

// A reply frame: the sender's address, the length of what follows, the data.
Bytes replyFrame(uint16_t address, const Bytes& data) {
    Bytes frame{static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size())};
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

uint8_t high(uint16_t word) { return static_cast<uint8_t>(word >> 8); }
uint8_t low(uint16_t word) { return static_cast<uint8_t>(word); }

// The group address that reaches every module of a kind; the extended
// kinds are told apart by their second nibble.
uint16_t groupAddress(uint16_t word) {
    return (word >> 12) == kExtendedKind ? (word & 0xFF00) : (word & 0xF000);
}

bool is(const BootFault* fault, BootFault::Kind kind) { return fault && fault->kind == kind; }

}  // namespace

// Faults

BootFault BootFault::exchange(uint8_t byte, int times) {
    BootFault f;
    f.kind = Kind::Exchange;
    f.byte = byte;
    f.times = times;
    return f;
}

BootFault BootFault::silent(int frame, int times) {
    BootFault f;
    f.kind = Kind::Silent;
    f.frame = frame;
    f.times = times;
    return f;
}

BootFault BootFault::late(int frame, std::chrono::milliseconds delay, int times) {
    BootFault f = silent(frame, times);
    f.kind = Kind::Late;
    f.delay = delay;
    return f;
}

BootFault BootFault::replace(int frame, Bytes bytes, int times) {
    BootFault f = silent(frame, times);
    f.kind = Kind::Replace;
    f.bytes = std::move(bytes);
    return f;
}

BootFault BootFault::refuse(uint8_t code, int times) {
    BootFault f = silent(kFirmwareFrame, times);
    f.kind = Kind::Refuse;
    f.byte = code;
    return f;
}

BootFault BootFault::corrupt(int times) {
    BootFault f = silent(kFirmwareFrame, times);
    f.kind = Kind::Corrupt;
    return f;
}

BootFault BootFault::reset(int skip) {
    BootFault f = silent(kFirmwareFrame, 1);
    f.kind = Kind::Reset;
    f.skip = skip;
    return f;
}

// The system

BootloaderSystem::BootloaderSystem(std::vector<BootModule> modules, State state)
    : state_(state), modules_(std::move(modules)) {
    const bool started = worker_.start([this] { run(); },
                                       [this] {
                                           std::lock_guard<std::mutex> lock(mutex_);
                                           changed_.notify_all();
                                       });
    if (!started) throw std::system_error(EAGAIN, std::generic_category(), "bootloader thread");
}

BootloaderSystem::~BootloaderSystem() { worker_.stop(); }

BootloaderSystem::State BootloaderSystem::state() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void BootloaderSystem::setState(State state) {
    std::lock_guard<std::mutex> lock(mutex_);
    changeState(state);
}

std::vector<BootModule> BootloaderSystem::modules() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return modules_;
}

std::optional<BootModule> BootloaderSystem::module(uint16_t word) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const BootModule& module : modules_)
        if (module.word == word) return module;
    return std::nullopt;
}

void BootloaderSystem::setModuleValid(uint16_t word, bool valid) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (BootModule& module : modules_)
        if (module.word == word) module.valid = valid;
}

void BootloaderSystem::addFault(const BootFault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(fault);
}

void BootloaderSystem::clearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

void BootloaderSystem::setSilent(bool silent) {
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = silent;
}

std::vector<Bytes> BootloaderSystem::hostFrames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return hostFrames_;
}

std::vector<FrameWrite> BootloaderSystem::frameWrites() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frameWrites_;
}

void BootloaderSystem::clearHostFrames() {
    std::lock_guard<std::mutex> lock(mutex_);
    hostFrames_.clear();
    frameWrites_.clear();
}

size_t BootloaderSystem::resets() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return resets_;
}

bool BootloaderSystem::waitForState(State state, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return state_ == state; });
}

const BootFault* BootloaderSystem::takeFault(int frame) {
    const bool opening = frame == kOpening;
    for (BootFault& fault : faults_) {
        // Exchange faults answer openings, before any frame is known.
        if ((fault.kind == BootFault::Kind::Exchange) != opening) continue;
        if (!opening && fault.frame != BootFault::kAnyFrame && fault.frame != frame) continue;
        if (fault.times == 0) continue;
        if (fault.skip > 0) {
            --fault.skip;
            continue;
        }
        if (fault.times > 0) --fault.times;
        return &fault;
    }
    return nullptr;
}

void BootloaderSystem::changeState(State state) {
    state_ = state;
    // What either side had half received belongs to the state that ended.
    for (SystemEndpoint* endpoint : endpoints_) endpoint->clearLinks();
    delayed_ = {};
    changed_.notify_all();
}

void BootloaderSystem::hostFrame(SystemEndpoint& endpoint, Link& link, const Bytes& frame) {
    hostFrames_.push_back(frame);
    changed_.notify_all();
    const uint16_t address = static_cast<uint16_t>(frame[0] << 8 | frame[1]);
    if (frame.size() == BootCodec::kFrameHead + 1)
        command(endpoint, link, address, frame.back());
    else
        firmwareFrame(endpoint, link, address, frame);
}

void BootloaderSystem::command(SystemEndpoint& endpoint, Link& link, uint16_t address,
                               uint8_t command) {
    const BootFault* fault = takeFault(command);
    std::vector<Bytes> replies;
    auto addressed = std::find_if(modules_.begin(), modules_.end(),
                                  [&](const BootModule& m) { return m.word == address; });
    const bool known = addressed != modules_.end();
    switch (command) {
    case kListModules:
        if (address != kSystemAddress) break;
        for (const BootModule& m : modules_)
            replies.push_back(replyFrame(m.word, {kListModules, high(m.word), low(m.word)}));
        break;
    case kReadModuleCode:
        if (known && addressed->variant)
            replies.push_back(replyFrame(address, {kReadModuleCode, *addressed->variant}));
        break;
    case kCheckFirmware:
        if (known) replies.push_back(replyFrame(address, {static_cast<uint8_t>(addressed->valid)}));
        break;
    case kReadVersion:
        if (known)
            replies.push_back(replyFrame(
                address, {kReadVersion, addressed->version1, addressed->version2,
                          high(addressed->version3), low(addressed->version3)}));
        break;
    case kPing:
        if (address == kSystemAddress || address == endpoint.pingAddress())
            replies.push_back(replyFrame(address, {kPingAnswer}));
        break;
    case kStartApplication: {
        const bool allValid = std::all_of(modules_.begin(), modules_.end(),
                                          [](const BootModule& m) { return m.valid; });
        if (address != kSystemAddress || !allValid || is(fault, BootFault::Kind::Silent)) return;
        const Bytes signs =
            is(fault, BootFault::Kind::Replace) ? fault->bytes : endpoint.startSigns();
        changeState(State::Application);
        if (!signs.empty()) link.send(signs.data(), signs.size());
        return;
    }
    default:
        break;
    }
    deliver(endpoint, link, std::move(replies), fault);
}

void BootloaderSystem::firmwareFrame(SystemEndpoint& endpoint, Link& link, uint16_t address,
                                     const Bytes& frame) {
    const BootFault* fault = takeFault(BootFault::kFirmwareFrame);
    FrameWrite& write = frameWrites_.emplace_back(FrameWrite{address, {}});
    // A dropped frame reaches no module.
    if (is(fault, BootFault::Kind::Silent)) return;
    // What follows the address: the firmware file's frame, length field first.
    Bytes data(frame.begin() + 2, frame.end());
    if (is(fault, BootFault::Kind::Corrupt)) data.back() ^= 0xFF;
    const bool reset = is(fault, BootFault::Kind::Reset);
    std::vector<Bytes> acknowledgements;
    for (BootModule& module : modules_) {
        if (address != module.word && address != groupAddress(module.word)) continue;
        write.modules.push_back(module.word);
        if (reset) {
            module.valid = false;
            uploads_.erase(module.word);
            continue;
        }
        const uint8_t code =
            is(fault, BootFault::Kind::Refuse) ? fault->byte : install(module, data);
        acknowledgements.push_back(replyFrame(module.word, {code}));
    }
    if (reset) {
        restart();
        return;
    }
    deliver(endpoint, link, std::move(acknowledgements), fault);
}

uint8_t BootloaderSystem::install(BootModule& module, const Bytes& data) {
    const std::optional<BootFrame> frame = readBootFrame(data);
    if (!frame) return kFrameDamaged;
    if (frame->kind == bootimage::kHeaderFrame) {
        const std::optional<BootImageHeader> header = readBootImageHeader(*frame);
        if (!header || header->kindIndex != bootKindIndex(module.word) ||
            (header->variant != bootimage::kAnyVariant && module.variant != header->variant))
            return kFrameUnfit;
        // The image's first frame erases the firmware it replaces.
        module.valid = false;
        uploads_[module.word] = Upload{*header, 1};
    } else {
        if (frame->kind != bootimage::kDataFrame) return kFrameUnfit;
        auto upload = uploads_.find(module.word);
        if (upload == uploads_.end() || frame->sequence != upload->second.next)
            return kFrameOutOfOrder;
        ++upload->second.next;
    }
    const Upload& upload = uploads_.at(module.word);
    if (upload.next > upload.header.dataFrames) {
        module.valid = true;
        module.version1 = upload.header.version1;
        module.version2 = upload.header.version2;
        module.version3 = upload.header.version3;
        uploads_.erase(module.word);
    }
    return kFrameAccepted;
}

void BootloaderSystem::deliver(SystemEndpoint& endpoint, Link& link, std::vector<Bytes> replies,
                               const BootFault* fault) {
    if (is(fault, BootFault::Kind::Silent)) return;
    if (is(fault, BootFault::Kind::Replace)) replies.assign(1, fault->bytes);
    if (is(fault, BootFault::Kind::Late)) {
        const auto due = SimClock::now() + fault->delay;
        for (Bytes& reply : replies) delayed_.add(due, &link, {&endpoint, std::move(reply)});
        changed_.notify_all();
        return;
    }
    for (Bytes& reply : replies) endpoint.reply(link, std::move(reply));
}

void BootloaderSystem::restart() {
    ++resets_;
    changeState(State::Bootloader);
    for (SystemEndpoint* endpoint : endpoints_) {
        if (endpoint->carrier() != Carrier::Tcp) continue;
        for (auto& [link, state] : endpoint->links_) link->close();
    }
}

void BootloaderSystem::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!worker_.stopRequested()) {
        for (auto& due : delayed_.takeDue(SimClock::now()))
            due.bytes.endpoint->reply(*due.link, std::move(due.bytes.frame));
        if (const auto next = delayed_.nextDue())
            changed_.wait_until(lock, *next);
        else
            changed_.wait(lock);
    }
}

// One carrier's endpoint

struct SystemEndpoint::LinkState {
    BootCodec codec;
    Bytes pending;       // application bytes short of a whole packet or line
    std::string recent;  // the last bytes, long enough to hold the enter text
};

SystemEndpoint::SystemEndpoint(BootloaderSystem& system, Carrier carrier,
                               Gen1Endpoint& application)
    : SystemEndpoint(system, carrier, &application, nullptr) {}

SystemEndpoint::SystemEndpoint(BootloaderSystem& system, Carrier carrier,
                               TextEndpoint& application)
    : SystemEndpoint(system, carrier, nullptr, &application) {}

SystemEndpoint::SystemEndpoint(BootloaderSystem& system, Carrier carrier, Gen1Endpoint* binary,
                               TextEndpoint* text)
    : system_(system), carrier_(carrier), binary_(binary), text_(text) {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    system_.endpoints_.push_back(this);
}

SystemEndpoint::~SystemEndpoint() {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    std::erase(system_.endpoints_, this);
    for (const auto& [link, state] : links_) system_.delayed_.dropLink(link);
}

Bytes SystemEndpoint::received() const {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    return received_;
}

void SystemEndpoint::clearReceived() {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    received_.clear();
}

bool SystemEndpoint::waitReceived(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(system_.mutex_);
    return system_.changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

uint16_t SystemEndpoint::pingAddress() const { return rowOf(carrier_).pingAddress; }

Bytes SystemEndpoint::startSigns() const {
    const CarrierRow& row = rowOf(carrier_);
    Bytes signs;
    if (row.startByte) signs.push_back(kStartByte);
    if (row.hello && binary_ != nullptr) {
        const Bytes hello = gen1Hello();
        signs.insert(signs.end(), hello.begin(), hello.end());
    }
    return signs;
}

void SystemEndpoint::onConnect(Link& link) {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    links_[&link] = std::make_unique<LinkState>();
    if (binary_ != nullptr) binary_->onConnect(link);
    if (text_ != nullptr) text_->onConnect(link);
    if (carrier_ == Carrier::Tcp && binary_ != nullptr && !system_.silent_ &&
        system_.state_ == BootloaderSystem::State::Application) {
        const Bytes hello = gen1Hello();
        link.send(hello.data(), hello.size());
    }
}

void SystemEndpoint::onDisconnect(Link& link) {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    links_.erase(&link);
    system_.delayed_.dropLink(&link);
    if (binary_ != nullptr) binary_->onDisconnect(link);
    if (text_ != nullptr) text_->onDisconnect(link);
}

void SystemEndpoint::onReceive(Link& link, const uint8_t* data, size_t length) {
    std::lock_guard<std::mutex> lock(system_.mutex_);
    received_.insert(received_.end(), data, data + length);
    system_.changed_.notify_all();
    if (system_.silent_) return;
    std::unique_ptr<LinkState>& state = links_[&link];
    if (!state) state = std::make_unique<LinkState>();
    // Each step ends where the system's state may change, so the rest of
    // the bytes goes to the side that runs then.
    for (size_t at = 0; at < length;) {
        if (system_.state_ == BootloaderSystem::State::Bootloader)
            at += bootloaderBytes(link, *state, data + at, length - at);
        else
            at += applicationBytes(link, *state, data + at, length - at);
    }
}

size_t SystemEndpoint::applicationBytes(Link& link, LinkState& state, const uint8_t* data,
                                        size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = data[i];
        state.recent.push_back(static_cast<char>(byte));
        if (state.recent.size() > kEnterLine.size()) state.recent.erase(0, 1);
        state.pending.push_back(byte);
        // The enter text counts in a binary stream too: a host may take the
        // system for a textual one.
        bool enter = state.recent == kEnterLine;
        bool whole = false;
        if (text_ != nullptr) {
            whole = byte == '\n';
        } else if (state.pending.size() >= kGen1Head) {
            whole = state.pending.size() == kGen1Head + (state.pending[2] & 0x0F);
            enter = enter || (whole && std::equal(state.pending.begin(), state.pending.end(),
                                                  std::begin(kEnterPacket),
                                                  std::end(kEnterPacket)));
        }
        if (enter) {
            system_.changeState(BootloaderSystem::State::Bootloader);
            return i + 1;
        }
        if (!whole) continue;
        const Bytes unit = std::move(state.pending);
        state.pending.clear();
        if (text_ != nullptr)
            text_->onReceive(link, unit.data(), unit.size());
        else
            binary_->onReceive(link, unit.data(), unit.size());
    }
    return length;
}

size_t SystemEndpoint::bootloaderBytes(Link& link, LinkState& state, const uint8_t* data,
                                       size_t length) {
    BootCodec::Step step = state.codec.take(data, length);
    if (!step.toHost.empty()) link.send(step.toHost.data(), step.toHost.size());
    if (step.opened) {
        const BootFault* fault = system_.takeFault(kOpening);
        const uint8_t answer = state.codec.open(fault ? fault->byte : BootCodec::kExchangeAnswer);
        link.send(&answer, 1);
    }
    if (step.frame) system_.hostFrame(*this, link, *step.frame);
    return step.used;
}

void SystemEndpoint::reply(Link& link, Bytes frame) {
    auto state = links_.find(&link);
    if (state == links_.end()) return;
    const Bytes now = state->second->codec.reply(std::move(frame));
    if (!now.empty()) link.send(now.data(), now.size());
}

void SystemEndpoint::clearLinks() {
    for (auto& [link, state] : links_) {
        state->codec.clear();
        state->pending.clear();
        state->recent.clear();
    }
}

}  // namespace vxsim
