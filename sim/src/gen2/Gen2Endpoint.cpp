#include "sim/Gen2Endpoint.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>

namespace vxsim {

namespace {

using Clock = std::chrono::steady_clock;
using gen2::Fields;
using gen2::encodeFrame;
namespace command = gen2::command;
namespace sysframe = gen2::sysframe;
namespace datatype = gen2::datatype;

constexpr size_t kHeaderBytes = 3;
constexpr size_t kCrcBytes = 4;
// A sensor module in FIFO mode answers the info request with a ready frame
// of this status.
constexpr uint16_t kFifoSensorStatus = 0x7FFE;

// Reads a request's payload strictly: every field must be there, and after
// the last one exactly the padding, all zero.
class Reader {
public:
    explicit Reader(const Bytes& body) : body_(body) {}

    uint64_t take(size_t width) {
        if (at_ + width > body_.size()) {
            ok_ = false;
            return 0;
        }
        uint64_t value = 0;
        for (size_t i = 0; i < width; ++i) value |= static_cast<uint64_t>(body_[at_ + i]) << (8 * i);
        at_ += width;
        return value;
    }
    uint8_t u8() { return static_cast<uint8_t>(take(1)); }
    uint16_t u16() { return static_cast<uint16_t>(take(2)); }
    uint32_t u32() { return static_cast<uint32_t>(take(4)); }
    uint64_t u64() { return take(8); }
    std::string text() {
        const auto zero = std::find(body_.begin() + static_cast<ptrdiff_t>(std::min(at_, body_.size())), body_.end(), 0);
        if (zero == body_.end()) {
            ok_ = false;
            return {};
        }
        std::string value(body_.begin() + static_cast<ptrdiff_t>(at_), zero);
        at_ = static_cast<size_t>(zero - body_.begin()) + 1;
        return value;
    }
    // Stream frame bytes: everything left, padding included, for the
    // stream's frame size is the stream's own.
    size_t rest() {
        const size_t left = body_.size() - std::min(at_, body_.size());
        at_ = body_.size();
        return left;
    }
    bool paddedEnd() const {
        if (!ok_) return false;
        const size_t padding = gen2::paddingAfter(1 + at_);
        if (body_.size() != at_ + padding) return false;
        return std::all_of(body_.begin() + static_cast<ptrdiff_t>(at_), body_.end(), [](uint8_t b) { return b == 0; });
    }
    bool ok() const { return ok_; }

private:
    const Bytes& body_;
    size_t at_ = 0;
    bool ok_ = true;
};

LoggedFrame loggedRequest(const Gen2Request& request) {
    LoggedFrame frame;
    frame.start = request.start;
    frame.command = request.type;
    frame.bytes = request.bytes;
    const bool property = request.start == gen2::kCommandStart &&
                          (request.type == command::kReadProperty || request.type == command::kWriteProperty ||
                           request.type == command::kWritePropertyArray);
    if (property) {
        frame.requestId = request.requestId;
        frame.index = request.index;
        frame.key = request.key;
    }
    if (request.value) {
        std::visit(
            [&](const auto& value) {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::string>)
                    frame.text = value;
                else if constexpr (std::is_integral_v<T>)
                    frame.values.push_back(value);
                else
                    frame.values.assign(value.begin(), value.end());
            },
            *request.value);
    }
    return frame;
}

LoggedFrame loggedRejection(const gen2::Rejected& rejected) {
    LoggedFrame frame;
    frame.accepted = false;
    frame.reason = rejected.reason;
    frame.bytes = rejected.bytes;
    return frame;
}

std::optional<PropertyValue> readValue(Reader& reader, uint8_t dataType) {
    switch (dataType) {
    case datatype::kInt32:
        return PropertyValue{static_cast<int32_t>(reader.u32())};
    case datatype::kInt64:
        return PropertyValue{static_cast<int64_t>(reader.u64())};
    case datatype::kString:
        return PropertyValue{reader.text()};
    default:
        return std::nullopt;
    }
}

template <typename T>
std::vector<T> readArray(Reader& reader, uint16_t count) {
    std::vector<T> values;
    for (uint16_t i = 0; i < count && reader.ok(); ++i) values.push_back(static_cast<T>(reader.take(sizeof(T))));
    return values;
}

// Event types the controller sends.
constexpr uint16_t kMovementFinishedEvent = 0x0001;
constexpr uint16_t kStreamFinishedEvent = 0x8000;
constexpr uint16_t kGroupTriggeredEvent = 0x8010;

// The stream's frames are this many bytes each.
constexpr size_t kStreamUnitBytes = 9;

Bytes completionFrame(uint8_t requestId, uint16_t result) {
    return encodeFrame(gen2::kCommandStart, command::kCompletion, Fields().u8(requestId).u16(result).bytes());
}

Bytes eventFrame(uint8_t index, uint16_t type, uint32_t value) {
    return encodeFrame(gen2::kCommandStart, command::kEvent, Fields().u8(index).u16(type).u32(value).bytes());
}

// Stream and transmit handles ride in the top byte of an event's value.
uint32_t handleValue(uint8_t handle, uint16_t result) { return static_cast<uint32_t>(handle) << 24 | result; }

std::vector<Bytes> streamFrames(const std::vector<Gen2StreamReport>& reports) {
    std::vector<Bytes> frames;
    for (const Gen2StreamReport& report : reports) {
        if (report.counts)
            frames.push_back(encodeFrame(gen2::kCommandStart, command::kStreamFlowStatus,
                                         Fields().u32(report.counts->first).u32(report.counts->second).bytes()));
        if (report.end)
            frames.push_back(eventFrame(0, kStreamFinishedEvent, handleValue(report.handle, *report.end)));
    }
    return frames;
}

// Whole stream frames in a 0x73 request; none when its size is no whole
// number of them.
uint32_t streamUnitsIn(const Gen2Request& request) {
    const size_t overhead = kHeaderBytes + 2 + kCrcBytes;  // type and stream handle
    if (request.bytes.size() < overhead) return 0;
    const size_t afterHandle = request.bytes.size() - overhead;
    for (size_t units = 1; units * kStreamUnitBytes <= afterHandle; ++units)
        if (units * kStreamUnitBytes + gen2::paddingAfter(2 + units * kStreamUnitBytes) == afterHandle)
            return static_cast<uint32_t>(units);
    return 0;
}

bool groupable(uint8_t type) {
    switch (type) {
    case command::kReadProperty:
    case command::kWriteProperty:
    case command::kWritePropertyArray:
    case command::kStop:
    case command::kCalibrate:
    case command::kReference:
    case command::kMove:
        return true;
    default:
        return false;
    }
}

std::optional<Gen2Movement> movementOf(uint8_t type) {
    switch (type) {
    case command::kStop:
        return Gen2Movement::Stop;
    case command::kCalibrate:
        return Gen2Movement::Calibrate;
    case command::kReference:
        return Gen2Movement::Reference;
    case command::kMove:
        return Gen2Movement::Move;
    default:
        return std::nullopt;
    }
}

Bytes concatenated(const std::vector<Bytes>& frames) {
    Bytes all;
    for (const Bytes& frame : frames) all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

// The reply frame again with a valid CRC but only `keep` of its payload bytes.
Bytes shortened(const Bytes& frame, size_t keep) {
    if (frame.size() < kHeaderBytes + 1 + kCrcBytes) return frame;
    const size_t payload = frame.size() - kHeaderBytes - 1 - kCrcBytes;
    const auto begin = frame.begin() + kHeaderBytes + 1;
    return encodeFrame(frame[0], frame[kHeaderBytes], Bytes(begin, begin + static_cast<ptrdiff_t>(std::min(keep, payload))));
}

}  // namespace

bool Gen2Match::matches(const Gen2Request& request) const {
    return (start < 0 || start == request.start) && (type < 0 || type == request.type);
}

Gen2Fault Gen2Fault::drop(Gen2Match match, int times) {
    Gen2Fault fault;
    fault.match = match;
    fault.times = times;
    return fault;
}

Gen2Fault Gen2Fault::late(Gen2Match match, std::chrono::milliseconds delay, int times) {
    Gen2Fault fault = drop(match, times);
    fault.kind = Kind::Delay;
    fault.delay = delay;
    return fault;
}

Gen2Fault Gen2Fault::duplicate(Gen2Match match, int times) {
    Gen2Fault fault = drop(match, times);
    fault.kind = Kind::Duplicate;
    return fault;
}

Gen2Fault Gen2Fault::corrupt(Gen2Match match, int times) {
    Gen2Fault fault = drop(match, times);
    fault.kind = Kind::Corrupt;
    return fault;
}

Gen2Fault Gen2Fault::shorten(Gen2Match match, size_t keep, int times) {
    Gen2Fault fault = drop(match, times);
    fault.kind = Kind::Shorten;
    fault.keep = keep;
    return fault;
}

Gen2Fault Gen2Fault::disconnect(Gen2Match match, int times) {
    Gen2Fault fault = drop(match, times);
    fault.kind = Kind::Disconnect;
    return fault;
}

Gen2Fault Gen2Fault::replace(Gen2Match match, Bytes bytes, int times) {
    Gen2Fault fault = drop(match, times);
    fault.kind = Kind::Replace;
    fault.bytes = std::move(bytes);
    return fault;
}

Gen2Fault Gen2Fault::repeat(Gen2Match match, std::chrono::milliseconds gap, int times) {
    Gen2Fault fault = drop(match, times);
    fault.kind = Kind::Repeat;
    fault.delay = gap;
    return fault;
}

Gen2Fault Gen2Fault::complete(Gen2Match match, uint16_t result, int times) {
    Gen2Fault fault = drop(match, times);
    fault.kind = Kind::Complete;
    fault.result = result;
    return fault;
}

Gen2Endpoint::Gen2Endpoint(Gen2Model& model) : model_(model) {
    const bool started = worker_.start([this] { run(); },
                                       [this] {
                                           std::lock_guard<std::mutex> lock(mutex_);
                                           changed_.notify_all();
                                       });
    if (!started) throw std::system_error(EAGAIN, std::generic_category(), "endpoint thread");
}

Gen2Endpoint::~Gen2Endpoint() { worker_.stop(); }

void Gen2Endpoint::setVersionWords(const std::array<uint32_t, 4>& words) {
    std::lock_guard<std::mutex> lock(mutex_);
    versionWords_ = words;
}

void Gen2Endpoint::setHandshakeReply(const Gen2HandshakeReply& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    handshake_ = reply;
}

void Gen2Endpoint::setInfoReply(const Gen2InfoReply& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    info_ = reply;
}

void Gen2Endpoint::setReadyStatus(std::optional<uint16_t> status) {
    std::lock_guard<std::mutex> lock(mutex_);
    readyStatus_ = status;
}

void Gen2Endpoint::setZeroBeforeReady(bool zero) {
    std::lock_guard<std::mutex> lock(mutex_);
    zeroBeforeReady_ = zero;
}

void Gen2Endpoint::setRestartOnReset(std::function<void()> restart) {
    std::lock_guard<std::mutex> lock(mutex_);
    restart_ = std::move(restart);
}

void Gen2Endpoint::setChunkSize(size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    chunkSize_ = bytes;
}

void Gen2Endpoint::setMergeReplies(bool merge) {
    std::lock_guard<std::mutex> lock(mutex_);
    mergeReplies_ = merge;
}

void Gen2Endpoint::setRefuseConnections(bool refuse) {
    std::lock_guard<std::mutex> lock(mutex_);
    refuseConnections_ = refuse;
}

void Gen2Endpoint::addFault(const Gen2Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(fault);
}

void Gen2Endpoint::clearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

void Gen2Endpoint::disconnectAll() {
    std::vector<Link*> links;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& entry : links_) links.push_back(entry.first);
    }
    // Outside the lock: a carrier may report the drop at once.
    for (Link* link : links) link->close();
}

void Gen2Endpoint::sendToHost(const Bytes& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    sendToAllLocked(bytes);
}

void Gen2Endpoint::injectEvent(uint8_t index, uint16_t type, int32_t parameter) {
    sendToHost(eventFrame(index, type, static_cast<uint32_t>(parameter)));
}

void Gen2Endpoint::sendStreamStatus(uint32_t first, uint32_t second) {
    sendToHost(encodeFrame(gen2::kCommandStart, command::kStreamFlowStatus, Fields().u32(first).u32(second).bytes()));
}

uint8_t Gen2Endpoint::streamHandle() const { return model_.streamHandle(); }

void Gen2Endpoint::playStream(uint32_t units) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Bytes& frame : streamFrames(model_.playStream(units))) sendToAllLocked(frame);
}

void Gen2Endpoint::reportStream() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Bytes& frame : streamFrames(model_.streamCounts())) sendToAllLocked(frame);
}

void Gen2Endpoint::setStreamStatusOnOpen(bool status) {
    std::lock_guard<std::mutex> lock(mutex_);
    streamStatusOnOpen_ = status;
}

bool Gen2Endpoint::triggerGroup(uint8_t handle) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto group = groups_.find(handle);
    if (group == groups_.end() || !group->second.closed || group->second.triggerMode == 0) return false;
    Link& link = *group->second.link;
    std::vector<Bytes> frames;
    const bool keep = runGroup(handle, &frames);
    for (const Bytes& frame : frames) writeBytes(link, frame);
    changed_.notify_all();
    if (!keep) {
        // Outside the lock: a carrier may report the drop at once.
        lock.unlock();
        link.close();
    }
    return true;
}

size_t Gen2Endpoint::groupsWaiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(std::count_if(groups_.begin(), groups_.end(), [](const auto& g) { return g.second.closed; }));
}

void Gen2Endpoint::loseNextGroup(bool replies) {
    std::lock_guard<std::mutex> lock(mutex_);
    nextGroupLoss_ = replies ? GroupLoss::Everything : GroupLoss::Trigger;
}

bool Gen2Endpoint::sendLostGroup() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lostGroup_.empty()) return false;
    for (const Bytes& frame : lostGroup_) sendToAllLocked(frame);
    lostGroup_.clear();
    return true;
}

void Gen2Endpoint::delayNextTrigger(std::chrono::milliseconds delay) {
    std::lock_guard<std::mutex> lock(mutex_);
    nextTriggerDelay_ = delay;
}

void Gen2Endpoint::sendUnsolicitedReady() { sendToHost(encodeFrame(gen2::kSystemStart, sysframe::kReady, {})); }

std::vector<Gen2Request> Gen2Endpoint::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<gen2::Rejected> Gen2Endpoint::rejected() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rejected_;
}

void Gen2Endpoint::clearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
    rejected_.clear();
}

bool Gen2Endpoint::waitForRequests(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

size_t Gen2Endpoint::connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return links_.size();
}

size_t Gen2Endpoint::refusedConnections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return refused_;
}

size_t Gen2Endpoint::lateRepliesSent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lateSent_;
}

bool Gen2Endpoint::waitForLateReplies(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return lateSent_ >= count; });
}

void Gen2Endpoint::onConnect(Link& link) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!refuseConnections_) {
            links_[&link];
            changed_.notify_all();
            return;
        }
        ++refused_;
        changed_.notify_all();
    }
    link.close();
}

void Gen2Endpoint::onDisconnect(Link& link) {
    std::lock_guard<std::mutex> lock(mutex_);
    links_.erase(&link);
    delayed_.dropLink(&link);
    repeatsUntil_.erase(&link);
    std::erase_if(groups_, [&](const auto& group) { return group.second.link == &link; });
    changed_.notify_all();
}

void Gen2Endpoint::onReceive(Link& link, const uint8_t* data, size_t length) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto parser = links_.find(&link);
    if (parser == links_.end()) return;  // a refused or dropped connection
    std::vector<Bytes> merged;
    for (auto& item : parser->second.feed(data, length)) {
        if (item.rejected) {
            frameLog_.add(loggedRejection(*item.rejected));
            rejected_.push_back(std::move(*item.rejected));
            continue;
        }
        std::string why;
        const auto request = parse(*item.frame, &why);
        if (!request) {
            frameLog_.add(loggedRejection({item.frame->bytes, why}));
            rejected_.push_back({item.frame->bytes, why});
            continue;
        }
        frameLog_.add(loggedRequest(*request));
        requests_.push_back(*request);
        changed_.notify_all();

        // The controller does what was asked even when its reply is lost.
        std::vector<Bytes> frames;
        bool keep = true;
        if (!grouped(link, *request, &frames, &keep)) keep = answer(link, *request, &frames);
        if (mergeReplies_) {
            merged.insert(merged.end(), frames.begin(), frames.end());
        } else {
            for (const Bytes& frame : frames) writeBytes(link, frame);
        }
        if (!keep) {
            if (!merged.empty()) writeBytes(link, concatenated(merged));
            lock.unlock();
            link.close();
            return;
        }
    }
    if (!merged.empty()) writeBytes(link, concatenated(merged));
}

bool Gen2Endpoint::answer(Link& link, const Gen2Request& request, std::vector<Bytes>* out) {
    std::vector<Bytes> replies = reply(request);
    const Gen2Fault* fault = matchingFault(request);
    auto add = [&](const std::vector<Bytes>& frames) { out->insert(out->end(), frames.begin(), frames.end()); };
    if (!fault) {
        add(replies);
        return true;
    }
    switch (fault->kind) {
    case Gen2Fault::Kind::Drop:
        break;
    case Gen2Fault::Kind::Delay:
        if (!replies.empty()) delayed_.add(Clock::now() + fault->delay, &link, concatenated(replies));
        changed_.notify_all();
        break;
    case Gen2Fault::Kind::Duplicate:
        add(replies);
        add(replies);
        break;
    case Gen2Fault::Kind::Repeat: {
        if (replies.empty()) break;
        const Clock::time_point now = Clock::now();
        Clock::time_point& until = repeatsUntil_[&link];
        const Bytes bytes = concatenated(replies);
        if (until <= now) {
            add(replies);
        } else {
            delayed_.add(until, &link, bytes);
        }
        until = std::max(until, now) + fault->delay;
        delayed_.add(until, &link, bytes);
        changed_.notify_all();
        break;
    }
    case Gen2Fault::Kind::Corrupt:
        for (Bytes& frame : replies) frame.back() ^= 0x01;
        add(replies);
        break;
    case Gen2Fault::Kind::Shorten:
        for (Bytes& frame : replies) frame = shortened(frame, fault->keep);
        add(replies);
        break;
    case Gen2Fault::Kind::Replace:
        out->push_back(fault->bytes);
        break;
    case Gen2Fault::Kind::Complete:
        out->push_back(completionFrame(request.requestId, fault->result));
        break;
    case Gen2Fault::Kind::Disconnect:
        return false;
    }
    return true;
}

bool Gen2Endpoint::grouped(Link& link, const Gen2Request& request, std::vector<Bytes>* out, bool* keep) {
    if (request.start != gen2::kCommandStart) return false;
    const auto group = groups_.find(request.handle);
    const bool open = group != groups_.end() && !group->second.closed && group->second.link == &link;
    switch (request.type) {
    case command::kOpenCommandGroup:
        groups_[request.handle] = Group{&link, request.triggerMode, false, {}};
        return true;
    case command::kCloseCommandGroup:
        if (!open) return true;
        group->second.closed = true;
        if (group->second.triggerMode == 0) *keep = runGroup(request.handle, out);
        return true;
    case command::kCancelCommandGroup:
        if (group == groups_.end() || group->second.link != &link) return true;
        groups_.erase(group);
        out->push_back(eventFrame(0, kGroupTriggeredEvent, handleValue(request.handle, gen2result::kAborted)));
        return true;
    default:
        if (!open || !groupable(request.type)) return false;
        group->second.requests.push_back(request);
        return true;
    }
}

bool Gen2Endpoint::runGroup(uint8_t handle, std::vector<Bytes>* out) {
    const Group group = std::move(groups_.at(handle));
    groups_.erase(handle);
    const GroupLoss loss = std::exchange(nextGroupLoss_, GroupLoss::None);
    if (loss != GroupLoss::None) lostGroup_.clear();
    std::vector<Bytes>* replies = loss == GroupLoss::Everything ? &lostGroup_ : out;
    for (const Gen2Request& request : group.requests)
        if (!answer(*group.link, request, replies)) return false;
    Bytes triggered = eventFrame(0, kGroupTriggeredEvent, handleValue(handle, gen2result::kOk));
    if (const auto delay = std::exchange(nextTriggerDelay_, std::nullopt); delay && loss == GroupLoss::None) {
        delayed_.add(Clock::now() + *delay, group.link, std::move(triggered));
        changed_.notify_all();
        return true;
    }
    std::vector<Bytes>* trigger = loss == GroupLoss::None ? out : &lostGroup_;
    trigger->push_back(std::move(triggered));
    return true;
}

Gen2Fault* Gen2Endpoint::matchingFault(const Gen2Request& request) {
    for (Gen2Fault& fault : faults_) {
        if (fault.times == 0 || !fault.match.matches(request)) continue;
        if (fault.times > 0) --fault.times;
        return &fault;
    }
    return nullptr;
}

std::optional<Gen2Request> Gen2Endpoint::parse(const gen2::Frame& frame, std::string* why) const {
    Gen2Request request;
    request.start = frame.start;
    request.type = frame.type;
    request.bytes = frame.bytes;
    Reader reader(frame.body);
    bool padded = true;  // whether the payload's end is known, so its padding can be checked

    auto propertyHeader = [&] {
        request.requestId = reader.u8();
        request.handle = reader.u8();
        request.index = reader.u8();
        request.key = reader.u32();
    };
    if (frame.start == gen2::kCommandStart) {
        switch (frame.type) {
        case command::kReadProperty:
            propertyHeader();
            break;
        case command::kWriteProperty: {
            propertyHeader();
            request.value = readValue(reader, reader.u8());
            if (!request.value) {
                *why = "write of an unknown data type";
                return std::nullopt;
            }
            break;
        }
        case command::kWritePropertyArray: {
            propertyHeader();
            const uint8_t dataType = reader.u8();
            const uint16_t count = reader.u16();
            if (dataType == datatype::kInt32) {
                request.value = readArray<int32_t>(reader, count);
            } else if (dataType == datatype::kInt64) {
                request.value = readArray<int64_t>(reader, count);
            } else {
                *why = "array of an unknown data type";
                return std::nullopt;
            }
            break;
        }
        case command::kStop:
        case command::kCalibrate:
        case command::kReference:
            request.handle = reader.u8();
            request.index = reader.u8();
            break;
        case command::kMove:
            request.handle = reader.u8();
            request.index = reader.u8();
            request.value = PropertyValue{static_cast<int64_t>(reader.u64())};
            break;
        case command::kOpenCommandGroup:
            request.handle = reader.u8();
            request.triggerMode = reader.u8();
            break;
        case command::kCloseCommandGroup:
        case command::kCancelCommandGroup:
            request.handle = reader.u8();
            break;
        case command::kVersionRequest:
            break;
        case command::kOpenStream:
            request.requestId = reader.u8();
            request.triggerMode = reader.u8();
            break;
        case command::kStreamFrame:
            request.handle = reader.u8();
            if (reader.rest() == 0) {
                *why = "stream frame without stream bytes";
                return std::nullopt;
            }
            padded = false;
            break;
        case command::kCloseStream:
        case command::kAbortStream:
            request.requestId = reader.u8();
            request.handle = reader.u8();
            break;
        default:
            *why = "unknown command type";
            return std::nullopt;
        }
    } else {
        switch (frame.type) {
        case sysframe::kHandshake: {
            if (reader.u32() != gen2::kHandshakeMagic) {
                *why = "handshake with a wrong magic";
                return std::nullopt;
            }
            // The USB probe's handshake ends with a 16-bit zero.
            if (reader.u16() != 0) {
                const uint16_t second = reader.u16();
                const uint32_t crc = reader.u32();
                if (second != 1 || crc != 1) {
                    *why = "handshake without the CRC on";
                    return std::nullopt;
                }
            }
            break;
        }
        case sysframe::kInfoRequest:
        case sysframe::kDeviceReset:
            break;
        default:
            *why = "unknown system type";
            return std::nullopt;
        }
    }
    if (!reader.ok() || (padded && !reader.paddedEnd())) {
        *why = "payload of the wrong size or padding";
        return std::nullopt;
    }
    return request;
}

std::vector<Bytes> Gen2Endpoint::reply(const Gen2Request& request) {
    if (request.start == gen2::kSystemStart) {
        switch (request.type) {
        case sysframe::kHandshake: {
            Fields fields;
            fields.u32(handshake_.magic).u16(handshake_.status);
            if (handshake_.wrongLength) fields.u32(0);
            return {encodeFrame(gen2::kSystemStart, sysframe::kHandshakeReply, fields.bytes())};
        }
        case sysframe::kInfoRequest: {
            if (info_.fifoSensor)
                return {encodeFrame(gen2::kSystemStart, sysframe::kReadyWithStatus,
                                    Fields().u16(kFifoSensorStatus).bytes())};
            if (!info_.protocolIds) return {};
            Fields fields;
            fields.u8(info_.protocolIds->size());
            for (uint8_t id : *info_.protocolIds) fields.u8(id);
            return {encodeFrame(gen2::kSystemStart, sysframe::kInfoReply, fields.bytes())};
        }
        case sysframe::kDeviceReset: {
            model_.reset();
            groups_.clear();
            if (restart_) {
                restart_();
                return {};
            }
            Bytes ready = readyStatus_
                              ? encodeFrame(gen2::kSystemStart, sysframe::kReadyWithStatus, Fields().u16(*readyStatus_).bytes())
                              : encodeFrame(gen2::kSystemStart, sysframe::kReady, {});
            if (zeroBeforeReady_) ready.insert(ready.begin(), 0x00);
            return {ready};
        }
        default:
            return {};
        }
    }
    switch (request.type) {
    case command::kVersionRequest: {
        Fields fields;
        for (uint32_t word : versionWords_) fields.u32(word);
        return {encodeFrame(gen2::kCommandStart, command::kVersionReply, fields.bytes())};
    }
    case command::kReadProperty:
        return request.requestId == 0 ? std::vector<Bytes>{} : readReply(request);
    case command::kOpenStream: {
        uint8_t handle = 0;
        const uint16_t result = model_.openStream(&handle);
        if (result != gen2result::kOk) return {completionFrame(request.requestId, result)};
        std::vector<Bytes> frames{encodeFrame(gen2::kCommandStart, command::kPropertyValue,
                                              Fields().u8(request.requestId).u8(datatype::kInt32).u32(handle).bytes())};
        if (streamStatusOnOpen_)
            for (Bytes& frame : streamFrames(model_.streamCounts())) frames.push_back(std::move(frame));
        return frames;
    }
    case command::kStreamFrame:
        return streamFrames(model_.streamUnits(request.handle, streamUnitsIn(request)));
    case command::kCloseStream:
    case command::kAbortStream: {
        std::vector<Gen2StreamReport> reports;
        const uint16_t result = request.type == command::kAbortStream ? model_.abortStream(request.handle, &reports)
                                                                      : model_.closeStream(request.handle, &reports);
        std::vector<Bytes> frames{completionFrame(request.requestId, result)};
        for (Bytes& frame : streamFrames(reports)) frames.push_back(std::move(frame));
        return frames;
    }
    case command::kStop:
    case command::kCalibrate:
    case command::kReference:
    case command::kMove: {
        const int64_t* target = request.value ? std::get_if<int64_t>(&*request.value) : nullptr;
        std::vector<Bytes> frames;
        for (const Gen2Finished& end : model_.command(*movementOf(request.type), request.index, target ? *target : 0))
            frames.push_back(eventFrame(end.channel, kMovementFinishedEvent, end.result));
        return frames;
    }
    case command::kWriteProperty:
    case command::kWritePropertyArray: {
        const uint16_t result = model_.write({request.index, request.key}, *request.value);
        if (request.requestId == 0) return {};
        return {completionFrame(request.requestId, result)};
    }
    default:
        return {};
    }
}

std::vector<Bytes> Gen2Endpoint::readReply(const Gen2Request& request) {
    const auto [result, value] = model_.read({request.index, request.key});
    if (result != gen2result::kOk) return {completionFrame(request.requestId, result)};
    Fields fields;
    fields.u8(request.requestId);
    uint8_t type = command::kPropertyValue;
    if (const auto* v32 = std::get_if<int32_t>(&value)) {
        fields.u8(datatype::kInt32).u32(static_cast<uint32_t>(*v32));
    } else if (const auto* v64 = std::get_if<int64_t>(&value)) {
        fields.u8(datatype::kInt64).u64(static_cast<uint64_t>(*v64));
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        fields.u8(datatype::kString).text(*text);
    } else if (const auto* a32 = std::get_if<std::vector<int32_t>>(&value)) {
        type = command::kPropertyArray;
        fields.u8(datatype::kInt32).u16(a32->size());
        for (int32_t v : *a32) fields.u32(static_cast<uint32_t>(v));
    } else if (const auto* a64 = std::get_if<std::vector<int64_t>>(&value)) {
        type = command::kPropertyArray;
        fields.u8(datatype::kInt64).u16(a64->size());
        for (int64_t v : *a64) fields.u64(static_cast<uint64_t>(v));
    }
    return {encodeFrame(gen2::kCommandStart, type, fields.bytes())};
}

void Gen2Endpoint::writeBytes(Link& link, const Bytes& bytes) {
    const size_t chunk = chunkSize_ == 0 ? bytes.size() : chunkSize_;
    for (size_t at = 0; at < bytes.size(); at += chunk)
        if (!link.send(bytes.data() + at, std::min(chunk, bytes.size() - at))) return;
}

void Gen2Endpoint::sendToAllLocked(const Bytes& bytes) {
    for (auto& entry : links_) writeBytes(*entry.first, bytes);
}

void Gen2Endpoint::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!worker_.stopRequested()) {
        const auto now = Clock::now();
        for (const auto& due : delayed_.takeDue(now)) {
            writeBytes(*due.link, due.bytes);
            ++lateSent_;
            changed_.notify_all();
        }
        for (const Gen2Finished& end : model_.takeFinished(now))
            sendToAllLocked(eventFrame(end.channel, kMovementFinishedEvent, end.result));
        auto next = delayed_.nextDue();
        if (const auto finish = model_.nextFinish(); finish && (!next || *finish < *next)) next = finish;
        if (next)
            changed_.wait_until(lock, *next);
        else
            changed_.wait(lock);
    }
}

}  // namespace vxsim
