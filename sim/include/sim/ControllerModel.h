#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "sim/Motion.h"

namespace vxsim {

// Status codes a controller answers refusals with.
namespace refusal {
constexpr uint8_t kNone = 0;
constexpr uint8_t kNoSensor = 129;
constexpr uint8_t kAmplitudeTooHigh = 131;
constexpr uint8_t kFrequencyTooLow = 132;
constexpr uint8_t kFrequencyTooHigh = 133;
constexpr uint8_t kScanTargetTooHigh = 135;
constexpr uint8_t kScanSpeedTooLow = 136;
constexpr uint8_t kSensorDisabled = 140;
constexpr uint8_t kWrongSensorType = 143;
constexpr uint8_t kWrongEndEffectorType = 145;
constexpr uint8_t kInvalidProperty = 156;
constexpr uint8_t kNotProcessable = 150;
constexpr uint8_t kUnknownCommand = 240;
}  // namespace refusal

// Channel states as a controller reports them.
namespace channelStatus {
constexpr uint8_t kStopped = 0;
constexpr uint8_t kStepping = 1;
constexpr uint8_t kScanning = 2;
constexpr uint8_t kHolding = 3;
constexpr uint8_t kTargeting = 4;
constexpr uint8_t kCalibrating = 6;
constexpr uint8_t kFindingReference = 7;
constexpr uint8_t kGripping = 9;
}  // namespace channelStatus

enum class ModuleKind { Positioner, EndEffector, Other };

// Sensor types whose reference marks are distance-coded: the controller
// reads the absolute scale from the spacing of the marks.
bool isDistanceCodedSensorType(uint8_t sensorType);

// The tuning parameter that says the sensor's distance code runs inverted.
constexpr uint8_t kDistanceCodeInvertedParameter = 5;

// A channel's travel on its physical scale (nanometres; micro-degrees on a
// rotary channel, where the marks repeat every turn).
struct TravelSetup {
    int64_t start = 0;            // where the channel stands at power-up
    std::vector<int64_t> marks;   // reference marks, ascending (within one turn if rotary)
    // The lowest and highest reachable value; none on an endless rotary
    // channel, or a linear one whose searches run until stopped.
    std::optional<std::pair<int64_t, int64_t>> endStops;
    // The sensor's distance code runs inverted: read right only when tuning
    // parameter 5 is 1.
    bool distanceCodeInverted = false;
};

// The module class is the top nibble of a channel's module word.
ModuleKind moduleKind(uint16_t moduleWord);

struct ChannelSetup {
    uint16_t moduleWord = 0x2101;
    uint32_t firmwareVersion = 0x01020003;
    uint32_t secondFirmwareVersion = 0x01000007;
    // False: the module refuses the version request (error code 0xF0).
    bool reportsFirmware = true;
    std::vector<uint8_t> featureBytes{0x01, 0x00, 0x05};
    uint8_t sensorType = 1;  // 0: no sensor attached
    bool rotary = false;     // positions are micro-degrees over revolutions
    uint8_t endEffectorType = 1;
    // None: one reference mark at the origin and no end stops.
    std::optional<TravelSetup> travel;
};

struct SystemSetup {
    uint32_t interfaceFirmwareVersion = 0x02010010;
    bool handControl = false;
    uint32_t handControlFirmwareVersion = 0x01030002;
    // The hand control module's configuration image, in equal slots (for
    // EEPROM types without a layout of their own, see hcmImageLayout).
    uint16_t hcmSlotSize = 256;
    uint8_t hcmSlotCount = 8;
    uint16_t hcmEepromType = 0x0100;
    std::vector<ChannelSetup> channels;

    // Closed-loop speed when the channel's speed is 0 (no limit), units/s.
    uint32_t maximumSpeed = 10000000;
    std::chrono::milliseconds referenceSearchTime{20};
    std::chrono::milliseconds calibrationTime{20};

    // `channels` positioners cycling through the three positioner classes,
    // the last `endEffectors` of them end effectors instead.
    static SystemSetup standard(size_t channels, bool handControl, size_t endEffectors = 0);
};

// A first-generation controller system: interface module, optional hand
// control module and channel modules, with motion that runs on a steady
// clock. Protocol endpoints drive it; it knows nothing of any wire format.
// Every member is safe to call from any thread.
// The hand control module's configuration image: its size, and the equal
// slots that lie in it one after the other from offset 0. The EEPROM types
// 0x3D01 and 0xFD01 have layouts of their own, other types the setup's slots.
struct HcmImageLayout {
    size_t imageSize;
    uint16_t slotSize;
    uint8_t slotCount;
};
HcmImageLayout hcmImageLayout(const SystemSetup& setup);

class ControllerModel {
public:
    explicit ControllerModel(SystemSetup setup);

    const SystemSetup& setup() const { return setup_; }
    size_t channelCount() const { return setup_.channels.size(); }
    // Channel index of a module word, or -1.
    int channelAt(uint16_t moduleWord) const;
    ModuleKind kind(size_t channel) const;

    // Back to the state after power-up (communication mode included); a
    // stored RS-232 rate takes effect.
    void reset();
    bool synchronous() const;
    void setSynchronous(bool synchronous);

    // Channel flags (report on complete 0x02, step while scan 0x04,
    // accumulate relative positions 0x08, report on triggered 0x10,
    // debugging 0x80).
    void setFlags(size_t channel, uint8_t mask, uint8_t value);
    uint8_t flags(size_t channel) const;

    // Positioners. Each returns a refusal code or 0.
    uint8_t position(size_t channel, int32_t* position) const;
    uint8_t angle(size_t channel, uint32_t* angle, int32_t* revolution) const;
    uint8_t setPosition(size_t channel, int32_t position);
    uint8_t gotoPosition(size_t channel, int32_t position, uint16_t holdTime, bool relative);
    uint8_t gotoAngle(size_t channel, int32_t angle, int32_t revolution, uint16_t holdTime,
                      bool relative);
    uint8_t stepMove(size_t channel, int32_t steps, uint16_t amplitude, uint16_t frequency);
    uint8_t scanMove(size_t channel, int32_t target, uint32_t speed, bool relative);
    uint8_t findReferenceMark(size_t channel, uint8_t direction, bool autoZero, uint16_t holdTime);
    uint8_t calibrateSensor(size_t channel);
    uint8_t stop(size_t channel);
    uint8_t status(size_t channel) const;
    uint8_t physicalPositionKnown(size_t channel) const;
    uint16_t voltageLevel(size_t channel) const;

    uint8_t sensorType(size_t channel) const;
    void setSensorType(size_t channel, uint8_t type);
    uint8_t sensorEnabled() const;
    void setSensorEnabled(uint8_t mode);

    struct Settings {
        int32_t scaleShift = 0;
        uint8_t scaleInverted = 0;
        int32_t minPosition = 0, maxPosition = 0;
        uint32_t minAngle = 0, maxAngle = 0;
        int32_t minRevolution = 0, maxRevolution = 0;
        uint8_t safeDirection = 0;
        uint32_t moveSpeed = 0;
        uint32_t moveAcceleration = 0;
    };
    Settings settings(size_t channel) const;
    void updateSettings(size_t channel, const Settings& settings);

    uint8_t channelProperty(size_t channel, uint32_t key, int32_t* value) const;
    void setChannelProperty(size_t channel, uint32_t key, int32_t value);

    enum class Table { Debug, Tuning, Config };
    int32_t tableValue(size_t channel, Table table, uint8_t index) const;
    void setTableValue(size_t channel, Table table, uint8_t index, int32_t value);

    struct Capture {
        uint32_t first;
        int32_t second;
        int16_t third;
    };
    Capture captureBuffer(size_t channel, uint8_t buffer) const;

    void appendTriggeredCommand(size_t channel, int32_t value);
    void clearTriggeredCommands(size_t channel);
    size_t triggeredCommands(size_t channel) const;
    // Runs one queued command on every channel that has one; the channels
    // that report triggered commands.
    std::vector<size_t> trigger(uint8_t value);
    uint32_t customSensorConfigurations(size_t channel) const;
    void writeCustomSensorConfiguration(size_t channel);

    // End effectors.
    struct EndEffector {
        uint8_t type;
        int32_t param1;
        uint32_t param2;
    };
    EndEffector endEffector(size_t channel) const;
    uint8_t setEndEffector(size_t channel, const EndEffector& value);
    int32_t force(size_t channel) const;
    uint8_t gotoForce(size_t channel, int32_t force, int32_t speed);
    void zeroForce(size_t channel);
    uint16_t gripperOpening(size_t channel) const;
    uint8_t gotoGripperOpening(size_t channel, int32_t opening, int32_t speed, bool relative);

    // Hand control module.
    bool handControl() const { return setup_.handControl; }
    uint8_t handControlMode() const;
    void setHandControlMode(uint8_t mode);
    static constexpr size_t kSpeedLevels = 32;
    uint8_t speedLevelTableSize() const;
    uint8_t setSpeedLevelTableSize(uint8_t size);
    std::array<uint16_t, 3> speedLevel(uint8_t index) const;
    uint8_t setSpeedLevel(uint8_t index, const std::array<uint16_t, 3>& values);
    void storeSpeedLevelTable();
    size_t storedSpeedLevelTables() const;
    uint16_t slotSize() const;
    uint8_t readSlot(uint8_t slot, uint16_t offset, uint8_t* data, size_t length) const;
    uint8_t writeSlot(uint8_t slot, uint16_t offset, const uint8_t* data, size_t length);
    std::vector<uint8_t> slot(uint8_t slot) const;
    // A faulty EEPROM cell: the next slot write that covers byte `position`
    // of `slot` stores `value` there instead of the byte sent.
    void alterNextSlotWrite(uint8_t slot, uint16_t position, uint8_t value);
    // The whole image, as block reads and writes at image offsets see it;
    // a block that does not lie wholly in the image is refused.
    std::vector<uint8_t> image() const;
    uint8_t readImage(uint16_t offset, uint8_t* data, size_t length) const;
    uint8_t writeImage(uint16_t offset, const uint8_t* data, size_t length);

    // The interface module's RS-232 rate: the one stored, which takes effect
    // at the next reset unless it is set `atOnce`, and the one in effect.
    uint32_t rs232Rate() const;
    uint32_t effectiveRs232Rate() const;
    void setRs232Rate(uint32_t rate, bool atOnce);

    // Interface module index map.
    uint8_t indexMapEntry(uint8_t index) const;
    void setIndexMapEntry(uint8_t index, uint8_t value);
    void finalizeIndexMap();
    size_t indexMapFinalizations() const;

    // Movements that end by themselves, for completion reports.
    std::optional<SimClock::time_point> nextCompletion() const;
    // Channels whose movement ended by `now` since the last call.
    std::vector<size_t> takeCompletions(SimClock::time_point now);

private:
    // A motion with what the first-generation controller reports about it.
    struct Movement {
        Motion path;
        uint8_t movingStatus = channelStatus::kStopped;
        uint16_t holdTime = 0;  // ms after arrival; 60000 holds for ever
        bool endStop = false;  // ends against an end stop: no holding, no mark
        // A search that reads the scale from the mark it finds: the scale
        // offset from its arrival on.
        std::optional<int64_t> scaleOffsetOnArrival;
    };
    struct Channel {
        uint8_t flags = 0;
        Movement motion;
        int64_t scan = 0;  // 12-bit scan level
        Movement scanMotion;
        bool positionKnown = false;
        int64_t scaleOffset = 0;  // reported value less physical value
        uint8_t sensorType = 0;
        Settings settings;
        std::map<uint32_t, int32_t> properties;
        std::array<int32_t, 256> debug{};
        std::array<int32_t, 256> tuning{};
        std::array<int32_t, 256> config{};
        std::vector<int32_t> triggered;
        uint32_t customSensorConfigurations = 0;
        EndEffector endEffector{};
        int32_t force = 0;
        int32_t forceOffset = 0;
        Movement gripper;
    };

    void resetLocked();
    const Channel& at(size_t channel) const { return channels_.at(channel); }
    Channel& at(size_t channel) { return channels_.at(channel); }
    uint8_t closedLoopReady(const Channel& channel) const;
    int64_t limited(const Channel& channel, int64_t target) const;
    void startMotion(Movement& motion, int64_t from, int64_t to, SimClock::duration duration,
                     uint8_t movingStatus, uint16_t holdTime);
    static int64_t valueAt(const Movement& motion, SimClock::time_point now);
    static bool arrived(const Movement& motion, SimClock::time_point now);
    uint8_t statusAt(const Channel& channel, SimClock::time_point now) const;
    SimClock::duration travelTime(const Channel& channel, int64_t distance) const;
    const TravelSetup* travelOf(size_t channel) const;
    // The reported value: the physical one plus the scale offset.
    static int64_t scaleOffsetAt(const Channel& channel, SimClock::time_point now);
    // Takes over the scale a finished search read, before the motion is replaced.
    static void settleScale(Channel& channel, SimClock::time_point now);
    // `target` held back by the end stops; whether one was reached.
    bool atEndStop(size_t channel, int64_t* target) const;
    uint8_t findMarkOnTravel(size_t channel, Channel& c, bool backward, bool autoZero,
                             uint16_t holdTime);

    const SystemSetup setup_;
    mutable std::mutex mutex_;
    bool synchronous_ = true;
    uint8_t sensorEnabled_ = 1;
    std::vector<Channel> channels_;
    uint8_t handControlMode_ = 1;
    uint8_t speedLevelSize_ = 4;
    std::array<std::array<uint16_t, 3>, kSpeedLevels> speedLevels_{};
    size_t speedLevelStores_ = 0;
    HcmImageLayout layout_;
    struct SlotAlteration {
        uint8_t slot;
        uint16_t position;
        uint8_t value;
    };
    std::optional<SlotAlteration> slotAlteration_;
    std::vector<uint8_t> image_;
    std::array<uint8_t, 256> indexMap_{};
    size_t indexMapFinalizations_ = 0;
    uint32_t rs232Rate_ = 9600;
    uint32_t effectiveRs232Rate_ = 9600;
};

}  // namespace vxsim
