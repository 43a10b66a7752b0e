#include "SensorTypes.h"

#include <algorithm>
#include <array>

namespace sensortypes {

namespace {

constexpr int64_t kFullTurn = 360000000;  // micro-degrees

constexpr std::array<uint32_t, 16> kPositionTypes = {1,  5,  6,  9,  18, 21, 24, 32,
                                                     34, 35, 38, 40, 41, 42, 43, 44};
constexpr std::array<uint32_t, 7> kDistanceCodedTypes = {6, 18, 24, 25, 35, 38, 40};

using P = Positioner;
using S = SensorClass;
using A = Actuator;
using M = ReferenceMarks;

// Codes 5 and 21, 6 and 18, 26 and 28, 27 and 29 name the same positioner,
// so they share their descriptions.
const std::vector<SensorType> kOffered = {
    {1, "LNS", P::Linear, S::Nano, A::Standard, M::Single, true, 0, true},
    {2, "RNS", P::Rotary, S::Nano, A::Standard, M::OnePerTurn, false, 0, true},
    {5, "LNL", P::Linear, S::Nano, A::Large, M::Single, true, 0, true},
    {6, "LOS-D", P::Linear, S::Optical, A::Standard, M::DistanceCoded, true, 0, true},
    {8, "RNC", P::Rotary, S::Nano, A::Compact, M::OnePerTurn, false, 0, true},
    {9, "LNC", P::Linear, S::Nano, A::Compact, M::Single, true, 0, true},
    {11, "GNS-43", P::Goniometer, S::Nano, A::Standard, M::Single, true, 435, true},
    {12, "GNS-61", P::Goniometer, S::Nano, A::Standard, M::Single, true, 615, true},
    {14, "RNL", P::Rotary, S::Nano, A::Large, M::OnePerTurn, false, 0, true},
    {16, "GNC-31", P::Goniometer, S::Nano, A::Compact, M::Single, true, 310, true},
    {17, "GNL-77", P::Goniometer, S::Nano, A::Large, M::Single, true, 775, true},
    {18, "LOS-D2", P::Linear, S::Optical, A::Standard, M::DistanceCoded, true, 0, true},
    {19, "ROS", P::Rotary, S::Optical, A::Standard, M::OnePerTurn, false, 0, true},
    {20, "ROC", P::Rotary, S::Optical, A::Compact, M::OnePerTurn, false, 0, true},
    {21, "LNL2", P::Linear, S::Nano, A::Large, M::Single, true, 0, true},
    {22, "X22", P::Rotary, S::Nano, A::Standard, M::OnePerTurn, false, 0, false},
    {23, "INS", P::IrisDiaphragm, S::Nano, A::Standard, M::Single, true, 0, true},
    {24, "LOL-D", P::Linear, S::Optical, A::Large, M::DistanceCoded, true, 0, true},
    {25, "ROS-D", P::Rotary, S::Optical, A::Standard, M::DistanceCoded, false, 0, true},
    {26, "GOS-43", P::Goniometer, S::Optical, A::Standard, M::Single, true, 435, true},
    {27, "GOS-61", P::Goniometer, S::Optical, A::Standard, M::Single, true, 615, true},
    {28, "GOS-43B", P::Goniometer, S::Optical, A::Standard, M::Single, true, 435, true},
    {29, "GOS-61B", P::Goniometer, S::Optical, A::Standard, M::Single, true, 615, true},
    {30, "RMS", P::Rotary, S::Magnetic, A::Standard, M::OnePerTurn, false, 0, true},
    {31, "RMC", P::Rotary, S::Magnetic, A::Compact, M::OnePerTurn, false, 0, true},
    {32, "VNS", P::HighLoadVertical, S::Nano, A::Standard, M::Single, true, 0, true},
    {33, "GMS-50", P::Goniometer, S::Magnetic, A::Standard, M::Single, true, 500, true},
    {34, "LNV", P::Linear, S::Nano, A::Vacuum, M::Single, true, 0, true},
    {35, "VOS-D", P::HighLoadVertical, S::Optical, A::Standard, M::DistanceCoded, true, 0, true},
    {36, "RNP", P::Rotary, S::Nano, A::LowProfile, M::OnePerTurn, false, 0, true},
    {37, "IOS", P::IrisDiaphragm, S::Optical, A::Standard, M::Single, true, 0, true},
    {38, "LOC-D", P::Linear, S::Optical, A::Compact, M::DistanceCoded, true, 0, true},
    {39, "ROL", P::Rotary, S::Optical, A::Large, M::OnePerTurn, false, 0, true},
    {40, "LOH-D", P::Linear, S::Optical, A::HighForce, M::DistanceCoded, true, 0, true},
    {41, "LMS", P::Linear, S::Magnetic, A::Standard, M::Single, true, 0, true},
    {42, "LMC", P::Linear, S::Magnetic, A::Compact, M::Single, true, 0, true},
    {43, "LML", P::Linear, S::Magnetic, A::Large, M::Single, false, 0, true},
    {44, "VMS", P::HighLoadVertical, S::Magnetic, A::Standard, M::Single, true, 0, true},
    {45, "X45", P::Rotary, S::Optical, A::Standard, M::OnePerTurn, false, 0, false},
    {46, "X46", P::Rotary, S::Magnetic, A::Standard, M::OnePerTurn, false, 0, false},
    {47, "GNH-43", P::Goniometer, S::Nano, A::HighForce, M::Single, true, 435, true},
    {48, "GNH-61", P::Goniometer, S::Nano, A::HighForce, M::Single, true, 615, true},
    {49, "RNH", P::Rotary, S::Nano, A::HighForce, M::OnePerTurn, false, 0, true},
    {50, "RML", P::Rotary, S::Magnetic, A::Large, M::OnePerTurn, false, 0, true},
    {51, "GMC-31", P::Goniometer, S::Magnetic, A::Compact, M::Single, true, 310, true},
    {52, "GML-77", P::Goniometer, S::Magnetic, A::Large, M::Single, true, 775, true},
    {53, "IMS", P::IrisDiaphragm, S::Magnetic, A::Standard, M::Single, true, 0, true},
    {54, "ROH", P::Rotary, S::Optical, A::HighForce, M::OnePerTurn, false, 0, true},
    {55, "ROV", P::Rotary, S::Optical, A::Vacuum, M::OnePerTurn, false, 0, true},
    {56, "GOL-77", P::Goniometer, S::Optical, A::Large, M::Single, true, 775, true},
};

const char* positionerText(Positioner positioner) {
    switch (positioner) {
    case P::Linear: return "Linear positioner";
    case P::HighLoadVertical: return "High-load vertical positioner";
    case P::Rotary: return "Rotary positioner";
    case P::Goniometer: return "Goniometer";
    case P::IrisDiaphragm: return "Iris diaphragm";
    }
    return "";
}

const char* sensorText(SensorClass sensor) {
    switch (sensor) {
    case S::Nano: return "nano sensor";
    case S::Optical: return "optical sensor";
    case S::Magnetic: return "magnetic sensor";
    }
    return "";
}

const char* actuatorText(Actuator actuator) {
    switch (actuator) {
    case A::Standard: return "standard actuator";
    case A::Compact: return "compact actuator";
    case A::Large: return "large actuator";
    case A::HighForce: return "high-force actuator";
    case A::LowProfile: return "low-profile actuator";
    case A::Vacuum: return "vacuum actuator";
    }
    return "";
}

const char* marksText(ReferenceMarks marks) {
    switch (marks) {
    case M::Single: return "a single reference mark";
    case M::OnePerTurn: return "one reference mark per turn";
    case M::DistanceCoded: return "distance-coded reference marks";
    }
    return "";
}

template <size_t N>
bool contains(const std::array<uint32_t, N>& codes, uint32_t code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

}  // namespace

const std::vector<SensorType>& offered() { return kOffered; }

const SensorType* find(uint32_t code) {
    for (const SensorType& type : kOffered)
        if (type.code == code) return &type;
    return nullptr;
}

QString description(uint32_t code) {
    const SensorType* type = find(code);
    if (type == nullptr || !type->described) return QString();
    QString text = QStringLiteral("%1 with %2, %3, %4 and %5")
                       .arg(QLatin1String(positionerText(type->positioner)),
                            QLatin1String(sensorText(type->sensor)),
                            QLatin1String(actuatorText(type->actuator)),
                            QLatin1String(marksText(type->marks)),
                            type->endStops ? QStringLiteral("end stops")
                                           : QStringLiteral("no end stops"));
    if (type->positioner == P::Goniometer)
        text += QStringLiteral(", radius %1 mm").arg(type->radiusTenthsMm / 10.0, 0, 'f', 1);
    return text + QLatin1Char('.');
}

bool isPosition(uint32_t code) { return contains(kPositionTypes, code); }

bool isDistanceCoded(uint32_t code) { return contains(kDistanceCodedTypes, code); }

uint32_t searchDirection(uint32_t code, bool backward) {
    if (isPosition(code)) return backward ? kPositionBackward : kPositionForward;
    return backward ? kAngleBackward : kAngleForward;
}

uint32_t reversed(uint32_t direction) {
    switch (direction) {
    case kPositionForward: return kPositionBackward;
    case kPositionBackward: return kPositionForward;
    case kAngleForward: return kAngleBackward;
    case kAngleBackward: return kAngleForward;
    default: return direction;
    }
}

bool positionFlagWrong(uint32_t direction, int32_t first, int32_t second) {
    const int64_t d = static_cast<int64_t>(second) - first;
    return (direction == kPositionForward && d < 0) || (direction == kPositionBackward && d > 0);
}

int32_t angleDifference(uint32_t firstAngle, int32_t firstRevolution, uint32_t secondAngle,
                        int32_t secondRevolution) {
    int64_t offset = 0;
    if (secondRevolution > firstRevolution) offset = kFullTurn;
    if (secondRevolution < firstRevolution) offset = -kFullTurn;
    // Signed 32-bit arithmetic, as the controller's counts wrap.
    return static_cast<int32_t>(static_cast<uint32_t>(offset) + (secondAngle - firstAngle));
}

bool angleFlagWrong(uint32_t direction, uint32_t firstAngle, int32_t firstRevolution,
                    uint32_t secondAngle, int32_t secondRevolution) {
    const int32_t d = angleDifference(firstAngle, firstRevolution, secondAngle, secondRevolution);
    return (direction == kAngleForward && d < 0) || (direction == kAngleBackward && d > 0);
}

}  // namespace sensortypes
