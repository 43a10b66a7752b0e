#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "sim/Motion.h"

namespace vxsim {

// Result codes a second-generation controller reports in its replies.
namespace gen2result {
inline constexpr uint16_t kOk = 0x0000;
inline constexpr uint16_t kBufferOverflow = 0x000D;
inline constexpr uint16_t kInvalidKey = 0x0012;
inline constexpr uint16_t kInvalidDataType = 0x0016;
inline constexpr uint16_t kHandleLimitReached = 0x0018;
inline constexpr uint16_t kAborted = 0x0019;
inline constexpr uint16_t kInvalidChannelIndex = 0x0022;
inline constexpr uint16_t kPermissionDenied = 0x0023;
inline constexpr uint16_t kMovementOverridden = 0x0110;
inline constexpr uint16_t kInvalidStreamHandle = 0x0300;
inline constexpr uint16_t kInsufficientFrames = 0x0302;
}  // namespace gen2result

// Properties every simulated controller has.
namespace gen2key {
inline constexpr uint32_t kChannelCount = 0x020F0016;
inline constexpr uint32_t kSerialNumber = 0x020F005E;
// A channel's own: where it is, what it does and its last movement error.
// The movement engine answers them; the stored value adds bits to the state.
inline constexpr uint32_t kPosition = 0x0305001D;  // i64
inline constexpr uint32_t kChannelState = 0x0305000F;
inline constexpr uint32_t kChannelErrorCode = 0x0502007A;
// How the next move's value counts: 1, 3 and 4 from where the channel is.
inline constexpr uint32_t kMoveMode = 0x03050087;
}  // namespace gen2key

// Bits of a channel's state.
namespace gen2state {
inline constexpr int32_t kMoving = 0x1;
inline constexpr int32_t kClosedLoop = 0x2;
inline constexpr int32_t kCalibrating = 0x4;
inline constexpr int32_t kReferencing = 0x8;
inline constexpr int32_t kPositionKnown = 0x80;
inline constexpr int32_t kMoveError = 0x800;
}  // namespace gen2state

// A property value: one 32-bit or 64-bit integer, a text, or an array of
// either integer.
using PropertyValue =
    std::variant<int32_t, int64_t, std::string, std::vector<int32_t>, std::vector<int64_t>>;

// Where a property lives: the device, module or channel index and its key.
struct PropertyAddress {
    uint8_t index = 0;
    uint32_t key = 0;
    auto operator<=>(const PropertyAddress&) const = default;
};

// The movement commands a channel runs.
enum class Gen2Movement { Stop, Calibrate, Reference, Move };

// How long each movement takes, whatever its distance.
struct Gen2MotionTimes {
    std::chrono::milliseconds move{20};
    std::chrono::milliseconds calibrate{20};
    std::chrono::milliseconds reference{20};
};

// A channel's movement ended, with the controller's result code.
struct Gen2Finished {
    uint8_t channel = 0;
    uint16_t result = 0;
    bool operator==(const Gen2Finished&) const = default;
};

// What the trajectory stream tells the host: its flow counts (units
// played so far, units it buffers at most), or its end with a code.
struct Gen2StreamReport {
    uint8_t handle = 0;
    std::optional<std::pair<uint32_t, uint32_t>> counts;
    std::optional<uint16_t> end;
};

// The state of a simulated second-generation controller, apart from any
// wire format: its properties, its channels' movements and its one
// trajectory stream. Safe on any thread.
class Gen2Model {
public:
    struct Property {
        PropertyValue value;
        bool readOnly = false;
    };

    // Adds or replaces a property; a reset brings it back to this value.
    void define(PropertyAddress address, PropertyValue value, bool readOnly = false);
    // A read-only property behind a select register: a read gives the value
    // kept for the selector's current 32-bit value (unknown key for others).
    void defineSelected(PropertyAddress address, PropertyAddress selector, std::map<int32_t, PropertyValue> values);
    // Writes of the property are answered with `result` and change nothing.
    void answerWrites(PropertyAddress address, uint16_t result);

    // The value, or the controller's result code for an unknown key.
    std::pair<uint16_t, PropertyValue> read(PropertyAddress address) const;

    // Reads of `key` at any index are answered by `reader` instead of a
    // stored value (a buffer that each read takes from). `reader` must not
    // call back into the model. An empty `reader` ends this; no read runs
    // it any more once the call returns.
    using Reader = std::function<std::pair<uint16_t, PropertyValue>(uint8_t index)>;
    void answerReads(uint32_t key, Reader reader);
    // Unknown key, read-only property, or a value of another type (a single
    // value for an array or the reverse, i32 for i64, text for a number)
    // give the controller's result code; otherwise the value is stored.
    uint16_t write(PropertyAddress address, const PropertyValue& value);

    std::optional<PropertyValue> value(PropertyAddress address) const;
    size_t writes() const;

    // Back to the defined values, as after a restart: channels stop where
    // they are and the stream is gone, with nothing reported.
    void reset();

    // Channels, each at rest at 0.
    void setChannelCount(size_t channels);
    // Every movement but Stop that `channel` is given from now on fails
    // with `code` (0: they run again): the channel stays put, its state
    // shows the error bit and the error code property holds the code at
    // once, and the movement ends with the code after its usual time.
    void failMovements(uint8_t channel, uint16_t code);
    void setMotionTimes(const Gen2MotionTimes& times);
    // Starts, or with Stop ends, a movement of `channel` (Move travels to
    // `target`, Reference to the mark at 0, Calibrate stays). Gives the
    // ends this causes at once: the stopped or overridden movement, or an
    // unknown channel; the movement itself ends in takeFinished().
    std::vector<Gen2Finished> command(Gen2Movement movement, uint8_t channel, int64_t target = 0);
    int64_t position(size_t channel) const;
    bool moving(size_t channel) const;
    // When the next running movement ends; none while all are at rest.
    std::optional<SimClock::time_point> nextFinish() const;
    // The movements that ended by `now` and were not reported yet.
    std::vector<Gen2Finished> takeFinished(SimClock::time_point now);

    // The stream buffers at most `units` frames of the stream.
    void setStreamCapacity(uint32_t units);
    // One stream at a time: its handle, or 0x18 while one is kept.
    uint16_t openStream(uint8_t* handle);
    // Frames arrived; more than fit end the stream with 0x0D.
    std::vector<Gen2StreamReport> streamUnits(uint8_t handle, uint32_t units);
    // Close plays out what is buffered and then ends with 0; abort ends at
    // once with 0x19. Either frees a stream that ended with an error.
    uint16_t closeStream(uint8_t handle, std::vector<Gen2StreamReport>* reports);
    uint16_t abortStream(uint8_t handle, std::vector<Gen2StreamReport>* reports);
    // Plays `units` buffered frames: the counts after it, and the end when
    // the buffer ran dry (0x0302 unless closing, then 0).
    std::vector<Gen2StreamReport> playStream(uint32_t units);
    // The counts as they stand, if a stream runs.
    std::vector<Gen2StreamReport> streamCounts() const;
    uint8_t streamHandle() const;
    uint32_t streamBuffered() const;

private:
    struct Channel {
        Motion path;
        Gen2Movement movement = Gen2Movement::Stop;
        int32_t moveMode = 0;  // of the running move
        bool referenced = false;
        uint16_t failWith = 0;
        uint16_t error = 0;    // shown in the state until the next command
        uint16_t endWith = 0;  // what the running movement ends with
    };
    // The channel's answers to the keys the movement engine serves.
    std::optional<PropertyValue> channelValueLocked(PropertyAddress address, const PropertyValue& stored) const;
    int32_t moveModeLocked(uint8_t channel) const;
    struct Stream {
        uint8_t handle = 0;  // 0: none
        bool closing = false;
        bool ended = false;  // with an error, kept until closed
        uint32_t buffered = 0;
        uint32_t played = 0;
    };
    std::vector<Gen2StreamReport> endStreamLocked(uint16_t code);

    std::vector<Channel> channels_;
    Gen2MotionTimes times_;
    Stream stream_;
    uint8_t nextStreamHandle_ = 1;
    uint32_t streamCapacity_ = 16;

    mutable std::mutex mutex_;
    std::map<PropertyAddress, Property> defined_;
    std::map<PropertyAddress, Property> current_;
    struct Selected {
        PropertyAddress selector;
        std::map<int32_t, PropertyValue> values;
    };
    std::map<PropertyAddress, Selected> selected_;
    std::map<PropertyAddress, uint16_t> writeAnswers_;
    std::map<uint32_t, Reader> readers_;
    size_t writes_ = 0;
};

}  // namespace vxsim
