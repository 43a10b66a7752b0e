#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vxfw {

enum class PortType : uint32_t { Usb = 0, Com = 1, Network = 2 };

// A byte stream to a controller system over one kind of interface. Every
// failure is an UpdateException.
class Port {
public:
    virtual ~Port();
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Replaces `out` with the locators this kind of port can reach, sorted
    // by byte value.
    virtual void enumerate(std::vector<std::string>& out) = 0;
    virtual void setBaudRate(uint32_t baud) = 0;
    virtual void open(const std::string& locator) = 0;
    // Never throws.
    virtual void close() = 0;
    virtual void setTimeout(uint32_t milliseconds) = 0;
    virtual void send(uint32_t count, const uint8_t bytes[]) = 0;
    // Returns only when exactly `count` bytes were copied to `bytes`.
    virtual void receive(uint32_t count, uint8_t bytes[]) = 0;

    PortType portType() const { return type_; }
    bool isOpen() const { return open_; }
    // The locator of the last successful open.
    const std::string& locator() const { return locator_; }

protected:
    explicit Port(PortType type) : type_(type) {}

    void markOpen(const std::string& locator) {
        locator_ = locator;
        open_ = true;
    }
    void markClosed() { open_ = false; }

private:
    std::string locator_;
    const PortType type_;
    bool open_ = false;
};

}  // namespace vxfw
