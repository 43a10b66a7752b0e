#pragma once

#include <cstdint>

namespace qmx {

// One turn in micro-degrees.
inline constexpr int64_t kMicrodegreesPerTurn = 360000000;
// Second-generation values carry three more decimal places than
// first-generation positions, speeds and offsets.
inline constexpr int64_t kCtlScale = 1000;

// A rotary position in 1/1000 micro-degree as an angle of 0 to 359999999
// micro-degrees and a whole number of turns; rounded half away from zero.
void toAngleAndRevolution(int64_t value, uint32_t* angle, int32_t* revolution);
// The inverse, for angles below one turn.
int64_t fromAngleAndRevolution(uint32_t angle, int32_t revolution);

// v / d rounded half away from zero (d > 0), kept as 32 bits.
int32_t roundedDivide(int64_t value, int64_t divisor);
// A first-generation value as the second generation holds it, and back.
inline int64_t scaleUp(int32_t value) { return static_cast<int64_t>(value) * kCtlScale; }
inline int32_t scaleDown(int64_t value) { return roundedDivide(value, kCtlScale); }

// A firmware version from its kind and the numbers v[1..3] (v[0] unused).
uint32_t packVersion(int32_t kind, const int32_t* v);

}  // namespace qmx
