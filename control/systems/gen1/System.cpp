#include "systems/gen1/System.h"

#include <cstdio>

#include "common/PositionerTypes.h"
#include "systems/gen1/OpenHelpers.h"

namespace qmx {

namespace {

constexpr uint32_t kHelloWaitMs = 2000;
constexpr uint32_t kStartUpWaitMs = 5000;
constexpr uint32_t kModuleVersionWaitMs = 100;
constexpr uint32_t kChannelWaitMs = 2000;
constexpr int32_t kMinOpenTimeoutMs = 100;
constexpr int32_t kMaxOpenTimeoutMs = 60000;

bool isHello(const RawPacket& packet) {
    return packet.address() == address::kInterface && packet.opcode() == opcode::kHello;
}

bool isErrorWith(const RawPacket& packet, uint8_t code) {
    return packet.opcode() == opcode::kError && packet.u8(0) == code;
}

}  // namespace

std::string formatFirmwareVersion(uint32_t version) {
    return std::to_string((version >> 24) & 7) + "." + std::to_string((version >> 16) & 0xFF) +
           "." + std::to_string(version & 0xFFFF);
}

System::System() = default;

System::~System() { closeDevice(); }

VX_STATUS System::open(const char* locator, const char* options) {
    std::lock_guard<std::mutex> command(commandMutex_);
    if (locator == nullptr) return VX_INVALID_SYSTEM_LOCATOR;
    if (ioHandle_ != kNoHandle) return VX_INITIALIZATION_ERROR;
    {
        std::lock_guard<std::mutex> lock(packetMutex_);
        closed_ = false;
    }

    int type = 0;
    if (VX_IO_GetLocatorInterfaceType(&type, locator) != 0) return VX_INVALID_SYSTEM_LOCATOR;
    interfaceType_ = static_cast<uint32_t>(type);

    const std::string optionText = options ? options : "";
    const bool reset = optionText.find("reset") != std::string::npos;
    const bool async = optionText.find("async") != std::string::npos;
    const int32_t openTimeout = parseOpenTimeout(optionText.c_str());
    if (openTimeout < kMinOpenTimeoutMs || openTimeout > kMaxOpenTimeoutMs) return VX_INVALID_PARAMETER;

    std::string ioOptions;
    if (interfaceType_ == VX_IO_IFACE_USB)
        ioOptions = "product-name Veltrax QMX-I\nbaudrate 500000\n";
    else if (interfaceType_ == VX_IO_IFACE_NETWORK)
        ioOptions = "connect-timeout " + std::to_string(openTimeout);
    else
        return VX_INVALID_SYSTEM_LOCATOR;

    VX_IO_Handle handle = kNoHandle;
    switch (VX_IO_Open(&handle, locator, ioOptions.c_str(), this, &System::systemReceiveCallback,
                       &System::systemErrorCallback)) {
    case VX_IO_OK:
        break;
    case VX_IO_INVALID_LOCATOR:
        return VX_INVALID_SYSTEM_LOCATOR;
    case VX_IO_DRIVER_NOT_AVAILABLE:
        return VX_DRIVER_ERROR;
    case VX_IO_DEVICE_NOT_FOUND:
        return VX_NO_SYSTEMS_FOUND;
    default:
        return VX_INITIALIZATION_ERROR;
    }
    {
        std::lock_guard<std::mutex> io(ioMutex_);
        ioHandle_ = handle;
    }
    locator_ = locator;
    uniqueLocator_ = locator;

    {
        std::lock_guard<std::mutex> lock(packetMutex_);
        abandoned_.clear();
    }
    VX_STATUS status = startUp(reset, async);
    {
        std::lock_guard<std::mutex> lock(packetMutex_);
        abandoned_.clear();
    }
    if (status != VX_OK) {
        closeDevice();
        mode_ = kNotOpen;
    }
    return status;
}

VX_STATUS System::startUp(bool reset, bool async) {
    if (interfaceType_ == VX_IO_IFACE_NETWORK) {
        // The interface module greets every new connection.
        RawPacket hello;
        if (waitForAnswer(&hello, kHelloWaitMs, true) != VX_OK || !isHello(hello)) return VX_INITIALIZATION_ERROR;
    }
    if (interfaceType_ == VX_IO_IFACE_USB &&
        uniqueLocator_.find("usb:ix:") != std::string::npos) {
        // An index changes with the enumeration order; the adapter's chip id
        // names the same system again.
        char id[1024] = {};
        size_t size = sizeof id;
        VX_IO_Result read = VX_IO_OK;
        {
            // Held through the call, as for a send: a close frees the
            // handle's number for the next open.
            std::lock_guard<std::mutex> io(ioMutex_);
            read = VX_IO_GetProperty(ioHandle_, "ftdi-id", id, &size);
        }
        if (read != VX_IO_OK) return VX_INITIALIZATION_ERROR;
        id[sizeof id - 1] = '\0';
        uniqueLocator_ = std::string("usb:id:") + id;
    }
    if (reset && resetHandshake() != VX_OK) return VX_INITIALIZATION_ERROR;

    VX_STATUS status = readChannels();
    if (status == VX_OK) status = readFirmwareVersions();
    if (status == VX_OK) status = readFeaturePermissions();
    if (status == VX_OK) status = setCommunicationMode(async ? kAsynchronous : kSynchronous);
    return status;
}

VX_STATUS System::resetHandshake() {
    {
        std::lock_guard<std::mutex> lock(packetMutex_);
        // The USB adapter delivers one junk byte after the module resets.
        if (interfaceType_ == VX_IO_IFACE_USB) skipFirstByte_ = true;
    }
    discardQueued();
    VX_STATUS status = sendImmediate(OutPacket(address::kInterface, opcode::kReset));
    if (status != VX_OK) return status;
    RawPacket answer;
    status = waitForAnswer(&answer, kStartUpWaitMs, true);
    if (status != VX_OK) return status;
    return isHello(answer) ? VX_OK : VX_INITIALIZATION_ERROR;
}

VX_STATUS System::readChannels() {
    discardQueued();
    VX_STATUS status = sendPacket(OutPacket(address::kInterface, opcode::kReadChannels));
    if (status != VX_OK) return status;

    RawPacket answer;
    status = waitForAnswer(&answer, kStartUpWaitMs, true);
    if (status != VX_OK) return status;
    if (isHello(answer)) {
        status = waitForAnswer(&answer, kStartUpWaitMs, true);
        if (status != VX_OK) return status;
    }
    if (answer.address() != address::kInterface || answer.opcode() != opcode::kChannelCount)
        return VX_INITIALIZATION_ERROR;
    uint8_t count = answer.u8(0);
    if (count >= kMaxChannels) return VX_INTERNAL_ERROR;
    channelCount_ = count;

    for (uint32_t i = 0; i < channelCount_; ++i) {
        status = waitForAnswer(&answer, kStartUpWaitMs, true);
        if (status != VX_OK) return status;
        if (answer.address() != address::kInterface || answer.opcode() != opcode::kChannelEntry)
            return VX_INITIALIZATION_ERROR;
        channels_[i] = ChannelRecord{};
        channels_[i].moduleWord = answer.u16(0);
    }
    return VX_OK;
}

VX_STATUS System::readFirmwareVersions() {
    auto request = [](uint16_t target) {
        return OutPacket(target, opcode::kFirmwareVersion).zeros(8);
    };
    RawPacket answer;

    discardQueued();
    VX_STATUS status = sendPacket(request(address::kInterface));
    if (status != VX_OK) return status;
    status = waitForAnswer(&answer, kModuleVersionWaitMs, true);
    if (status == VX_TIMEOUT) abandon(address::kInterface, opcode::kFirmwareVersion, Clock::now());
    if (status == VX_OK) {
        if (answer.address() != address::kInterface || answer.opcode() != opcode::kFirmwareVersion)
            return VX_INITIALIZATION_ERROR;
        interfaceFirmware_ = answer.u32(0);
        interfaceFirmwareKnown_ = true;
    } else if (status != VX_TIMEOUT) {
        return status;
    }

    for (uint32_t i = 0; i < channelCount_; ++i) {
        ChannelRecord& channel = channels_[i];
        discardQueued();
        status = sendPacket(request(channel.moduleWord));
        if (status != VX_OK) return status;
        status = waitForAnswer(&answer, kChannelWaitMs, true);
        if (status == VX_TIMEOUT) {
            abandon(channel.moduleWord, opcode::kFirmwareVersion, Clock::now());
            continue;
        }
        if (status != VX_OK) return status;
        if (answer.address() != channel.moduleWord) return VX_INITIALIZATION_ERROR;
        if (answer.opcode() == opcode::kFirmwareVersion) {
            channel.firmwareVersion = answer.u32(0);
            channel.hasFirmwareVersion = true;
            if (isPositionerChannel(*this, i)) {
                channel.secondFirmwareVersion = answer.u32(4);
                channel.hasSecondFirmwareVersion = true;
            }
        } else if (!isErrorWith(answer, opcode::kAcknowledge)) {
            return VX_INITIALIZATION_ERROR;
        }
    }

    discardQueued();
    status = sendPacket(request(address::kHandControl));
    if (status != VX_OK) return status;
    status = waitForAnswer(&answer, kModuleVersionWaitMs, true);
    if (status == VX_TIMEOUT) {
        // No hand control module, or a slow one.
        abandon(address::kHandControl, opcode::kFirmwareVersion, Clock::now());
        return VX_OK;
    }
    if (status != VX_OK) return status;
    if (answer.address() != address::kHandControl || answer.opcode() != opcode::kFirmwareVersion)
        return VX_INITIALIZATION_ERROR;
    handControlFirmware_ = answer.u32(0);
    handControlFirmwareKnown_ = true;
    return VX_OK;
}

VX_STATUS System::readFeaturePermissions() {
    auto request = [](uint16_t target, uint8_t index) {
        return OutPacket(target, opcode::kFeature).u8(0x02).u8(index).u8(0);
    };
    RawPacket answer;
    for (uint32_t i = 0; i < channelCount_; ++i) {
        ChannelRecord& channel = channels_[i];
        discardQueued();
        VX_STATUS status = sendPacket(request(channel.moduleWord, 0xFF));
        if (status != VX_OK) return status;
        status = waitForAnswer(&answer, kChannelWaitMs, true);
        if (status == VX_TIMEOUT) {
            abandon(channel.moduleWord, opcode::kFeature, Clock::now());
            continue;
        }
        if (status != VX_OK) return status;
        if (answer.address() != channel.moduleWord) return VX_INITIALIZATION_ERROR;
        if (isErrorWith(answer, opcode::kAcknowledge)) continue;
        if (answer.opcode() != opcode::kFeature) return VX_INITIALIZATION_ERROR;

        // The record holds 16 bytes; further ones are not asked for.
        uint32_t count = answer.u8(2);
        if (count > kMaxFeatureBytes) count = kMaxFeatureBytes;
        for (uint32_t index = 0; index < count; ++index) {
            discardQueued();
            status = sendPacket(request(channel.moduleWord, static_cast<uint8_t>(index)));
            if (status != VX_OK) return status;
            status = waitForAnswer(&answer, kChannelWaitMs, true);
            if (status != VX_OK) return status;
            if (answer.address() != channel.moduleWord || answer.opcode() != opcode::kFeature)
                return VX_INITIALIZATION_ERROR;
            channel.featureBytes[index] = answer.u8(2);
            channel.featureCount = index + 1;
        }
    }
    return VX_OK;
}

VX_STATUS System::setCommunicationMode(Mode newMode) {
    mode_ = newMode;
    OutPacket request(address::kSystem, opcode::kFlags);
    if (newMode == kSynchronous)
        request.u8(0x03).u8(0x00);
    else
        request.u8(0x01).u8(0x01);
    discardQueued();
    VX_STATUS status = sendPacket(request);
    if (status != VX_OK || newMode == kAsynchronous) return status;
    // Every channel confirms the synchronous mode.
    for (uint32_t i = 0; i < channelCount_; ++i) {
        uint32_t code = 0;
        if (waitForAcknowledge(kAnyAddress, &code, kStartUpWaitMs) != VX_OK || code != VX_OK) return VX_INITIALIZATION_ERROR;
    }
    return VX_OK;
}

void System::closeDevice() {
    std::lock_guard<std::mutex> io(ioMutex_);
    if (ioHandle_ == kNoHandle) return;
    VX_IO_Close(ioHandle_, 1);
    ioHandle_ = kNoHandle;
}

VX_STATUS System::close() {
    // Under the command mutex, so that no command is between its checks and
    // its send while the handle goes (handles are reused first-free).
    std::lock_guard<std::mutex> command(commandMutex_);
    closeDevice();
    // A receive waiting without limit would otherwise wait for ever.
    std::lock_guard<std::mutex> lock(packetMutex_);
    closed_ = true;
    signalPacketWaiters();
    return VX_OK;
}

VX_STATUS System::getDescription(std::string* text) {
    std::lock_guard<std::mutex> command(commandMutex_);
    std::string out = "  Connection Interface: ";
    out += interfaceType_ == VX_IO_IFACE_USB       ? "usb"
           : interfaceType_ == VX_IO_IFACE_NETWORK ? "network"
                                                   : "<unknown>";
    out += "\n  System locator used to open system: " + locator_;
    out += "\n  Unique system locator: " + uniqueLocator_ + "\n";
    if (interfaceType_ == VX_IO_IFACE_USB) {
        uint32_t id = 0;
        VX_STATUS status = getSystemID(&id);
        if (status != VX_OK) return status;
        out += "  System ID: " + std::to_string(id) + "\n";
    }
    out += "  IM FW: " +
           (interfaceFirmwareKnown_ ? formatFirmwareVersion(interfaceFirmware_) : "unknown") + "\n";
    out += "  HCM FW: " +
           (handControlFirmwareKnown_ ? formatFirmwareVersion(handControlFirmware_) : "unknown") +
           "\n";
    out += "  Number of Channels: " + std::to_string(channelCount_) + "\n";
    for (uint32_t i = 0; i < channelCount_; ++i) {
        const ChannelRecord& channel = channels_[i];
        char serial[8];
        std::snprintf(serial, sizeof serial, "%x", channel.moduleWord);
        if (i > 0) out += "\n";
        out += "    Channel " + std::to_string(i) + " Serial: 0x" + serial;
        if (channel.hasFirmwareVersion && channel.hasSecondFirmwareVersion)
            out += ", FW: " + formatFirmwareVersion(channel.firmwareVersion) +
                   ", 2nd-FW: " + formatFirmwareVersion(channel.secondFirmwareVersion);
        else
            out += "no actuator FW-versions";
    }
    if (text) *text = out;
    return VX_OK;
}

VX_STATUS System::getSystemID(uint32_t* id) {
    char text[256] = {};
    size_t size = sizeof text;
    VX_IO_Result read = VX_IO_OK;
    {
        // Held through the call: a close of the system in between would
        // free the handle's number for another system's open.
        std::lock_guard<std::mutex> io(ioMutex_);
        read = VX_IO_GetProperty(ioHandle_, "ftdi-id", text, &size);
    }
    if (read != VX_IO_OK) return VX_OTHER_ERROR;
    text[sizeof text - 1] = '\0';
    uint32_t value = 0;
    for (const char* c = text; *c >= '0' && *c <= '9'; ++c)
        value = value * 10 + static_cast<uint32_t>(*c - '0');
    if (id) *id = value;
    return VX_OK;
}

VX_STATUS System::getFirmwareVersion(uint32_t kind, uint32_t index, uint32_t* version) {
    std::lock_guard<std::mutex> command(commandMutex_);
    uint32_t value = 0;
    switch (kind) {
    case 1:
        if (!interfaceFirmwareKnown_) return VX_OTHER_ERROR;
        value = interfaceFirmware_;
        break;
    case 2:
    case 3: {
        if (index >= channelCount_) return VX_INVALID_CHANNEL_INDEX;
        if (!isPositionerChannel(*this, index)) return VX_WRONG_CHANNEL_TYPE;
        const ChannelRecord& channel = channels_[index];
        if (kind == 2 ? !channel.hasFirmwareVersion : !channel.hasSecondFirmwareVersion) return VX_OTHER_ERROR;
        value = kind == 2 ? channel.firmwareVersion : channel.secondFirmwareVersion;
        break;
    }
    case 5:
        if (!handControlFirmwareKnown_) return VX_OTHER_ERROR;
        value = handControlFirmware_;
        break;
    case 9:
        if (index >= channelCount_) return VX_INVALID_CHANNEL_INDEX;
        if ((channels_[index].moduleWord & kClassMask) != kEndEffectorClass) return VX_WRONG_CHANNEL_TYPE;
        if (!channels_[index].hasFirmwareVersion) return VX_OTHER_ERROR;
        value = channels_[index].firmwareVersion;
        break;
    default:
        return VX_INVALID_PARAMETER;
    }
    if (version) *version = value;
    return VX_OK;
}

VX_STATUS System::getNumberOfChannels(uint32_t* count) {
    std::lock_guard<std::mutex> command(commandMutex_);
    if (mode_ == kNotOpen) return VX_NOT_INITIALIZED;
    if (count) *count = channelCount_;
    return VX_OK;
}

VX_STATUS System::getChannelType(uint32_t channel, uint32_t* type) {
    std::lock_guard<std::mutex> command(commandMutex_);
    if (mode_ == kNotOpen) return VX_NOT_INITIALIZED;
    if (channel >= channelCount_) return VX_INVALID_CHANNEL_INDEX;
    uint32_t value;
    if (isPositionerChannel(*this, channel))
        value = VX_CHANNEL_POSITIONER;
    else if ((channels_[channel].moduleWord & kClassMask) == kEndEffectorClass)
        value = VX_CHANNEL_END_EFFECTOR;
    else
        return VX_INTERNAL_ERROR;
    if (type) *type = value;
    return VX_OK;
}

VX_STATUS System::getChannelSerialNumber(uint32_t channel, uint32_t* serial) {
    std::lock_guard<std::mutex> command(commandMutex_);
    if (mode_ == kNotOpen) return VX_NOT_INITIALIZED;
    if (channel >= channelCount_) return VX_INVALID_CHANNEL_INDEX;
    if (serial) *serial = channels_[channel].moduleWord;
    return VX_OK;
}

VX_STATUS System::getFeaturePermissions(uint32_t channel, uint8_t* bytes, uint32_t* size) {
    std::lock_guard<std::mutex> command(commandMutex_);
    if (mode_ == kNotOpen) return VX_NOT_INITIALIZED;
    if (channel >= channelCount_) return VX_INVALID_CHANNEL_INDEX;
    if (size == nullptr) return VX_INVALID_PARAMETER;
    const ChannelRecord& record = channels_[channel];
    if (*size < record.featureCount) {
        *size = 0;
        return VX_ID_LIST_TOO_SMALL;
    }
    if (bytes == nullptr && record.featureCount > 0) return VX_INVALID_PARAMETER;
    for (uint32_t i = 0; i < record.featureCount; ++i) bytes[i] = record.featureBytes[i];
    *size = record.featureCount;
    return VX_OK;
}

VX_STATUS System::getPositionerTypeList(uint32_t* list, uint32_t* size) {
    return listPositionerTypes(list, size);
}

VX_STATUS System::getPositionerTypeName(uint32_t type, char* name, uint32_t* size) {
    return positionerTypeName(type, name, size);
}

VX_STATUS System::getPositionerTypeProperty(uint32_t type, uint32_t property, uint32_t* value) {
    return positionerTypeProperty(type, property, value);
}

}  // namespace qmx
