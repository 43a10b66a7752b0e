#include "sim/Gen1Endpoint.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <system_error>

#include "sim/Gen1Opcodes.h"

namespace vxsim {

using namespace gen1;

namespace {

size_t packetLength(uint8_t opcode) { return static_cast<size_t>(opcode & 0x0F) + 3; }

// Readers of a request's payload (p[i] is payload byte i), little-endian.
struct Request {
    const Bytes& bytes;
    uint16_t address() const { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }
    uint8_t opcode() const { return bytes[2]; }
    uint8_t u8(size_t at) const { return 3 + at < bytes.size() ? bytes[3 + at] : 0; }
    uint16_t u16(size_t at) const { return static_cast<uint16_t>(u8(at) | (u8(at + 1) << 8)); }
    int16_t i16(size_t at) const { return static_cast<int16_t>(u16(at)); }
    uint32_t u32(size_t at) const {
        return static_cast<uint32_t>(u16(at)) | (static_cast<uint32_t>(u16(at + 2)) << 16);
    }
    int32_t i32(size_t at) const { return static_cast<int32_t>(u32(at)); }
};

// Payload writer.
class Payload {
public:
    Payload& u8(uint32_t v) {
        bytes_.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Payload& u16(uint32_t v) { return u8(v).u8(v >> 8); }
    Payload& u32(uint32_t v) { return u16(v).u16(v >> 16); }
    Payload& zeros(size_t n) {
        bytes_.insert(bytes_.end(), n, 0);
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

}  // namespace

Bytes gen1Packet(uint16_t address, uint8_t opcode, const Bytes& payload) {
    Bytes packet{static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), opcode};
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}

Bytes gen1Hello() { return gen1Packet(kInterfaceAddress, kHello); }

bool RequestMatch::matches(const uint8_t* packet) const {
    if (address >= 0 && (packet[0] | (packet[1] << 8)) != address) return false;
    if (opcode >= 0 && packet[2] != opcode) return false;
    if (sub >= 0 && ((packet[2] & 0x0F) == 0 || packet[3] != sub)) return false;
    return true;
}

Fault Fault::silent(RequestMatch match, int times) {
    Fault f;
    f.match = match;
    f.kind = Kind::Silent;
    f.times = times;
    return f;
}

Fault Fault::late(RequestMatch match, std::chrono::milliseconds delay, int times) {
    Fault f = silent(match, times);
    f.kind = Kind::Late;
    f.delay = delay;
    return f;
}

Fault Fault::error(RequestMatch match, uint8_t code, int times) {
    Fault f = silent(match, times);
    f.kind = Kind::Error;
    f.code = code;
    return f;
}

Fault Fault::replace(RequestMatch match, Bytes bytes, int times) {
    Fault f = silent(match, times);
    f.kind = Kind::Replace;
    f.bytes = std::move(bytes);
    return f;
}

Fault Fault::append(RequestMatch match, Bytes bytes, int times) {
    Fault f = replace(match, std::move(bytes), times);
    f.kind = Kind::Append;
    return f;
}

Fault Fault::disconnect(RequestMatch match, int times) {
    Fault f = silent(match, times);
    f.kind = Kind::Disconnect;
    return f;
}

Gen1Endpoint::Gen1Endpoint(ControllerModel& model) : model_(model) {
    const bool started = worker_.start([this] { run(); },
                                       [this] {
                                           std::lock_guard<std::mutex> lock(mutex_);
                                           changed_.notify_all();
                                       });
    if (!started) throw std::system_error(EAGAIN, std::generic_category(), "endpoint thread");
}

Gen1Endpoint::~Gen1Endpoint() { worker_.stop(); }

void Gen1Endpoint::setJunkAfterReset(bool junk) {
    std::lock_guard<std::mutex> lock(mutex_);
    junkAfterReset_ = junk;
}

void Gen1Endpoint::setChunkSize(size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    chunkSize_ = bytes;
}

void Gen1Endpoint::setMergeAnswers(bool merge) {
    std::lock_guard<std::mutex> lock(mutex_);
    mergeAnswers_ = merge;
}

void Gen1Endpoint::addFault(const Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(fault);
}

void Gen1Endpoint::clearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

void Gen1Endpoint::disconnectAll() {
    std::vector<Link*> links;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& entry : partial_) links.push_back(entry.first);
    }
    // Outside the lock: a carrier may report the drop at once.
    for (Link* link : links) link->close();
}

void Gen1Endpoint::sendToHost(const Bytes& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& entry : partial_) writeBytes(*entry.first, bytes);
}

std::vector<Bytes> Gen1Endpoint::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t Gen1Endpoint::requestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

void Gen1Endpoint::clearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

bool Gen1Endpoint::waitForRequests(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

size_t Gen1Endpoint::lateAnswersSent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lateSent_;
}

bool Gen1Endpoint::waitForLateAnswers(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return lateSent_ >= count; });
}

size_t Gen1Endpoint::connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return partial_.size();
}

void Gen1Endpoint::onConnect(Link& link) {
    std::lock_guard<std::mutex> lock(mutex_);
    partial_[&link].clear();
}

void Gen1Endpoint::onDisconnect(Link& link) {
    std::lock_guard<std::mutex> lock(mutex_);
    partial_.erase(&link);
    if (reportLink_ == &link) reportLink_ = nullptr;
    delayed_.dropLink(&link);
}

void Gen1Endpoint::onReceive(Link& link, const uint8_t* data, size_t length) {
    std::unique_lock<std::mutex> lock(mutex_);
    Bytes& pending = partial_[&link];
    pending.insert(pending.end(), data, data + length);
    reportLink_ = &link;
    while (pending.size() >= 3 && pending.size() >= packetLength(pending[2])) {
        const size_t size = packetLength(pending[2]);
        Bytes request(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(size));
        pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(size));
        handleRequest(link, request, lock);
        if (!lock.owns_lock()) return;  // the link is gone
    }
}

void Gen1Endpoint::handleRequest(Link& link, const Bytes& request,
                                 std::unique_lock<std::mutex>& lock) {
    const Fault* fault = nullptr;
    for (Fault& candidate : faults_) {
        if (candidate.times == 0 || !candidate.match.matches(request.data())) continue;
        if (candidate.times > 0) --candidate.times;
        fault = &candidate;
        break;
    }
    const Fault::Kind kind = fault ? fault->kind : Fault::Kind::Append;
    Bytes extra;
    std::vector<Bytes> answers;
    switch (kind) {
    case Fault::Kind::Silent:
    case Fault::Kind::Disconnect:
        break;
    case Fault::Kind::Late: {
        Bytes merged;
        for (const Bytes& packet : answer(request)) merged.insert(merged.end(), packet.begin(), packet.end());
        delayed_.add(SimClock::now() + fault->delay, &link, std::move(merged));
        break;
    }
    case Fault::Kind::Error:
        answers.push_back(gen1Packet(Request{request}.address(), kError, {fault->code}));
        break;
    case Fault::Kind::Replace:
        extra = fault->bytes;
        break;
    case Fault::Kind::Append:
        answers = answer(request);
        if (fault) extra = fault->bytes;
        break;
    }
    // Logged once the model has taken the request, so a test that waits
    // for it sees its effect.
    LoggedFrame logged;
    logged.address = Request{request}.address();
    logged.command = Request{request}.opcode();
    logged.bytes = request;
    frameLog_.add(std::move(logged));
    requests_.push_back(request);
    changed_.notify_all();
    if (kind == Fault::Kind::Disconnect) {
        lock.unlock();
        link.close();
        return;
    }
    write(link, answers);
    if (!extra.empty()) writeBytes(link, extra);
}

void Gen1Endpoint::write(Link& link, const std::vector<Bytes>& packets) {
    if (!mergeAnswers_) {
        for (const Bytes& packet : packets) writeBytes(link, packet);
        return;
    }
    Bytes merged;
    for (const Bytes& packet : packets) merged.insert(merged.end(), packet.begin(), packet.end());
    if (!merged.empty()) writeBytes(link, merged);
}

void Gen1Endpoint::writeBytes(Link& link, const Bytes& bytes) {
    const size_t chunk = chunkSize_ == 0 ? bytes.size() : chunkSize_;
    for (size_t at = 0; at < bytes.size(); at += chunk)
        if (!link.send(bytes.data() + at, std::min(chunk, bytes.size() - at))) return;
}

void Gen1Endpoint::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!worker_.stopRequested()) {
        const auto now = SimClock::now();
        for (const auto& due : delayed_.takeDue(now)) {
            writeBytes(*due.link, due.bytes);
            ++lateSent_;
            changed_.notify_all();
        }
        for (size_t channel : model_.takeCompletions(now)) {
            if (reportLink_ == nullptr) break;
            writeBytes(*reportLink_, gen1Packet(model_.setup().channels[channel].moduleWord, kMovementCompleted));
        }

        std::optional<SimClock::time_point> next = model_.nextCompletion();
        const auto nextWrite = delayed_.nextDue();
        if (nextWrite && (!next || *nextWrite < *next)) next = nextWrite;
        if (next)
            changed_.wait_until(lock, *next);
        else
            changed_.wait(lock);
    }
}

// Answers

std::vector<Bytes> Gen1Endpoint::answer(const Bytes& bytes) {
    const Request request{bytes};
    if (std::equal(bytes.begin(), bytes.end(), std::begin(kProbe), std::end(kProbe)))
        return {gen1Packet(kInterfaceAddress, kError, {kInterfaceReady})};
    switch (request.address()) {
    case kInterfaceAddress:
        return interfaceModule(bytes);
    case kHandControlAddress:
        return model_.handControl() ? handControlModule(bytes) : std::vector<Bytes>{};
    case kSystemAddress:
        return systemWide(bytes);
    default: {
        int channel = model_.channelAt(request.address());
        if (channel < 0) return {};  // no module there
        return channelModule(static_cast<size_t>(channel), bytes);
    }
    }
}

std::vector<Bytes> Gen1Endpoint::interfaceModule(const Bytes& bytes) {
    const Request r{bytes};
    switch (r.opcode()) {
    case kReadChannels: {
        std::vector<Bytes> out{gen1Packet(kInterfaceAddress, kChannelCount,
                                          {static_cast<uint8_t>(model_.channelCount())})};
        for (const ChannelSetup& channel : model_.setup().channels)
            out.push_back(gen1Packet(kInterfaceAddress, kChannelEntry, Payload().u16(channel.moduleWord).bytes()));
        return out;
    }
    case kIndexMap:
        switch (r.u8(0)) {
        case kMapRead:
            return {gen1Packet(kInterfaceAddress, kIndexMap,
                               {kIndexMapEntry, r.u8(1), model_.indexMapEntry(r.u8(1))})};
        case kMapWrite:
            model_.setIndexMapEntry(r.u8(1), r.u8(2));
            return {gen1Packet(kInterfaceAddress, kAcknowledge)};
        case kMapFinalize:
            model_.finalizeIndexMap();
            return {gen1Packet(kInterfaceAddress, kAcknowledge)};
        default:
            return {gen1Packet(kInterfaceAddress, kError, {refusal::kUnknownCommand})};
        }
    case kFirmwareVersion:
        return {gen1Packet(kInterfaceAddress, kFirmwareVersion,
                           Payload().u32(model_.setup().interfaceFirmwareVersion).u32(0).bytes())};
    case kReset: {
        model_.reset();
        Bytes hello = gen1Hello();
        if (junkAfterReset_) hello.insert(hello.begin(), 0x00);
        return {hello};
    }
    default:
        return {gen1Packet(kInterfaceAddress, kError, {refusal::kUnknownCommand})};
    }
}

std::vector<Bytes> Gen1Endpoint::handControlModule(const Bytes& bytes) {
    const Request r{bytes};
    auto reply = [](uint8_t opcode, const Payload& payload) {
        return std::vector<Bytes>{gen1Packet(kHandControlAddress, opcode, payload.bytes())};
    };
    auto done = [](uint8_t code) {
        return code ? std::vector<Bytes>{gen1Packet(kHandControlAddress, kError, {code})}
                    : std::vector<Bytes>{gen1Packet(kHandControlAddress, kAcknowledge)};
    };
    switch (r.opcode()) {
    case kSpeedLevelTable: {
        const uint8_t sub = r.u8(0);
        if (sub == kTableWriteSize) return done(model_.setSpeedLevelTableSize(r.u8(1)));
        if (sub == kTableReadSize)
            return reply(kSpeedLevelTable, Payload().u8(0).u8(model_.speedLevelTableSize()).zeros(5));
        if (sub == kTableStore) {
            model_.storeSpeedLevelTable();
            return done(refusal::kNone);
        }
        if (sub >= kTableWriteEntry && sub < kTableStore)
            return done(model_.setSpeedLevel(static_cast<uint8_t>(sub - kTableWriteEntry),
                                             {r.u16(1), r.u16(3), r.u16(5)}));
        if (sub >= kTableReadEntry && sub < kTableWriteEntry) {
            auto level = model_.speedLevel(static_cast<uint8_t>(sub - kTableReadEntry));
            return reply(kSpeedLevelTable, Payload().u8(0).u16(level[0]).u16(level[1]).u16(level[2]));
        }
        return done(refusal::kUnknownCommand);
    }
    case kFirmwareVersion:
        return reply(kFirmwareVersion, Payload().u32(model_.setup().handControlFirmwareVersion).u32(0));
    case kHcmConfigSlot: {
        const uint8_t sub = r.u8(0);
        if (sub == kSlotSize) return reply(kHcmConfigSlot, Payload().u8(0).u16(model_.slotSize()).zeros(9));
        if (sub == kSlotWrite) {
            uint8_t data[8];
            for (size_t i = 0; i < 8; ++i) data[i] = r.u8(4 + i);
            return done(model_.writeSlot(r.u8(1), r.u16(2), data, sizeof data));
        }
        if (sub == kSlotRead) {
            uint8_t data[8];
            if (uint8_t refused = model_.readSlot(r.u8(1), r.u16(2), data, sizeof data))
                return done(refused);
            Payload payload;
            payload.u8(kSlotRead).u8(r.u8(1)).u16(r.u16(2));
            for (uint8_t byte : data) payload.u8(byte);
            return reply(kHcmConfigSlot, payload);
        }
        return done(refusal::kUnknownCommand);
    }
    case kHcmEnabled:
        model_.setHandControlMode(r.u8(0));
        return {};
    case kHcmEepromType: {
        const uint8_t sub = r.u8(0);
        if (sub == kHcmType)
            return reply(kHcmEepromType,
                         Payload().u8(0).u16(model_.setup().hcmEepromType).zeros(8));
        uint8_t block[kHcmBlockSize];
        if (sub == kHcmBlockWrite) {
            for (size_t i = 0; i < kHcmBlockSize; ++i) block[i] = r.u8(3 + i);
            return done(model_.writeImage(r.u16(1), block, kHcmBlockSize));
        }
        if (sub != kHcmBlockRead) return done(refusal::kUnknownCommand);
        if (uint8_t refused = model_.readImage(r.u16(1), block, kHcmBlockSize))
            return done(refused);
        Payload payload;
        payload.u8(kHcmBlockRead).u16(r.u16(1));
        for (uint8_t byte : block) payload.u8(byte);
        return reply(kHcmEepromType, payload);
    }
    default:
        return done(refusal::kUnknownCommand);
    }
}

std::vector<Bytes> Gen1Endpoint::systemWide(const Bytes& bytes) {
    const Request r{bytes};
    std::vector<Bytes> out;
    if (r.opcode() == kFlags) {
        const uint8_t mask = r.u8(0), value = r.u8(1);
        if (mask & kAsynchronousFlag) model_.setSynchronous((value & kAsynchronousFlag) == 0);
        // In synchronous mode each channel module confirms.
        if (model_.synchronous())
            for (const ChannelSetup& channel : model_.setup().channels)
                out.push_back(gen1Packet(channel.moduleWord, kAcknowledge));
    } else if (r.opcode() == kTrigger) {
        for (size_t channel : model_.trigger(r.u8(0)))
            out.push_back(gen1Packet(model_.setup().channels[channel].moduleWord, kTriggeredReport));
    }
    return out;
}

std::vector<Bytes> Gen1Endpoint::channelModule(size_t channel, const Bytes& bytes) {
    const Request r{bytes};
    const ChannelSetup& setup = model_.setup().channels[channel];
    const uint16_t self = setup.moduleWord;
    const bool endEffector = moduleKind(self) == ModuleKind::EndEffector;
    auto reply = [self](uint8_t opcode, const Payload& payload) {
        return std::vector<Bytes>{gen1Packet(self, opcode, payload.bytes())};
    };
    // Commands are confirmed only in synchronous mode; refusals always.
    auto done = [&](uint8_t code) {
        if (code) return std::vector<Bytes>{gen1Packet(self, kError, {code})};
        if (model_.synchronous()) return std::vector<Bytes>{gen1Packet(self, kAcknowledge)};
        return std::vector<Bytes>{};
    };
    auto refuse = [self](uint8_t code) { return std::vector<Bytes>{gen1Packet(self, kError, {code})}; };
    ControllerModel::Settings settings = model_.settings(channel);
    const uint8_t sub = r.u8(0);

    switch (r.opcode()) {
    case kTriggeredCommand:
        if (sub == kAppendTriggered) model_.appendTriggeredCommand(channel, r.i32(1));
        else if (sub == kClearTriggered) model_.clearTriggeredCommands(channel);
        else return refuse(refusal::kUnknownCommand);
        return done(refusal::kNone);
    case kScale:
        if (sub == kRead) return reply(kScale, Payload().u8(0).u32(static_cast<uint32_t>(settings.scaleShift)).u8(settings.scaleInverted));
        if (sub != kWrite) return refuse(refusal::kUnknownCommand);
        settings.scaleShift = r.i32(1);
        settings.scaleInverted = r.u8(5);
        model_.updateSettings(channel, settings);
        return done(refusal::kNone);
    case kFirmwareVersion:
        // A module without versions refuses with the acknowledge opcode.
        if (!setup.reportsFirmware) return refuse(kAcknowledge);
        return reply(kFirmwareVersion, Payload().u32(setup.firmwareVersion).u32(setup.secondFirmwareVersion));
    case kForce:
        if (!endEffector) return refuse(refusal::kUnknownCommand);
        if (sub == kForceRead) return reply(kForce, Payload().u8(0).u32(static_cast<uint32_t>(model_.force(channel))).zeros(4));
        if (sub == kForceGoto) return done(model_.gotoForce(channel, r.i32(1), r.i32(5)));
        if (sub == kForceZero) {
            model_.zeroForce(channel);
            return done(refusal::kNone);
        }
        return refuse(refusal::kUnknownCommand);
    case kEndEffectorType: {
        if (!endEffector) return refuse(refusal::kUnknownCommand);
        if (sub == kEndEffectorTypeRead) {
            auto value = model_.endEffector(channel);
            return reply(kEndEffectorType, Payload().u8(0).u8(value.type).u32(static_cast<uint32_t>(value.param1)).u32(value.param2));
        }
        if (sub != kWrite) return refuse(refusal::kUnknownCommand);
        return done(model_.setEndEffector(channel, {r.u8(1), r.i32(2), r.u32(6)}));
    }
    case kCaptureBuffer: {
        auto capture = model_.captureBuffer(channel, sub);
        return reply(kCaptureBuffer, Payload().u8(sub).u32(capture.first).u32(static_cast<uint32_t>(capture.second)).u16(static_cast<uint16_t>(capture.third)));
    }
    case kAngleLimit:
        if (sub == kRead)
            return reply(kAngleLimit, Payload()
                                          .u8(0)
                                          .u32(settings.minAngle)
                                          .u16(static_cast<uint32_t>(settings.minRevolution))
                                          .u32(settings.maxAngle)
                                          .u16(static_cast<uint32_t>(settings.maxRevolution)));
        if (sub != kWrite) return refuse(refusal::kUnknownCommand);
        settings.minAngle = r.u32(1);
        settings.minRevolution = r.i16(5);
        settings.maxAngle = r.u32(7);
        settings.maxRevolution = r.i16(11);
        model_.updateSettings(channel, settings);
        return done(refusal::kNone);
    case kPositionLimit:
        if (sub == kRead)
            return reply(kPositionLimit, Payload().u8(0).u32(static_cast<uint32_t>(settings.minPosition)).u32(static_cast<uint32_t>(settings.maxPosition)));
        if (sub != kWrite) return refuse(refusal::kUnknownCommand);
        settings.minPosition = r.i32(1);
        settings.maxPosition = r.i32(5);
        model_.updateSettings(channel, settings);
        return done(refusal::kNone);
    case kFlags:
        model_.setFlags(channel, r.u8(0), r.u8(1));
        return done(refusal::kNone);
    case kChannelProperty: {
        if (sub == kWrite) {
            model_.setChannelProperty(channel, r.u32(1), r.i32(5));
            return done(refusal::kNone);
        }
        if (sub != kRead) return refuse(refusal::kUnknownCommand);
        int32_t value = 0;
        if (uint8_t refused = model_.channelProperty(channel, r.u32(1), &value)) return refuse(refused);
        return reply(kChannelProperty, Payload().u8(0).u32(r.u32(1)).u32(static_cast<uint32_t>(value)));
    }
    case kReadDebugValue:
        return reply(kDebugValue, Payload().u8(sub).u32(static_cast<uint32_t>(model_.tableValue(channel, ControllerModel::Table::Debug, sub))));
    case kCustomSensorType:
        model_.writeCustomSensorConfiguration(channel);
        return done(refusal::kNone);
    case kDebugValue:
        model_.setTableValue(channel, ControllerModel::Table::Debug, sub, r.i32(1));
        return done(refusal::kNone);
    case kReadTuningParameter:
        return reply(kTuningParameter, Payload().u8(sub).u32(static_cast<uint32_t>(model_.tableValue(channel, ControllerModel::Table::Tuning, sub))));
    case kTuningParameter:
        model_.setTableValue(channel, ControllerModel::Table::Tuning, sub, r.i32(1));
        return done(refusal::kNone);
    case kSetSensorType:
        model_.setSensorType(channel, sub);
        return done(refusal::kNone);
    case kMoveSpeed:
        if (sub == kRead) return reply(kMoveSpeed, Payload().u8(0).u32(settings.moveSpeed));
        if (sub != kWrite) return refuse(refusal::kUnknownCommand);
        settings.moveSpeed = r.u32(1);
        model_.updateSettings(channel, settings);
        return done(refusal::kNone);
    case kGetAngle: {
        uint32_t angle = 0;
        int32_t revolution = 0;
        if (uint8_t refused = model_.angle(channel, &angle, &revolution)) return refuse(refused);
        return reply(kAngle, Payload().u32(angle).u16(static_cast<uint32_t>(revolution)));
    }
    case kPhysicalPositionKnown:
        return reply(kPhysicalPositionKnown, Payload().u8(model_.physicalPositionKnown(channel)));
    case kSensorType:
        return reply(kSensorType, Payload().u8(0).u8(model_.sensorType(channel)));
    case kMoveAcceleration:
        if (sub == kRead) return reply(kMoveAcceleration, Payload().u8(0).u32(settings.moveAcceleration));
        if (sub != kWrite) return refuse(refusal::kUnknownCommand);
        settings.moveAcceleration = r.u32(1);
        model_.updateSettings(channel, settings);
        return done(refusal::kNone);
    case kStop:
        return done(model_.stop(channel));
    case kCalibrateOrReference: {
        if ((sub & kReferenceSearch) == 0) return done(model_.calibrateSensor(channel));
        const uint8_t direction =
            static_cast<uint8_t>((sub & 0x01) | ((sub >> 2) & 0x01) << 1 | ((sub >> 3) & 0x01) << 2);
        return done(model_.findReferenceMark(channel, direction, (sub & 0x02) != 0, r.u16(1)));
    }
    case kStepMove:
        return done(model_.stepMove(channel, r.i16(0), r.u16(2), r.u16(4)));
    case kGotoAngleAbsolute:
    case kGotoAngleRelative:
        return done(model_.gotoAngle(channel, r.i32(0), r.i16(4), r.u16(6), r.opcode() == kGotoAngleRelative));
    case kGetPosition: {
        int32_t position = 0;
        if (uint8_t refused = model_.position(channel, &position)) return refuse(refused);
        return reply(kPosition, Payload().u32(static_cast<uint32_t>(position)));
    }
    case kSetSensorEnabled:
        model_.setSensorEnabled(sub);
        return done(refusal::kNone);
    case kFeature: {
        if (sub != kRead) return refuse(refusal::kUnknownCommand);
        const uint8_t index = r.u8(1);
        if (index == kFeatureCount)
            return reply(kFeature, Payload().u8(0).u8(kFeatureCount).u8(static_cast<uint32_t>(setup.featureBytes.size())));
        if (index >= setup.featureBytes.size()) return refuse(refusal::kNotProcessable);
        return reply(kFeature, Payload().u8(0).u8(index).u8(setup.featureBytes[index]));
    }
    case kScanAbsolute:
        if (endEffector) return done(model_.gotoGripperOpening(channel, r.u16(0), r.i32(2), false));
        return done(model_.scanMove(channel, r.u16(0), r.u32(2), false));
    case kGetStatus:
        return reply(kStatus, Payload().u8(model_.status(channel)));
    case kSensorEnabled:
        return reply(kSensorEnabled, Payload().u8(model_.sensorEnabled()));
    case kScanRelative:
        if (endEffector) return done(model_.gotoGripperOpening(channel, r.i16(0), r.i32(2), true));
        return done(model_.scanMove(channel, r.i16(0), r.u32(2), true));
    case kSafeDirection:
        if (sub == kRead) return reply(kSafeDirection, Payload().u8(0).u8(settings.safeDirection));
        if (sub != kWrite) return refuse(refusal::kUnknownCommand);
        settings.safeDirection = r.u8(1);
        model_.updateSettings(channel, settings);
        return done(refusal::kNone);
    case kSetPosition:
        return done(model_.setPosition(channel, r.i32(0)));
    case kGotoPositionAbsolute:
    case kGotoPositionRelative:
        return done(model_.gotoPosition(channel, r.i32(0), r.u16(4), r.opcode() == kGotoPositionRelative));
    case kGetAnalogValue:
        return reply(kAnalogValue, Payload().u16(endEffector ? model_.gripperOpening(channel)
                                                             : model_.voltageLevel(channel)));
    case kReadConfigParameter:
        return reply(kConfigParameter, Payload().u8(sub).u32(static_cast<uint32_t>(model_.tableValue(channel, ControllerModel::Table::Config, sub))));
    case kConfigParameter:
        model_.setTableValue(channel, ControllerModel::Table::Config, sub, r.i32(1));
        return done(refusal::kNone);
    default:
        return refuse(refusal::kUnknownCommand);
    }
}

}  // namespace vxsim
