#include "platform/SerialPortSource.h"

#include <mutex>
#include <utility>

#include "platform/SerialPortList.h"

namespace vxplatform {

namespace {

std::mutex sourceMutex;
SerialPortSource replacement;  // empty: the machine's ports

}  // namespace

std::vector<std::string> availableSerialPorts() {
    SerialPortSource source;
    {
        std::lock_guard<std::mutex> lock(sourceMutex);
        source = replacement;
    }
    return source ? source() : listSerialPorts();
}

SerialPortSource replaceSerialPortSource(SerialPortSource source) {
    std::lock_guard<std::mutex> lock(sourceMutex);
    return std::exchange(replacement, std::move(source));
}

ScopedSerialPorts::ScopedSerialPorts(std::vector<std::string> ports)
    : previous_(replaceSerialPortSource([ports = std::move(ports)] { return ports; })) {}

ScopedSerialPorts::~ScopedSerialPorts() { replaceSerialPortSource(std::move(previous_)); }

}  // namespace vxplatform
