// Result texts, event descriptions, and the line the device logs for each
// event frame it receives.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "ctl/CtlLog.h"
#include "ctl/device/SimulatedDevice.h"
#include "event/EventText.h"
#include "log/Log.h"

namespace {

using namespace std::chrono_literals;

struct ResultRow {
    VX_CTL_Result result;
    const char* text;
};

TEST(ResultText, IsLookedUpByTheLow16Bits) {
    const ResultRow rows[] = {
        {0x0000, "no error"},
        {0x1234F007, "invalid device handle"},
        {0x0401, "invalid channel index"},
        {0x0022, "invalid channel index"},
        {0x0027, "invalid array size"},
        {0xF01B, "thread limit reached"},
        {0x9999, "unknown error"},
        {0xFFFF0000, "no error"},
    };
    for (const ResultRow& row : rows) EXPECT_STREQ(vxctl::resultText(row.result), row.text) << std::hex << row.result;
}

// Every row of both tables, by the number the controller or the library
// gives: a text keyed to another number would show here.
TEST(TextTables, GiveEachCodeItsOwnText) {
    const ResultRow results[] = {
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
    static_assert(std::size(results) == 92);
    for (const ResultRow& row : results)
        EXPECT_STREQ(VX_CTL_GetResultInfo(row.result), row.text) << std::hex << row.result;

    const struct {
        VX_CTL_EventType type;
        const char* text;
    } events[] = {
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
    };
    static_assert(std::size(events) == 25);
    for (const auto& row : events) EXPECT_STREQ(vxctl::eventTypeText(row.type), row.text) << std::hex << row.type;
}

VX_CTL_Event record(uint32_t idx, VX_CTL_EventType type, std::vector<uint8_t> bytes) {
    VX_CTL_Event event;
    std::memset(&event, 0, sizeof event);
    event.idx = idx;
    event.type = type;
    std::copy(bytes.begin(), bytes.end(), event.value.bytes);
    return event;
}

// Little-endian bytes of a signed 32-bit value.
std::vector<uint8_t> le(int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

struct Description {
    VX_CTL_Event event;
    const char* text;
};

TEST(EventDescription, OfEveryType) {
    const Description rows[] = {
        {record(2, 0x0001, le(0)), "movement finished, channel: 2 (no error)"},
        {record(1, 0x0005, le(0x19)), "holding aborted, channel: 1 (aborted)"},
        {record(0, 0x0002, le(1)), "sensor state changed, channel: 0 attached"},
        {record(0, 0x0002, le(0)), "sensor state changed, channel: 0 detached"},
        {record(0, 0x0002, le(7)), "sensor state changed, channel: 0 unknown parameter"},
        {record(4, 0x0003, le(9)), "reference found, channel: 4"},
        {record(4, 0x0004, {}), "following error limit exceeded, channel: 4"},
        {record(3, 0x0100, {1, 42}), "pre amplifier state changed, channel: 3 attached, ID: 42"},
        {record(3, 0x0101, {0, 42}), "cantilever state changed, channel: 3 detached"},
        {record(3, 0x0101, {2, 5}), "cantilever state changed, channel: 3 unknown parameter, ID: 5"},
        {record(1, 0x4000, le(1)), "sensor module state changed, module: 1 attached"},
        {record(1, 0x4001, le(-12)), "over temperature, module: 1, temperature: -12"},
        {record(1, 0x4002, {}), "high voltage overload, module: 1"},
        {record(1, 0x4012, {}), "adjustment update, module: 1"},
        {record(1, 0x4010, le(0x010F)), "adjustment finished, module: 1 (adjustment failed)"},
        {record(1, 0x4011, le(3)), "adjustment state changed, module: 1, state: 3"},
        {record(1, 0x4040, le(5)), "digital input changed, module: 1, input: 0x0005"},
        {record(1, 0x4040, le(0x12345)), "digital input changed, module: 1, input: 0x12345"},
        {record(0, 0x8000, {0, 0, 7, 9}), "stream finished, stream: 9 (no error)"},
        {record(0, 0x8000, {0x19, 0, 7, 9}), "stream finished, stream: 9 (aborted)"},
        {record(0, 0x8000, {0x02, 0x03, 7, 9}), "stream finished, stream: 9, channel 7 (insufficient frames)"},
        {record(0, 0x8001, {0x02, 0x03, 7, 9}), "stream ready, stream: 9 (insufficient frames)"},
        {record(0, 0x8002, {0, 0, 0, 1}), "stream triggered, stream: 1 (no error)"},
        {record(0, 0x8010, {0x19, 0, 0, 12}), "command group triggered, handle: 12 (aborted)"},
        {record(0, 0x8020, le(0)), "hand control module state changed (detached)"},
        {record(0, 0x8030, le(3)), "emergency stop triggered"},
        {record(0, 0x8050, {}), "bus resync triggered"},
        {record(0, 0xF001, {}), "connection lost"},
        {record(0, 0x8040, le(-3)), "external input triggered, input: -3"},
        {record(17, 0xF000, {17, 0, 0x06, 3, 0x16, 0, 0x0F, 0x02}),
         "event request ready, idx 17, read request ID: 17, data type: int32, array size: 3, property key: 0x20f0016"},
        {record(5, 0xF000, {5, 1, 0xFF, 0, 1, 0, 0, 0}),
         "event request ready, idx 5, write request ID: 5, data type: none, array size: 0, property key: 0x1"},
        {record(5, 0xF000, {5, 2, 0x07, 0, 0, 0, 0, 0}),
         "event request ready, idx 5,  request ID: 5, data type: unknown, array size: 0, property key: 0x0"},
        {record(0, 0x0000, {}), "no event, idx 0 (no error)"},
        {record(0, 0x1234, {}), "unknown event, idx 0 (no error)"},
        {record(6, 0x4800, le(0x0013)), "unknown event, idx 6 (invalid parameter)"},
    };
    for (const Description& row : rows) {
        EXPECT_EQ(vxctl::describeEvent(row.event), row.text) << std::hex << row.event.type;
        EXPECT_STREQ(vxctl::eventInfo(row.event), row.text);
    }
}

TEST(EventDescription, EachThreadKeepsItsOwnText) {
    const char* mine = vxctl::eventInfo(record(2, 0x0001, le(0)));
    std::thread other([] { vxctl::eventInfo(record(1, 0x4040, le(5))); });
    other.join();
    EXPECT_STREQ(mine, "movement finished, channel: 2 (no error)");
}

class EventFrames : public ctltest::LogTest {
protected:
    ctltest::TempDir dir_;
};

// A received event is logged with its description, at level 3 only.
TEST_F(EventFrames, AreLoggedWithTheirDescriptionAtLevel3) {
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir_.path(), 3)));
    ctltest::SimulatedController controller(ctltest::Carrier::Tcp);
    vxctl::Device device;
    ASSERT_EQ(device.open(controller.locator().c_str(), nullptr), VX_CTL_OK);
    controller.endpoint().injectEvent(2, 0x0001, 0);
    VX_CTL_Event event{};
    ASSERT_EQ(device.waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, 0x0001u);
    vxctl::setLogLevel(2);
    controller.endpoint().injectEvent(1, 0x4040, 5);
    ASSERT_EQ(device.waitForEvent(&event, 5000), VX_CTL_OK);
    const auto lines = ctltest::apiTexts(vxctl::logPath(), 3);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Event Packet: movement finished, channel: 2 (no error)"), 1);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("Event Packet: ", 0) == 0; }),
              1);
}

// An event frame too short to hold its value gives no event: the next wait
// reports an invalid packet, and no event comes of it.
TEST(EventFrame, OfLength7GivesNoEventButAnInvalidPacket) {
    ctltest::SimulatedController controller(ctltest::Carrier::Tcp);
    vxctl::Device device;
    ASSERT_EQ(device.open(controller.locator().c_str(), nullptr), VX_CTL_OK);
    // Type, index and one byte of the event type, then the CRC: 7 bytes.
    std::vector<uint8_t> frame{vxsim::gen2::kCommandStart, 7, 0, vxsim::gen2::command::kEvent, 2, 1};
    const uint32_t crc = vxsim::gen2::crc32(frame.data(), frame.size());
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    controller.endpoint().sendToHost(frame);
    VX_CTL_Event event{};
    EXPECT_EQ(device.waitForEvent(&event, 5000), VX_CTL_INVALID_PACKET);
    // What is left of the frame may be reported too, but never as an event.
    VX_CTL_Result next = VX_CTL_INVALID_PACKET;
    while (next == VX_CTL_INVALID_PACKET) next = device.waitForEvent(&event, 300);
    EXPECT_EQ(next, VX_CTL_TIMEOUT);
}

}  // namespace
