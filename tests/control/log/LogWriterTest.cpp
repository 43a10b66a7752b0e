#include <thread>

#include "LogTestSupport.h"
#include "QMXControl.h"
#include "platform/LogText.h"
#include "platform/Text.h"

namespace {

using namespace logtest;
using std::chrono::microseconds;

TEST(ElapsedFormat, HoursSecondsAndSixDigitMicroseconds) {
    const struct {
        long long micros;
        const char* text;
    } cases[] = {
        {0, "0.000000"},
        {250000, "0.250000"},
        {1, "0.000001"},
        {59999999, "59.999999"},
        {3599999999, "3599.999999"},  // no minutes field
        {3600000000, "1:0.000000"},
        {3600000001, "1:0.000001"},
        {3725500000, "1:125.500000"},
        {90061000000, "25:61.000000"},
        {-250000, "-0.250000"},
        {-3600000001, "-1:0.000001"},
    };
    for (const auto& c : cases) EXPECT_EQ(vxplatform::formatElapsed(microseconds(c.micros)), c.text) << c.micros;
}

TEST(TextHelpers, SplitDropsEmptyPieces) {
    using V = std::vector<std::string>;
    EXPECT_EQ(vxplatform::splitText("a b  c", " "), (V{"a", "b", "c"}));
    EXPECT_EQ(vxplatform::splitText("  a\tb ", " \t"), (V{"a", "b"}));
    EXPECT_EQ(vxplatform::splitText("\n\nusb:id:1\n\nusb:id:2\n", "\n"), (V{"usb:id:1", "usb:id:2"}));
    EXPECT_EQ(vxplatform::splitText("", " "), V{});
    EXPECT_EQ(vxplatform::splitText("   ", " "), V{});
    EXPECT_EQ(vxplatform::splitText("abc", ":"), V{"abc"});
}

TEST(TextHelpers, TrimRightRemovesTrailingWhiteSpaceOnly) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"abc \t\r\n", "abc"}, {"  abc", "  abc"}, {" \t\r\n", ""}, {"", ""}, {"a b ", "a b"}};
    for (const auto& c : cases) {
        EXPECT_EQ(vxplatform::trimRight(c.in), c.out);
    }
}

TEST_F(LogTest, HandlerGetsExactlyTheMessagesAtOrBelowTheLevel) {
    VX_SetLogProperty(1000, 0);
    VX_SetLogHandler(captureHandler);
    qmx::logMessage(1, "before start");  // level 0: nothing
    ASSERT_EQ(VX_SetLogLevel(2), 0u);
    const size_t header = handled().size();
    qmx::logMessage(1, "one");
    qmx::logMessage(2, "two");
    qmx::logMessage(3, "three");
    qmx::logMessage(5, "five");
    const auto messages = handled();
    ASSERT_EQ(messages.size(), header + 2);
    EXPECT_EQ(messages[header], "one");
    EXPECT_EQ(messages[header + 1], "two");
    EXPECT_EQ(messages.front(), "Logging started.");

    VX_SetLogHandler(nullptr);
    qmx::logMessage(1, "unheard");
    EXPECT_EQ(handled().size(), header + 2);
}

TEST_F(LogTest, PacketDumpsTheAddressOpcodeAndPayloadAtLevelFive) {
    VX_SetLogProperty(1000, 0);
    VX_SetLogHandler(captureHandler);
    const uint8_t packet[] = {0x01, 0x00, 0x32, 0xAB, 0x0C, 0xFF, 0xEE};
    VX_SetLogLevel(4);
    const size_t before = handled().size();
    qmx::logPacket("OUT", packet);
    EXPECT_EQ(handled().size(), before);

    VX_SetLogLevel(5);
    qmx::logPacket("OUT", packet);
    qmx::logPacket(" IN", packet);
    const auto messages = handled();
    ASSERT_EQ(messages.size(), before + 2);
    EXPECT_EQ(messages[before], "OUT packet: 01 00 32 ab 0c");
    EXPECT_EQ(messages[before + 1], " IN packet: 01 00 32 ab 0c");
}

TEST_F(LogTest, LinesFromManyThreadsNeverMix) {
    TempDir dir;
    VX_SetLogFolder(dir.path().c_str());
    ASSERT_EQ(VX_SetLogLevel(2), 0u);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < 200; ++i) qmx::logMessage(2, "thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    }
    for (auto& writer : writers) writer.join();
    VX_SetLogLevel(0);
    const auto messages = logMessages(dir.file("QMXControl.log"));
    size_t threadLines = 0;
    for (const auto& m : messages) threadLines += m.rfind("thread ", 0) == 0;
    EXPECT_EQ(threadLines, 800u);
}

}  // namespace
