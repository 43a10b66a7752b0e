#include "systems/gen2/CtlConversions.h"

namespace qmx {

namespace {

int64_t roundedDivide64(int64_t value, int64_t divisor) {
    if (value > 0) return (value + divisor / 2) / divisor;
    if (value < 0) return (value - divisor / 2) / divisor;
    return 0;
}

}  // namespace

void toAngleAndRevolution(int64_t value, uint32_t* angle, int32_t* revolution) {
    const int64_t micro = roundedDivide64(value, kCtlScale);
    int64_t turns = micro / kMicrodegreesPerTurn;
    if (micro % kMicrodegreesPerTurn < 0) --turns;  // floor, so the angle is never negative
    *revolution = static_cast<int32_t>(turns);
    *angle = static_cast<uint32_t>(micro - turns * kMicrodegreesPerTurn);
}

int64_t fromAngleAndRevolution(uint32_t angle, int32_t revolution) {
    return (static_cast<int64_t>(revolution) * kMicrodegreesPerTurn + angle) * kCtlScale;
}

int32_t roundedDivide(int64_t value, int64_t divisor) { return static_cast<int32_t>(roundedDivide64(value, divisor)); }

uint32_t packVersion(int32_t kind, const int32_t* v) {
    const uint32_t k = static_cast<uint32_t>(kind);
    const uint32_t high = ((k * 8u) | (static_cast<uint32_t>(v[3]) & 7u)) << 8 | static_cast<uint32_t>(v[2]);
    return (high << 16) | static_cast<uint32_t>(v[1]);
}

}  // namespace qmx
