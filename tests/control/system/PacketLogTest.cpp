#include <mutex>

#include "Gen1Fixture.h"
#include "api/Log.h"

namespace gen1test {

namespace {

std::mutex linesMutex;
std::vector<std::string> lines;

void collect(const char* message, unsigned int) {
    std::lock_guard<std::mutex> lock(linesMutex);
    lines.push_back(message);
}

std::vector<std::string> packetLines() {
    std::lock_guard<std::mutex> lock(linesMutex);
    std::vector<std::string> out;
    for (const std::string& line : lines)
        if (line.find(" packet: ") != std::string::npos) out.push_back(line);
    return out;
}

}  // namespace

class PacketLog : public Gen1Test {
protected:
    void SetUp() override {
        VX_SetLogHandler(&collect);
        simulateTcp(SystemSetup::standard(1, false));
    }
    void TearDown() override {
        qmx::logLevel = 0;
        VX_SetLogHandler(nullptr);
        std::lock_guard<std::mutex> lock(linesMutex);
        lines.clear();
    }
};

TEST_F(PacketLog, LevelFiveLogsEveryPacketSentAndReceived) {
    ASSERT_EQ(openTcp(), 0u);
    qmx::logLevel = 5;
    model().setPosition(0, 0x01020304);
    int32_t position = 0;
    ASSERT_EQ(system->getPosition(0, true, &position), 0u);
    const std::vector<std::string> expected{"OUT packet: 00 21 90", " IN packet: 00 21 a4 04 03 02 01"};
    EXPECT_EQ(packetLines(), expected);
}

TEST_F(PacketLog, BufferedPacketsAreLoggedWhenBuffered) {
    ASSERT_EQ(openTcp("async"), 0u);
    ASSERT_EQ(system->setBufferedOutput(1), 0u);
    qmx::logLevel = 5;
    ASSERT_EQ(system->stop(0, false), 0u);
    EXPECT_EQ(packetLines(), std::vector<std::string>{"OUT packet: 00 21 80"});
    qmx::logLevel = 4;
    ASSERT_EQ(system->stop(0, false), 0u);
    EXPECT_EQ(packetLines().size(), 1u) << "only level 5 logs packets";
}

}  // namespace gen1test
