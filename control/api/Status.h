#pragma once

#include "QMXControl.h"

namespace qmx {

// The static text of a status code, or the text for an unknown code.
const char* statusText(VX_STATUS status);

}  // namespace qmx
