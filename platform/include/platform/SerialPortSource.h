#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vxplatform {

// Where the programs' lists of serial ports come from.
using SerialPortSource = std::function<std::vector<std::string>()>;

// The serial ports as the current source lists them: listSerialPorts()
// unless a test has put another source in its place.
std::vector<std::string> availableSerialPorts();

// Puts `source` in place for the whole process (an empty function restores
// the machine's list) and gives back the source it replaces.
SerialPortSource replaceSerialPortSource(SerialPortSource source);

// Lists `ports` while it lives, then puts the previous source back.
class ScopedSerialPorts {
public:
    explicit ScopedSerialPorts(std::vector<std::string> ports);
    ~ScopedSerialPorts();
    ScopedSerialPorts(const ScopedSerialPorts&) = delete;
    ScopedSerialPorts& operator=(const ScopedSerialPorts&) = delete;

private:
    SerialPortSource previous_;
};

}  // namespace vxplatform
