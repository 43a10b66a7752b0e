#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "VeltraxCTL.h"
#include "VeltraxIO.h"

namespace vxctl {

// The option texts of the searches that the caller's option lines ask
// for, in the order they run: USB, then network unless
// "no-network-devices", then serial with "include-serial-devices".
std::vector<std::string> searchOptionTexts(std::string_view options);

// The I/O library's enumeration, replaceable by tests.
using Enumerate = std::function<VX_IO_Result(int type, const char* options, char* buffer, size_t* size)>;

// Runs the searches and joins their device lists with LF into `deviceList`,
// ending it with a NUL; *deviceListLen is its capacity on entry and the
// joined length on return, also when it does not fit.
VX_CTL_Result findDevices(const char* options, char* deviceList, size_t* deviceListLen,
                          const Enumerate& enumerate = VX_IO_EnumerateDevices);

}  // namespace vxctl
