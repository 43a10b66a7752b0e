#include "Gen1Fixture.h"
#include "common/Log.h"
#include "support/QmxLog.h"

namespace gen1test {

namespace {

std::vector<std::string> packetLines() { return vxtest::QmxLog::containing(" packet: "); }

}  // namespace

class PacketLog : public Gen1Test {
protected:
    void SetUp() override {
        vxtest::QmxLog::attach();
        simulateTcp(SystemSetup::standard(1, false));
    }
    void TearDown() override {
        qmx::logLevel = 0;
        vxtest::QmxLog::detach();
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
