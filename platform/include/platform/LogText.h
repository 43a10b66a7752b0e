#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vxplatform {

// Elapsed time as the libraries' log lines show it: "-" when negative, the
// whole hours and ":" only from one hour on, the remaining whole seconds,
// "." and six digits of microseconds. 12.000345; 1:15.250000.
std::string formatElapsed(std::chrono::microseconds elapsed);

// Bytes as two lower-case hex digits each, separated by one blank.
std::string hexDump(const uint8_t* bytes, size_t count);

}  // namespace vxplatform
