#include "sim/ControllerModel.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>

namespace vxsim {

namespace {

constexpr int64_t kFullTurn = 360000000;
constexpr uint16_t kHoldForever = 60000;
constexpr uint8_t kReportOnComplete = 0x02;
constexpr uint8_t kAccumulateRelative = 0x08;
constexpr uint8_t kReportOnTriggered = 0x10;
constexpr int64_t kMaxScan = 4095;
constexpr int64_t kMaxOpening = 22500;

// Module classes: the top nibble of a module word.
constexpr uint16_t kClassMask = 0xF000;
constexpr uint16_t kPositionerClasses[] = {0x2000, 0x6000, 0xB000};
constexpr uint16_t kEndEffectorClass = 0x9000;

SimClock::duration seconds(double value) {
    return std::chrono::duration_cast<SimClock::duration>(std::chrono::duration<double>(value));
}

// A search with no mark ahead and no end stop keeps searching until stopped.
constexpr auto kEndlessSearch = std::chrono::hours(1);

int64_t floorDiv(int64_t value, int64_t divisor) {
    int64_t q = value / divisor;
    if ((value % divisor != 0) && ((value < 0) != (divisor < 0))) --q;
    return q;
}

}  // namespace

bool isDistanceCodedSensorType(uint8_t sensorType) {
    static constexpr uint8_t kDistanceCoded[] = {6, 18, 24, 25, 35, 38, 40};
    return std::find(std::begin(kDistanceCoded), std::end(kDistanceCoded), sensorType) !=
           std::end(kDistanceCoded);
}

ModuleKind moduleKind(uint16_t moduleWord) {
    const uint16_t cls = moduleWord & kClassMask;
    if (cls == kEndEffectorClass) return ModuleKind::EndEffector;
    if (std::find(std::begin(kPositionerClasses), std::end(kPositionerClasses), cls) !=
        std::end(kPositionerClasses))
        return ModuleKind::Positioner;
    return ModuleKind::Other;
}

HcmImageLayout hcmImageLayout(const SystemSetup& setup) {
    static constexpr std::pair<uint16_t, HcmImageLayout> kLayouts[] = {
        {0x3D01, {2048, 128, 9}},
        {0xFD01, {2048, 500, 3}},
    };
    for (const auto& [type, layout] : kLayouts)
        if (type == setup.hcmEepromType) return layout;
    return {size_t{setup.hcmSlotSize} * setup.hcmSlotCount, setup.hcmSlotSize, setup.hcmSlotCount};
}

SystemSetup SystemSetup::standard(size_t channels, bool handControl, size_t endEffectors) {
    SystemSetup setup;
    setup.handControl = handControl;
    for (size_t i = 0; i < channels; ++i) {
        ChannelSetup channel;
        const bool endEffector = i + endEffectors >= channels;
        const uint16_t cls = endEffector ? kEndEffectorClass : kPositionerClasses[i % 3];
        channel.moduleWord = static_cast<uint16_t>(cls | (0x100 + i));
        channel.firmwareVersion = 0x01020000 | static_cast<uint32_t>(10 + i);
        channel.secondFirmwareVersion = 0x01000000 | static_cast<uint32_t>(20 + i);
        channel.featureBytes = {static_cast<uint8_t>(0x10 + i), 0x00, 0x05};
        setup.channels.push_back(channel);
    }
    return setup;
}

ControllerModel::ControllerModel(SystemSetup setup) : setup_(std::move(setup)) {
    for (size_t i = 0; i < kSpeedLevels; ++i)
        speedLevels_[i] = {static_cast<uint16_t>(i + 1), static_cast<uint16_t>(100 * (i + 1)),
                           static_cast<uint16_t>(1000 + 10 * i)};
    layout_ = hcmImageLayout(setup_);
    image_.assign(layout_.imageSize, 0);
    for (size_t i = 0; i < indexMap_.size(); ++i) indexMap_[i] = static_cast<uint8_t>(i);
    resetLocked();
}

void ControllerModel::resetLocked() {
    synchronous_ = true;
    sensorEnabled_ = 1;
    handControlMode_ = 1;
    effectiveRs232Rate_ = rs232Rate_;
    channels_.assign(setup_.channels.size(), Channel{});
    for (size_t i = 0; i < channels_.size(); ++i) {
        Channel& channel = channels_[i];
        if (const TravelSetup* travel = travelOf(i))
            channel.motion.path = Motion(travel->start);
        channel.sensorType = setup_.channels[i].sensorType;
        channel.config[2] = 18500;
        channel.endEffector.type = setup_.channels[i].endEffectorType;
    }
}

int ControllerModel::channelAt(uint16_t moduleWord) const {
    for (size_t i = 0; i < setup_.channels.size(); ++i)
        if (setup_.channels[i].moduleWord == moduleWord) return static_cast<int>(i);
    return -1;
}

ModuleKind ControllerModel::kind(size_t channel) const {
    return moduleKind(setup_.channels.at(channel).moduleWord);
}

void ControllerModel::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    resetLocked();
}

bool ControllerModel::synchronous() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return synchronous_;
}

void ControllerModel::setSynchronous(bool synchronous) {
    std::lock_guard<std::mutex> lock(mutex_);
    synchronous_ = synchronous;
}

void ControllerModel::setFlags(size_t channel, uint8_t mask, uint8_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    Channel& c = at(channel);
    c.flags = static_cast<uint8_t>((c.flags & ~mask) | (value & mask));
}

uint8_t ControllerModel::flags(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return at(channel).flags;
}

// Motion

void ControllerModel::startMotion(Movement& motion, int64_t from, int64_t to,
                                  SimClock::duration duration, uint8_t movingStatus,
                                  uint16_t holdTime) {
    motion.path.start(from, to, duration);
    motion.movingStatus = movingStatus;
    motion.holdTime = holdTime;
    motion.endStop = false;
    motion.scaleOffsetOnArrival.reset();
}

int64_t ControllerModel::valueAt(const Movement& motion, SimClock::time_point now) {
    return motion.path.valueAt(now);
}

bool ControllerModel::arrived(const Movement& motion, SimClock::time_point now) {
    return motion.path.arrived(now);
}

uint8_t ControllerModel::statusAt(const Channel& channel, SimClock::time_point now) const {
    for (const Movement* motion : {&channel.motion, &channel.scanMotion, &channel.gripper})
        if (!arrived(*motion, now)) return motion->movingStatus;
    const Movement& m = channel.motion;
    const bool holds = !m.endStop && (m.movingStatus == channelStatus::kTargeting ||
                                      m.movingStatus == channelStatus::kFindingReference);
    if (holds && m.holdTime > 0 &&
        (m.holdTime == kHoldForever ||
         now < m.path.arrival() + std::chrono::milliseconds(m.holdTime)))
        return channelStatus::kHolding;
    return channelStatus::kStopped;
}

SimClock::duration ControllerModel::travelTime(const Channel& channel, int64_t distance) const {
    uint32_t speed = channel.settings.moveSpeed ? channel.settings.moveSpeed : setup_.maximumSpeed;
    return seconds(static_cast<double>(std::llabs(distance)) / speed);
}

const TravelSetup* ControllerModel::travelOf(size_t channel) const {
    const auto& travel = setup_.channels.at(channel).travel;
    return travel ? &*travel : nullptr;
}

int64_t ControllerModel::scaleOffsetAt(const Channel& channel, SimClock::time_point now) {
    const Movement& m = channel.motion;
    if (m.scaleOffsetOnArrival && arrived(m, now)) return *m.scaleOffsetOnArrival;
    return channel.scaleOffset;
}

void ControllerModel::settleScale(Channel& channel, SimClock::time_point now) {
    channel.scaleOffset = scaleOffsetAt(channel, now);
    channel.motion.scaleOffsetOnArrival.reset();
}

bool ControllerModel::atEndStop(size_t channel, int64_t* target) const {
    const TravelSetup* travel = travelOf(channel);
    if (travel == nullptr || !travel->endStops) return false;
    const auto [low, high] = *travel->endStops;
    if (*target >= low && *target <= high) return false;
    *target = std::clamp(*target, low, high);
    return true;
}

uint8_t ControllerModel::closedLoopReady(const Channel& channel) const {
    if (channel.sensorType == 0) return refusal::kNoSensor;
    if (sensorEnabled_ == 0) return refusal::kSensorDisabled;
    return refusal::kNone;
}

int64_t ControllerModel::limited(const Channel& channel, int64_t target) const {
    const Settings& s = channel.settings;
    if (s.minPosition < s.maxPosition) target = std::clamp<int64_t>(target, s.minPosition, s.maxPosition);
    return target;
}

uint8_t ControllerModel::position(size_t channel, int32_t* position) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::Positioner) return refusal::kUnknownCommand;
    const Channel& c = at(channel);
    if (uint8_t refused = closedLoopReady(c)) return refused;
    if (setup_.channels[channel].rotary) return refusal::kWrongSensorType;
    const auto now = SimClock::now();
    *position = static_cast<int32_t>(valueAt(c.motion, now) + scaleOffsetAt(c, now));
    return refusal::kNone;
}

uint8_t ControllerModel::angle(size_t channel, uint32_t* angle, int32_t* revolution) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::Positioner) return refusal::kUnknownCommand;
    const Channel& c = at(channel);
    if (uint8_t refused = closedLoopReady(c)) return refused;
    if (!setup_.channels[channel].rotary) return refusal::kWrongSensorType;
    const auto now = SimClock::now();
    int64_t value = valueAt(c.motion, now) + scaleOffsetAt(c, now);
    int64_t turns = floorDiv(value, kFullTurn);
    *angle = static_cast<uint32_t>(value - turns * kFullTurn);
    *revolution = static_cast<int32_t>(turns);
    return refusal::kNone;
}

uint8_t ControllerModel::setPosition(size_t channel, int32_t position) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::Positioner) return refusal::kUnknownCommand;
    Channel& c = at(channel);
    if (uint8_t refused = closedLoopReady(c)) return refused;
    if (travelOf(channel)) {
        // The scale moves, not the channel: its marks and end stops stay put.
        const auto now = SimClock::now();
        const int64_t here = valueAt(c.motion, now);
        c.motion = Movement{};
        c.motion.path = Motion(here);
        c.scaleOffset = position - here;
        return refusal::kNone;
    }
    c.motion = Movement{};
    c.motion.path = Motion(position);
    return refusal::kNone;
}

uint8_t ControllerModel::gotoPosition(size_t channel, int32_t position, uint16_t holdTime,
                                      bool relative) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::Positioner) return refusal::kUnknownCommand;
    Channel& c = at(channel);
    if (uint8_t refused = closedLoopReady(c)) return refused;
    if (setup_.channels[channel].rotary) return refusal::kWrongSensorType;
    const auto now = SimClock::now();
    settleScale(c, now);
    const int64_t current = valueAt(c.motion, now);
    int64_t base = current;
    if (relative && (c.flags & kAccumulateRelative) && !arrived(c.motion, now)) base = c.motion.path.target();
    // Targets and limits are on the reported scale.
    int64_t target =
        limited(c, relative ? base + c.scaleOffset + position : position) - c.scaleOffset;
    const bool endStop = atEndStop(channel, &target);
    startMotion(c.motion, current, target, travelTime(c, target - current),
                channelStatus::kTargeting, holdTime);
    c.motion.endStop = endStop;
    return refusal::kNone;
}

uint8_t ControllerModel::gotoAngle(size_t channel, int32_t angle, int32_t revolution,
                                   uint16_t holdTime, bool relative) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::Positioner) return refusal::kUnknownCommand;
    Channel& c = at(channel);
    if (uint8_t refused = closedLoopReady(c)) return refused;
    if (!setup_.channels[channel].rotary) return refusal::kWrongSensorType;
    const auto now = SimClock::now();
    settleScale(c, now);
    const int64_t current = valueAt(c.motion, now);
    const int64_t amount = static_cast<int64_t>(revolution) * kFullTurn + angle;
    int64_t target = relative ? current + amount : amount - c.scaleOffset;
    const bool endStop = atEndStop(channel, &target);
    startMotion(c.motion, current, target, travelTime(c, target - current),
                channelStatus::kTargeting, holdTime);
    c.motion.endStop = endStop;
    return refusal::kNone;
}

uint8_t ControllerModel::stepMove(size_t channel, int32_t steps, uint16_t amplitude,
                                  uint16_t frequency) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::Positioner) return refusal::kUnknownCommand;
    if (amplitude > 4095) return refusal::kAmplitudeTooHigh;
    if (frequency == 0) return refusal::kFrequencyTooLow;
    if (frequency > 20000) return refusal::kFrequencyTooHigh;
    Channel& c = at(channel);
    const auto now = SimClock::now();
    settleScale(c, now);
    const int64_t current = valueAt(c.motion, now);
    // About a quarter nanometre of travel per amplitude digit and step.
    int64_t target = current + static_cast<int64_t>(steps) * amplitude / 4;
    atEndStop(channel, &target);
    startMotion(c.motion, current, target,
                seconds(static_cast<double>(std::abs(steps)) / frequency), channelStatus::kStepping,
                0);
    return refusal::kNone;
}

uint8_t ControllerModel::scanMove(size_t channel, int32_t target, uint32_t speed, bool relative) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::Positioner) return refusal::kUnknownCommand;
    if (speed == 0) return refusal::kScanSpeedTooLow;
    Channel& c = at(channel);
    const int64_t current = valueAt(c.scanMotion, SimClock::now());
    int64_t goal = relative ? current + target : target;
    if (goal < 0 || goal > kMaxScan) {
        if (!relative) return refusal::kScanTargetTooHigh;
        goal = std::clamp<int64_t>(goal, 0, kMaxScan);
    }
    // Speed in thousandths of a scan digit per second.
    startMotion(c.scanMotion, current, goal,
                seconds(static_cast<double>(std::llabs(goal - current)) * 1000.0 / speed),
                channelStatus::kScanning, 0);
    return refusal::kNone;
}

uint8_t ControllerModel::findReferenceMark(size_t channel, uint8_t direction, bool autoZero,
                                           uint16_t holdTime) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::Positioner) return refusal::kUnknownCommand;
    Channel& c = at(channel);
    if (uint8_t refused = closedLoopReady(c)) return refused;
    // The low bit of the direction code searches backward.
    if (travelOf(channel))
        return findMarkOnTravel(channel, c, (direction & 1) != 0, autoZero, holdTime);
    const int64_t current = valueAt(c.motion, SimClock::now());
    // The mark sits at the origin of the physical scale.
    startMotion(c.motion, current, 0, setup_.referenceSearchTime,
                channelStatus::kFindingReference, holdTime);
    c.positionKnown = false;
    return refusal::kNone;
}

uint8_t ControllerModel::findMarkOnTravel(size_t channel, Channel& c, bool backward,
                                          bool autoZero, uint16_t holdTime) {
    const TravelSetup& travel = *travelOf(channel);
    const auto now = SimClock::now();
    settleScale(c, now);
    const int64_t current = valueAt(c.motion, now);
    // The next mark strictly beyond the current value; on a rotary channel
    // the marks repeat every turn.
    std::optional<int64_t> mark;
    const bool rotary = setup_.channels[channel].rotary;
    const int64_t turn = floorDiv(current, kFullTurn);
    for (int64_t k = rotary ? turn - 1 : 0; k <= (rotary ? turn + 1 : 0); ++k) {
        for (int64_t base : travel.marks) {
            const int64_t at = base + (rotary ? k * kFullTurn : 0);
            const bool ahead = backward ? at < current : at > current;
            if (ahead && (!mark || (backward ? at > *mark : at < *mark))) mark = at;
        }
    }
    int64_t target = mark.value_or(current);
    bool endStop = false;
    if (mark) {
        endStop = atEndStop(channel, &target);
    } else if (travel.endStops) {
        target = backward ? travel.endStops->first : travel.endStops->second;
        endStop = true;
    }
    const auto duration = mark || endStop ? SimClock::duration(setup_.referenceSearchTime)
                                          : SimClock::duration(kEndlessSearch);
    startMotion(c.motion, current, target, duration, channelStatus::kFindingReference, holdTime);
    c.motion.endStop = endStop;
    c.positionKnown = false;
    if (!mark || endStop) return refusal::kNone;
    // A distance-coded sensor gives the mark's place on the scale, mirrored
    // when the controller decodes it the wrong way round.
    if (isDistanceCodedSensorType(c.sensorType)) {
        const bool decodesInverted = c.tuning[kDistanceCodeInvertedParameter] != 0;
        const int64_t reading = decodesInverted == travel.distanceCodeInverted ? target : -target;
        c.motion.scaleOffsetOnArrival = reading - target;
    }
    if (autoZero) c.motion.scaleOffsetOnArrival = -target;
    return refusal::kNone;
}

uint8_t ControllerModel::calibrateSensor(size_t channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::Positioner) return refusal::kUnknownCommand;
    Channel& c = at(channel);
    if (c.sensorType == 0) return refusal::kNoSensor;
    const auto now = SimClock::now();
    settleScale(c, now);
    const int64_t current = valueAt(c.motion, now);
    startMotion(c.motion, current, current, setup_.calibrationTime, channelStatus::kCalibrating, 0);
    return refusal::kNone;
}

uint8_t ControllerModel::stop(size_t channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    Channel& c = at(channel);
    const auto now = SimClock::now();
    settleScale(c, now);
    for (Movement* motion : {&c.motion, &c.scanMotion, &c.gripper}) {
        if (motion->movingStatus == channelStatus::kFindingReference && !motion->endStop &&
            arrived(*motion, now))
            c.positionKnown = true;
        int64_t here = valueAt(*motion, now);
        *motion = Movement{};
        motion->path = Motion(here);
    }
    return refusal::kNone;
}

uint8_t ControllerModel::status(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return statusAt(at(channel), SimClock::now());
}

uint8_t ControllerModel::physicalPositionKnown(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Channel& c = at(channel);
    const bool found = c.motion.movingStatus == channelStatus::kFindingReference &&
                       !c.motion.endStop && arrived(c.motion, SimClock::now());
    return c.positionKnown || found ? 1 : 0;
}

uint16_t ControllerModel::voltageLevel(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint16_t>(valueAt(at(channel).scanMotion, SimClock::now()));
}

uint8_t ControllerModel::sensorType(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return at(channel).sensorType;
}

void ControllerModel::setSensorType(size_t channel, uint8_t type) {
    std::lock_guard<std::mutex> lock(mutex_);
    at(channel).sensorType = type;
}

uint8_t ControllerModel::sensorEnabled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sensorEnabled_;
}

void ControllerModel::setSensorEnabled(uint8_t mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    sensorEnabled_ = mode;
}

ControllerModel::Settings ControllerModel::settings(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return at(channel).settings;
}

void ControllerModel::updateSettings(size_t channel, const Settings& settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    at(channel).settings = settings;
}

uint8_t ControllerModel::channelProperty(size_t channel, uint32_t key, int32_t* value) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto& properties = at(channel).properties;
    auto found = properties.find(key);
    if (found == properties.end()) return refusal::kInvalidProperty;
    *value = found->second;
    return refusal::kNone;
}

void ControllerModel::setChannelProperty(size_t channel, uint32_t key, int32_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    at(channel).properties[key] = value;
}

int32_t ControllerModel::tableValue(size_t channel, Table table, uint8_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Channel& c = at(channel);
    return table == Table::Debug ? c.debug[index] : table == Table::Tuning ? c.tuning[index]
                                                                           : c.config[index];
}

void ControllerModel::setTableValue(size_t channel, Table table, uint8_t index, int32_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    Channel& c = at(channel);
    (table == Table::Debug ? c.debug : table == Table::Tuning ? c.tuning : c.config)[index] = value;
}

ControllerModel::Capture ControllerModel::captureBuffer(size_t channel, uint8_t buffer) const {
    // Recorded samples stand in as a fixed pattern per channel and buffer.
    return {static_cast<uint32_t>(1000 * (channel + 1) + buffer),
            -static_cast<int32_t>(70000 + buffer), static_cast<int16_t>(-1 - buffer)};
}

void ControllerModel::appendTriggeredCommand(size_t channel, int32_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    at(channel).triggered.push_back(value);
}

void ControllerModel::clearTriggeredCommands(size_t channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    at(channel).triggered.clear();
}

size_t ControllerModel::triggeredCommands(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return at(channel).triggered.size();
}

std::vector<size_t> ControllerModel::trigger(uint8_t) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<size_t> reporting;
    for (size_t i = 0; i < channels_.size(); ++i) {
        Channel& c = channels_[i];
        if (c.triggered.empty()) continue;
        c.triggered.erase(c.triggered.begin());
        if (c.flags & kReportOnTriggered) reporting.push_back(i);
    }
    return reporting;
}

uint32_t ControllerModel::customSensorConfigurations(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return at(channel).customSensorConfigurations;
}

void ControllerModel::writeCustomSensorConfiguration(size_t channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++at(channel).customSensorConfigurations;
}

// End effectors

ControllerModel::EndEffector ControllerModel::endEffector(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return at(channel).endEffector;
}

uint8_t ControllerModel::setEndEffector(size_t channel, const EndEffector& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::EndEffector) return refusal::kUnknownCommand;
    at(channel).endEffector = value;
    return refusal::kNone;
}

int32_t ControllerModel::force(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return at(channel).force - at(channel).forceOffset;
}

uint8_t ControllerModel::gotoForce(size_t channel, int32_t force, int32_t) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::EndEffector) return refusal::kUnknownCommand;
    Channel& c = at(channel);
    if (c.endEffector.type == 0) return refusal::kWrongEndEffectorType;
    c.force = force + c.forceOffset;
    return refusal::kNone;
}

void ControllerModel::zeroForce(size_t channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    at(channel).forceOffset = at(channel).force;
}

uint16_t ControllerModel::gripperOpening(size_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint16_t>(valueAt(at(channel).gripper, SimClock::now()));
}

uint8_t ControllerModel::gotoGripperOpening(size_t channel, int32_t opening, int32_t speed,
                                            bool relative) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kind(channel) != ModuleKind::EndEffector) return refusal::kUnknownCommand;
    Channel& c = at(channel);
    if (c.endEffector.type == 0) return refusal::kWrongEndEffectorType;
    if (speed <= 0) return refusal::kNotProcessable;
    const int64_t current = valueAt(c.gripper, SimClock::now());
    const int64_t goal = std::clamp<int64_t>(relative ? current + opening : opening, 0, kMaxOpening);
    startMotion(c.gripper, current, goal,
                seconds(static_cast<double>(std::llabs(goal - current)) / speed),
                channelStatus::kGripping, 0);
    return refusal::kNone;
}

// Hand control module

uint8_t ControllerModel::handControlMode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handControlMode_;
}

void ControllerModel::setHandControlMode(uint8_t mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    handControlMode_ = mode;
}

uint8_t ControllerModel::speedLevelTableSize() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return speedLevelSize_;
}

uint8_t ControllerModel::setSpeedLevelTableSize(uint8_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (size < 1 || size > kSpeedLevels) return refusal::kNotProcessable;
    speedLevelSize_ = size;
    return refusal::kNone;
}

std::array<uint16_t, 3> ControllerModel::speedLevel(uint8_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return speedLevels_.at(index);
}

uint8_t ControllerModel::setSpeedLevel(uint8_t index, const std::array<uint16_t, 3>& values) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= kSpeedLevels) return refusal::kNotProcessable;
    speedLevels_[index] = values;
    return refusal::kNone;
}

void ControllerModel::storeSpeedLevelTable() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++speedLevelStores_;
}

size_t ControllerModel::storedSpeedLevelTables() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return speedLevelStores_;
}

uint16_t ControllerModel::slotSize() const { return layout_.slotSize; }

uint8_t ControllerModel::readSlot(uint8_t slot, uint16_t offset, uint8_t* data,
                                  size_t length) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot >= layout_.slotCount || offset >= layout_.slotSize) return refusal::kNotProcessable;
    const size_t start = size_t{slot} * layout_.slotSize;
    for (size_t i = 0; i < length; ++i)
        data[i] = offset + i < layout_.slotSize ? image_[start + offset + i] : 0;
    return refusal::kNone;
}

uint8_t ControllerModel::writeSlot(uint8_t slot, uint16_t offset, const uint8_t* data,
                                   size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot >= layout_.slotCount || offset >= layout_.slotSize) return refusal::kNotProcessable;
    const size_t start = size_t{slot} * layout_.slotSize;
    for (size_t i = 0; i < length && offset + i < layout_.slotSize; ++i)
        image_[start + offset + i] = data[i];
    const auto altered = [&](const SlotAlteration& a) {
        return a.slot == slot && a.position >= offset && size_t{a.position} - offset < length &&
               a.position < layout_.slotSize;
    };
    if (slotAlteration_ && altered(*slotAlteration_)) {
        image_[start + slotAlteration_->position] = slotAlteration_->value;
        slotAlteration_.reset();
    }
    return refusal::kNone;
}

void ControllerModel::alterNextSlotWrite(uint8_t slot, uint16_t position, uint8_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    slotAlteration_ = SlotAlteration{slot, position, value};
}

std::vector<uint8_t> ControllerModel::slot(uint8_t slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot >= layout_.slotCount) return {};
    const auto start = image_.begin() + static_cast<ptrdiff_t>(size_t{slot} * layout_.slotSize);
    return std::vector<uint8_t>(start, start + layout_.slotSize);
}

std::vector<uint8_t> ControllerModel::image() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return image_;
}

uint8_t ControllerModel::readImage(uint16_t offset, uint8_t* data, size_t length) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (size_t{offset} + length > image_.size()) return refusal::kNotProcessable;
    std::copy_n(image_.begin() + offset, length, data);
    return refusal::kNone;
}

uint8_t ControllerModel::writeImage(uint16_t offset, const uint8_t* data, size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (size_t{offset} + length > image_.size()) return refusal::kNotProcessable;
    std::copy_n(data, length, image_.begin() + offset);
    return refusal::kNone;
}

// Interface module

uint32_t ControllerModel::rs232Rate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rs232Rate_;
}

uint32_t ControllerModel::effectiveRs232Rate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return effectiveRs232Rate_;
}

void ControllerModel::setRs232Rate(uint32_t rate, bool atOnce) {
    std::lock_guard<std::mutex> lock(mutex_);
    rs232Rate_ = rate;
    if (atOnce) effectiveRs232Rate_ = rate;
}

uint8_t ControllerModel::indexMapEntry(uint8_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return indexMap_[index];
}

void ControllerModel::setIndexMapEntry(uint8_t index, uint8_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    indexMap_[index] = value;
}

void ControllerModel::finalizeIndexMap() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++indexMapFinalizations_;
}

size_t ControllerModel::indexMapFinalizations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return indexMapFinalizations_;
}

// Completion reports

std::optional<SimClock::time_point> ControllerModel::nextCompletion() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::optional<SimClock::time_point> next;
    for (const Channel& c : channels_) {
        if (!(c.flags & kReportOnComplete)) continue;
        for (const Movement* motion : {&c.motion, &c.scanMotion, &c.gripper}) {
            if (!motion->path.unreported()) continue;
            auto end = motion->path.arrival();
            if (!next || end < *next) next = end;
        }
    }
    return next;
}

std::vector<size_t> ControllerModel::takeCompletions(SimClock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<size_t> done;
    for (size_t i = 0; i < channels_.size(); ++i) {
        Channel& c = channels_[i];
        bool ended = false;
        for (Movement* motion : {&c.motion, &c.scanMotion, &c.gripper}) {
            if (motion->path.takeArrival(now)) ended = true;
        }
        if (ended && (c.flags & kReportOnComplete)) done.push_back(i);
    }
    return done;
}

}  // namespace vxsim
