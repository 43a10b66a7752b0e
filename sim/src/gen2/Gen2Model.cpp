#include "sim/Gen2Model.h"

#include <algorithm>

namespace vxsim {

void Gen2Model::define(PropertyAddress address, PropertyValue value, bool readOnly) {
    std::lock_guard<std::mutex> lock(mutex_);
    selected_.erase(address);
    defined_[address] = {value, readOnly};
    current_[address] = {std::move(value), readOnly};
}

void Gen2Model::defineSelected(PropertyAddress address, PropertyAddress selector,
                               std::map<int32_t, PropertyValue> values) {
    std::lock_guard<std::mutex> lock(mutex_);
    defined_.erase(address);
    current_.erase(address);
    selected_[address] = {selector, std::move(values)};
}

void Gen2Model::answerWrites(PropertyAddress address, uint16_t result) {
    std::lock_guard<std::mutex> lock(mutex_);
    writeAnswers_[address] = result;
}

std::pair<uint16_t, PropertyValue> Gen2Model::read(PropertyAddress address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto selected = selected_.find(address); selected != selected_.end()) {
        const auto selector = current_.find(selected->second.selector);
        const int32_t* which = selector == current_.end() ? nullptr : std::get_if<int32_t>(&selector->second.value);
        const auto value = which ? selected->second.values.find(*which) : selected->second.values.end();
        if (value == selected->second.values.end()) return {gen2result::kInvalidKey, PropertyValue{}};
        return {gen2result::kOk, value->second};
    }
    if (const auto reader = readers_.find(address.key); reader != readers_.end()) return reader->second(address.index);
    const auto found = current_.find(address);
    if (found == current_.end()) return {gen2result::kInvalidKey, PropertyValue{}};
    if (auto live = channelValueLocked(address, found->second.value)) return {gen2result::kOk, std::move(*live)};
    return {gen2result::kOk, found->second.value};
}

uint16_t Gen2Model::write(PropertyAddress address, const PropertyValue& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto answer = writeAnswers_.find(address); answer != writeAnswers_.end()) return answer->second;
    if (selected_.count(address)) return gen2result::kPermissionDenied;
    const auto found = current_.find(address);
    if (found == current_.end()) return gen2result::kInvalidKey;
    if (found->second.readOnly) return gen2result::kPermissionDenied;
    if (found->second.value.index() != value.index()) return gen2result::kInvalidDataType;
    found->second.value = value;
    // A channel set to a position rests there.
    if (address.key == gen2key::kPosition && address.index < channels_.size())
        channels_[address.index].path = Motion(std::get<int64_t>(value));
    ++writes_;
    return gen2result::kOk;
}

void Gen2Model::answerReads(uint32_t key, Reader reader) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!reader) {
        readers_.erase(key);
        return;
    }
    readers_[key] = std::move(reader);
}

std::optional<PropertyValue> Gen2Model::value(PropertyAddress address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = current_.find(address);
    if (found == current_.end()) return std::nullopt;
    return found->second.value;
}

size_t Gen2Model::writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

void Gen2Model::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = defined_;
    const auto now = SimClock::now();
    for (Channel& channel : channels_) channel.path.halt(now);
    stream_ = Stream{};
}

}  // namespace vxsim

namespace vxsim {

void Gen2Model::setChannelCount(size_t channels) {
    std::lock_guard<std::mutex> lock(mutex_);
    channels_.assign(channels, Channel{});
}

void Gen2Model::failMovements(uint8_t channel, uint16_t code) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (channel < channels_.size()) channels_[channel].failWith = code;
}

int32_t Gen2Model::moveModeLocked(uint8_t channel) const {
    const auto found = current_.find({channel, gen2key::kMoveMode});
    const int32_t* mode = found == current_.end() ? nullptr : std::get_if<int32_t>(&found->second.value);
    return mode ? *mode : 0;
}

std::optional<PropertyValue> Gen2Model::channelValueLocked(PropertyAddress address, const PropertyValue& stored) const {
    if (address.index >= channels_.size()) return std::nullopt;
    const Channel& c = channels_[address.index];
    const auto now = SimClock::now();
    switch (address.key) {
    case gen2key::kPosition:
        return c.path.valueAt(now);
    case gen2key::kChannelErrorCode:
        return static_cast<int32_t>(c.error);
    case gen2key::kChannelState: {
        const int32_t* base = std::get_if<int32_t>(&stored);
        int32_t state = base ? *base : 0;
        const bool running = !c.path.arrived(now);
        if (running && c.movement == Gen2Movement::Calibrate) state |= gen2state::kMoving | gen2state::kCalibrating;
        if (running && c.movement == Gen2Movement::Reference) state |= gen2state::kMoving | gen2state::kReferencing;
        // Closed-loop moves target; scans and steps only move.
        if (running && c.movement == Gen2Movement::Move)
            state |= c.moveMode <= 1 ? (gen2state::kMoving | gen2state::kClosedLoop) : gen2state::kMoving;
        if (c.referenced || (c.movement == Gen2Movement::Reference && c.error == 0 && !running))
            state |= gen2state::kPositionKnown;
        if (c.error != 0) state |= gen2state::kMoveError;
        return state;
    }
    default:
        return std::nullopt;
    }
}

void Gen2Model::setMotionTimes(const Gen2MotionTimes& times) {
    std::lock_guard<std::mutex> lock(mutex_);
    times_ = times;
}

std::vector<Gen2Finished> Gen2Model::command(Gen2Movement movement, uint8_t channel, int64_t target) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (channel >= channels_.size()) return {{channel, gen2result::kInvalidChannelIndex}};
    Channel& c = channels_[channel];
    const auto now = SimClock::now();
    std::vector<Gen2Finished> ended;
    const int64_t here = c.path.valueAt(now);
    if (c.movement == Gen2Movement::Reference && c.error == 0 && c.path.arrived(now)) c.referenced = true;
    // A movement not yet reported ends here, whether or not it has arrived.
    if (c.path.unreported()) {
        const bool arrived = c.path.arrived(now);
        ended.push_back({channel, arrived                              ? c.endWith
                                  : movement == Gen2Movement::Stop ? gen2result::kAborted
                                                                   : gen2result::kMovementOverridden});
    }
    c.path.halt(now);
    c.movement = movement;
    c.error = 0;
    c.endWith = gen2result::kOk;
    c.moveMode = moveModeLocked(channel);
    const auto duration = movement == Gen2Movement::Calibrate ? times_.calibrate
                          : movement == Gen2Movement::Reference ? times_.reference
                                                                : times_.move;
    // A failing channel stays where it is and reports the failure when the
    // movement would have ended; its state shows the error at once.
    if (movement != Gen2Movement::Stop && c.failWith != gen2result::kOk) {
        c.error = c.failWith;
        c.endWith = c.failWith;
        c.path.start(here, here, duration, now);
        return ended;
    }
    switch (movement) {
    case Gen2Movement::Stop:
        break;
    case Gen2Movement::Calibrate:
        c.path.start(here, here, duration, now);
        break;
    case Gen2Movement::Reference:
        c.path.start(here, 0, duration, now);
        break;
    case Gen2Movement::Move: {
        // Relative, scan relative and step moves count from here.
        const bool fromHere = c.moveMode == 1 || c.moveMode == 3 || c.moveMode == 4;
        c.path.start(here, fromHere ? here + target : target, duration, now);
        break;
    }
    }
    return ended;
}

int64_t Gen2Model::position(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return channels_.at(channel).path.valueAt(SimClock::now());
}

bool Gen2Model::moving(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !channels_.at(channel).path.arrived(SimClock::now());
}

std::optional<SimClock::time_point> Gen2Model::nextFinish() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::optional<SimClock::time_point> next;
    for (const Channel& c : channels_)
        if (c.path.unreported() && (!next || c.path.arrival() < *next)) next = c.path.arrival();
    return next;
}

std::vector<Gen2Finished> Gen2Model::takeFinished(SimClock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Gen2Finished> ended;
    for (size_t i = 0; i < channels_.size(); ++i) {
        Channel& c = channels_[i];
        if (!c.path.takeArrival(now)) continue;
        ended.push_back({static_cast<uint8_t>(i), c.endWith});
        c.endWith = gen2result::kOk;
    }
    return ended;
}

void Gen2Model::setStreamCapacity(uint32_t units) {
    std::lock_guard<std::mutex> lock(mutex_);
    streamCapacity_ = units;
}

uint16_t Gen2Model::openStream(uint8_t* handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stream_.handle != 0) return gen2result::kHandleLimitReached;
    stream_ = Stream{};
    stream_.handle = nextStreamHandle_++;
    if (nextStreamHandle_ == 0) nextStreamHandle_ = 1;
    *handle = stream_.handle;
    return gen2result::kOk;
}

std::vector<Gen2StreamReport> Gen2Model::endStreamLocked(uint16_t code) {
    const uint8_t handle = stream_.handle;
    if (code == gen2result::kOk || code == gen2result::kAborted) {
        stream_ = Stream{};
    } else {
        stream_.ended = true;
        stream_.buffered = 0;
    }
    return {{handle, std::nullopt, code}};
}

std::vector<Gen2StreamReport> Gen2Model::streamUnits(uint8_t handle, uint32_t units) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Frames of another stream, or after the end, are lost.
    if (handle == 0 || handle != stream_.handle || stream_.ended || stream_.closing) return {};
    if (stream_.buffered + units > streamCapacity_) return endStreamLocked(gen2result::kBufferOverflow);
    stream_.buffered += units;
    return {};
}

uint16_t Gen2Model::closeStream(uint8_t handle, std::vector<Gen2StreamReport>* reports) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle == 0 || handle != stream_.handle) return gen2result::kInvalidStreamHandle;
    if (stream_.ended) {
        stream_ = Stream{};
    } else if (stream_.buffered == 0) {
        *reports = endStreamLocked(gen2result::kOk);
    } else {
        stream_.closing = true;
    }
    return gen2result::kOk;
}

uint16_t Gen2Model::abortStream(uint8_t handle, std::vector<Gen2StreamReport>* reports) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle == 0 || handle != stream_.handle) return gen2result::kInvalidStreamHandle;
    if (stream_.ended)
        stream_ = Stream{};
    else
        *reports = endStreamLocked(gen2result::kAborted);
    return gen2result::kOk;
}

std::vector<Gen2StreamReport> Gen2Model::playStream(uint32_t units) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stream_.handle == 0 || stream_.ended) return {};
    const uint32_t played = std::min(units, stream_.buffered);
    stream_.buffered -= played;
    stream_.played += played;
    std::vector<Gen2StreamReport> reports{{stream_.handle, std::pair{stream_.played, streamCapacity_}, std::nullopt}};
    if (stream_.closing && stream_.buffered == 0) {
        const auto end = endStreamLocked(gen2result::kOk);
        reports.insert(reports.end(), end.begin(), end.end());
    } else if (played < units) {
        const auto end = endStreamLocked(gen2result::kInsufficientFrames);
        reports.insert(reports.end(), end.begin(), end.end());
    }
    return reports;
}

std::vector<Gen2StreamReport> Gen2Model::streamCounts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stream_.handle == 0 || stream_.ended) return {};
    return {{stream_.handle, std::pair{stream_.played, streamCapacity_}, std::nullopt}};
}

uint8_t Gen2Model::streamHandle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stream_.handle;
}

uint32_t Gen2Model::streamBuffered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stream_.buffered;
}

}  // namespace vxsim
