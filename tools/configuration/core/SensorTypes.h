#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// The sensor types the configuration tool offers, how it classifies them,
// and the decision of the distance-code inversion check. No widgets.
namespace sensortypes {

enum class Positioner { Linear, HighLoadVertical, Rotary, Goniometer, IrisDiaphragm };
enum class SensorClass { Nano, Optical, Magnetic };
enum class Actuator { Standard, Compact, Large, HighForce, LowProfile, Vacuum };
enum class ReferenceMarks { Single, OnePerTurn, DistanceCoded };

struct SensorType {
    uint32_t code;
    const char* designation;
    Positioner positioner;
    SensorClass sensor;
    Actuator actuator;
    ReferenceMarks marks;
    bool endStops;
    int radiusTenthsMm;  // goniometers only
    bool described;
};

// The 50 offered codes, in ascending order.
const std::vector<SensorType>& offered();
// The offered entry of `code`, or null.
const SensorType* find(uint32_t code);
// One sentence on the positioner behind `code`; empty for a code without
// a description (22, 45, 46) or one not offered.
QString description(uint32_t code);

// Position sensor types are read and moved in positions; every other code
// (0 and unknown ones included) in angles.
bool isPosition(uint32_t code);
// Sensors with distance-coded reference marks; only these can be checked
// for an inverted distance code.
bool isDistanceCoded(uint32_t code);

// Direction codes of the inversion check's reference searches.
constexpr uint32_t kPositionForward = 4;
constexpr uint32_t kPositionBackward = 5;
constexpr uint32_t kAngleForward = 0;
constexpr uint32_t kAngleBackward = 1;

// The search direction of the check: `backward` is the choice of the
// direction box.
uint32_t searchDirection(uint32_t code, bool backward);
// The other direction of the same pair (4 and 5, 0 and 1).
uint32_t reversed(uint32_t direction);

// Whether the second mark lies against the direction of travel, so that the
// distance code's flag is wrong. Equal readings count as right.
bool positionFlagWrong(uint32_t direction, int32_t first, int32_t second);
// Across at most one revolution: the revolution counts only decide whether a
// full turn is added or taken away.
int32_t angleDifference(uint32_t firstAngle, int32_t firstRevolution, uint32_t secondAngle,
                        int32_t secondRevolution);
bool angleFlagWrong(uint32_t direction, uint32_t firstAngle, int32_t firstRevolution,
                    uint32_t secondAngle, int32_t secondRevolution);

}  // namespace sensortypes
