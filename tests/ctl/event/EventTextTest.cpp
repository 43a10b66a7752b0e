// Result texts, event descriptions, and the line the device logs for each
// event frame it receives.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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
