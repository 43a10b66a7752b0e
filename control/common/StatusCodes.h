#pragma once

#include "QMXControl.h"

namespace qmx {

// The status codes by name are the public header's VX_ names; Status.cpp
// gives each its text. These two are the second-generation driver's own,
// without a text of their own.
inline constexpr VX_STATUS kUnknownDebugValue = 223;
inline constexpr VX_STATUS kUnknownTuningParameter = 225;

}  // namespace qmx
