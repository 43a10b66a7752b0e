#pragma once

// The list of serial ports that the three serial listings share, with its
// process-wide cache.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vxio {

struct ComPortEntry {
    std::string name;        // full device path, "/dev/ttyUSB0"
    bool available = false;  // could be opened when the list was read
};

// Where the port names and the cache's time come from. Tests put
// pseudo-terminals here (sysfs does not show them) and move time on.
struct ComPortSource {
    std::function<std::vector<std::string>()> listPorts;         // empty: the machine's ports
    std::function<std::chrono::steady_clock::time_point()> now;  // empty: the steady clock
};

// Replaces the source and forgets the cache.
void setComPortSource(ComPortSource source);

// The ports now, each probed for availability; never fails.
std::vector<ComPortEntry> readComPorts();

// Reads the ports again when forced or when the cache is older than 3 seconds.
void refreshComPortCache(bool force);

std::vector<ComPortEntry> cachedComPorts();

}  // namespace vxio
