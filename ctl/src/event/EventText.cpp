#include "event/EventText.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace vxctl {

namespace {

struct CodeText {
    uint32_t code;
    const char* text;
};

// First match wins: 0x0401 repeats the text of 0x0022.
constexpr CodeText kResultTexts[] = {
    {0x0000, "no error"},
    {0x0001, "unknown command"},
    {0x0002, "invalid packet size"},
    {0x0004, "timeout"},
    {0x0005, "invalid protocol"},
    {0x000C, "buffer underflow"},
    {0x000D, "buffer overflow"},
    {0x000E, "invalid frame size"},
    {0x0010, "invalid packet"},
    {0x0012, "invalid key"},
    {0x0013, "invalid parameter"},
    {0x0016, "invalid data type"},
    {0x0017, "invalid data"},
    {0x0018, "handle limit reached"},
    {0x0019, "aborted"},
    {0x0020, "invalid device index"},
    {0x0021, "invalid module index"},
    {0x0022, "invalid channel index"},
    {0x0023, "permission denied"},
    {0x0024, "command not groupable"},
    {0x0025, "movement locked"},
    {0x0026, "sync failed"},
    {0x0028, "overrange"},
    {0x0029, "invalid configuration"},
    {0x0027, "invalid array size"},
    {0x0100, "no hand module present"},
    {0x0101, "no io module present"},
    {0x0102, "no sensor module present"},
    {0x0103, "no sensor present"},
    {0x0104, "sensor disabled"},
    {0x0105, "power supply disabled"},
    {0x0106, "amplifier disabled"},
    {0x0107, "invalid sensor mode"},
    {0x0108, "invalid actuator mode"},
    {0x0109, "invalid input trigger mode"},
    {0x010A, "invalid control options"},
    {0x010B, "invalid reference type"},
    {0x010C, "invalid adjustment state"},
    {0x010D, "invalid info type"},
    {0x010E, "no full access"},
    {0x010F, "adjustment failed"},
    {0x0110, "movement overridden"},
    {0x0111, "not calibrated"},
    {0x0112, "not referenced"},
    {0x0113, "not adjusted"},
    {0x0114, "sensor type not supported"},
    {0x0115, "control loop input disabled"},
    {0x0116, "invalid control loop input"},
    {0x0117, "unexpected sensor data"},
    {0x0118, "not phased"},
    {0x0119, "positioner fault"},
    {0x011A, "driver fault"},
    {0x0150, "busy moving"},
    {0x0151, "busy calibrating"},
    {0x0152, "busy referencing"},
    {0x0153, "busy adjusting"},
    {0x0200, "endstop reached"},
    {0x0201, "following error limit"},
    {0x0202, "range limit reached"},
    {0x0203, "overload"},
    {0x0204, "internal link failure"},
    {0x0250, "no afm extension present"},
    {0x0251, "no pre amplifier present"},
    {0x0252, "no cantilever present"},
    {0x0300, "invalid stream handle"},
    {0x0301, "invalid stream configuration"},
    {0x0302, "insufficient frames"},
    {0x0303, "busy streaming"},
    {0x0400, "invalid slot index"},
    {0x0401, "invalid channel index"},
    {0x0402, "invalid group index"},
    {0x0403, "invalid channel group index"},
    {0x0500, "internal communication error"},
    {0x7FFD, "feature not supported"},
    {0x7FFE, "feature not implemented"},
    {0xF000, "device limit reached"},
    {0xF001, "invalid locator"},
    {0xF002, "initialization failed"},
    {0xF003, "not initialized"},
    {0xF004, "communication failed"},
    {0xF006, "invalid querybuffer size"},
    {0xF007, "invalid device handle"},
    {0xF008, "invalid transmit handle"},
    {0xF00F, "unexpected packet received"},
    {0xF010, "canceled"},
    {0xF013, "driver failed"},
    {0xF016, "buffer limit reached"},
    {0xF017, "invalid protocol version"},
    {0xF018, "device reset failed"},
    {0xF019, "buffer empty"},
    {0xF01A, "device not found"},
    {0xF01B, "thread limit reached"},
};
static_assert(std::size(kResultTexts) == 92);

constexpr CodeText kEventTexts[] = {
    {0x0000, "no event"},
    {0x0001, "movement finished"},
    {0x0002, "sensor state changed"},
    {0x0003, "reference found"},
    {0x0004, "following error limit exceeded"},
    {0x0005, "holding aborted"},
    {0x0100, "pre amplifier state changed"},
    {0x0101, "cantilever state changed"},
    {0x4000, "sensor module state changed"},
    {0x4001, "over temperature"},
    {0x4002, "high voltage overload"},
    {0x4010, "adjustment finished"},
    {0x4011, "adjustment state changed"},
    {0x4012, "adjustment update"},
    {0x4040, "digital input changed"},
    {0x8000, "stream finished"},
    {0x8001, "stream ready"},
    {0x8002, "stream triggered"},
    {0x8010, "command group triggered"},
    {0x8020, "hand control module state changed"},
    {0x8030, "emergency stop triggered"},
    {0x8040, "external input triggered"},
    {0x8050, "bus resync triggered"},
    {0xF000, "event request ready"},
    {0xF001, "connection lost"},
    {0xF002, "connection lost and remade"},
};

constexpr CodeText kDataTypeNames[] = {
    {VX_CTL_DT_INT32, "int32"}, {VX_CTL_DT_INT64, "int64"}, {VX_CTL_DT_STRING, "string"}, {0xFF, "none"}};

const char* lookUp(const CodeText* begin, const CodeText* end, uint32_t code, const char* otherwise) {
    const CodeText* found = std::find_if(begin, end, [&](const CodeText& row) { return row.code == code; });
    return found == end ? otherwise : found->text;
}

template <size_t N>
const char* lookUp(const CodeText (&table)[N], uint32_t code, const char* otherwise) {
    return lookUp(std::begin(table), std::end(table), code, otherwise);
}

const char* stateWord(int32_t state) {
    if (state == 1) return "attached";
    if (state == 0) return "detached";
    return "unknown parameter";
}

std::string hex(uint32_t value, int minimumDigits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", minimumDigits, value);
    return text;
}

std::string describeData(const VX_CTL_Event& event) {
    const std::string idx = std::to_string(event.idx);
    const int32_t value = event.value.i32;
    const uint8_t* bytes = event.value.bytes;
    auto byte = [&](int at) { return std::to_string(bytes[at]); };
    const std::string result = std::string(" (") + resultText(static_cast<uint32_t>(value)) + ")";

    switch (event.type) {
    case 0x0001:
    case 0x0005:
        return ", channel: " + idx + result;
    case 0x0002:
        return ", channel: " + idx + " " + stateWord(value);
    case 0x0003:
    case 0x0004:
        return ", channel: " + idx;
    case 0x0100:
    case 0x0101: {
        std::string text = ", channel: " + idx + " " + stateWord(bytes[0]);
        if (bytes[0] != 0) text += ", ID: " + byte(1);
        return text;
    }
    case 0x4000:
        return ", module: " + idx + " " + stateWord(value);
    case 0x4001:
        return ", module: " + idx + ", temperature: " + std::to_string(value);
    case 0x4002:
    case 0x4012:
        return ", module: " + idx;
    case 0x4010:
        return ", module: " + idx + result;
    case 0x4011:
        return ", module: " + idx + ", state: " + std::to_string(value);
    case 0x4040:
        return ", module: " + idx + ", input: 0x" + hex(static_cast<uint32_t>(value), 4);
    case 0x8000:
    case 0x8001:
    case 0x8002: {
        std::string text = ", stream: " + byte(3);
        const uint32_t code = static_cast<uint32_t>(value) & 0xFFFF;
        if (event.type == 0x8000 && code != 0 && code != 0x19) text += ", channel " + byte(2);
        return text + result;
    }
    case 0x8010:
        return ", handle: " + byte(3) + result;
    case 0x8020:
        return std::string(" (") + stateWord(value) + ")";
    case 0x8030:
    case 0x8050:
    case VX_CTL_EVENT_CONNECTION_LOST:
    case VX_CTL_EVENT_CONNECTION_REMADE:
        return "";
    case 0x8040:
        return ", input: " + std::to_string(value);
    case VX_CTL_EVENT_REQUEST_READY: {
        const char* kind = bytes[1] == 0 ? "read" : bytes[1] == 1 ? "write" : "";
        const uint32_t key = static_cast<uint32_t>(bytes[4]) | static_cast<uint32_t>(bytes[5]) << 8 |
                             static_cast<uint32_t>(bytes[6]) << 16 | static_cast<uint32_t>(bytes[7]) << 24;
        return ", idx " + idx + ", " + kind + " request ID: " + byte(0) +
               ", data type: " + lookUp(kDataTypeNames, bytes[2], "unknown") + ", array size: " + byte(3) +
               ", property key: 0x" + hex(key, 1);
    }
    default:
        return ", idx " + idx + result;
    }
}

}  // namespace

const char* resultText(VX_CTL_Result result) { return lookUp(kResultTexts, result & 0xFFFF, "unknown error"); }

const char* eventTypeText(VX_CTL_EventType type) { return lookUp(kEventTexts, type, "unknown event"); }

std::string describeEvent(const VX_CTL_Event& event) { return eventTypeText(event.type) + describeData(event); }

const char* eventInfo(const VX_CTL_Event& event) {
    thread_local std::string text;
    text = describeEvent(event);
    return text.c_str();
}

}  // namespace vxctl
