#pragma once

#include <cstdint>

namespace vxplatform::detail {

// Sets a rate that has no B-constant of its own. Kept apart because the
// kernel's termios2 header cannot share a translation unit with <termios.h>.
// Returns 0 or an errno value.
int setArbitraryLineRate(int fd, uint32_t rate);

}  // namespace vxplatform::detail
