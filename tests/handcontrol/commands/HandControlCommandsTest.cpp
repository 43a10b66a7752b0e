#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "QMXControl.h"
#include "QMXConnection.h"
#include "handcontrol/Controller.h"

using namespace std::chrono_literals;
using namespace handcontroltest;
using vxsim::TextFault;
using Strings = std::vector<std::string>;

namespace {

// A module with 500-byte slots, reached directly over the serial line and
// over TCP, opened once for all cases.
class Commands : public ::testing::TestWithParam<Mode> {
protected:
    static void SetUpTestSuite() {
        controller = new Controller(0xFD01);
        for (Mode mode : {Serial, Network}) {
            connections[mode] = std::make_unique<QMXConnection>();
            const QString locator = QString::fromStdString(controller->locator(mode));
            ASSERT_EQ(connections[mode]->openSystem(locator), VX_OK);
        }
    }
    static void TearDownTestSuite() {
        for (auto& connection : connections) {
            if (connection) connection->closeSystem();
            connection.reset();
        }
        delete controller;
    }
    void SetUp() override { controller->text.clearRecords(); }
    void TearDown() override { controller->text.clearFaults(); }
    Strings sent() const { return controller->text.commandTexts(); }

    static Controller* controller;
    static std::unique_ptr<QMXConnection> connections[3];
    QMXConnection& connection = *connections[GetParam()];
};

Controller* Commands::controller = nullptr;
std::unique_ptr<QMXConnection> Commands::connections[3];

TEST_P(Commands, TypeAndSlotsEightBytesACommand) {
    int type = 0;
    EXPECT_EQ(connection.readHCMEepromType(type), VX_OK);
    EXPECT_EQ(type, 0xFD01);

    controller->text.clearRecords();
    std::vector<uint8_t> buffer(600, 0xA5);
    unsigned length = 128;
    ASSERT_EQ(connection.readHCMConfigSlot(0, buffer.data(), length), VX_OK);
    Strings expected;
    for (int offset = 0; offset <= 120; offset += 8)
        expected.push_back("RHCS0," + std::to_string(offset));
    EXPECT_EQ(sent(), expected);
    EXPECT_EQ(buffer[127], moduleByte(0, 127));
    EXPECT_EQ(buffer[128], 0xA5);

    controller->text.clearRecords();
    length = 500;
    ASSERT_EQ(connection.readHCMConfigSlot(2, buffer.data(), length), VX_OK);
    EXPECT_EQ(sent().size(), 63u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 500),
              controller->model.slot(2));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 500, buffer.end()),
              std::vector<uint8_t>(100, 0xA5));

    // Exactly the slot, so that a read past it is caught by the sanitizer.
    controller->text.clearRecords();
    const auto bytes = std::make_unique<uint8_t[]>(500);
    for (size_t i = 0; i < 500; ++i) bytes[i] = static_cast<uint8_t>(moduleByte(1, i) ^ 0xFF);
    ASSERT_EQ(connection.writeHCMConfigSlot(1, bytes.get(), length), VX_OK);
    EXPECT_EQ(sent().size(), 63u);
    EXPECT_EQ(sent().back(), "WHCS1,496,133,122,111,100,0,0,0,0");
    EXPECT_EQ(controller->model.slot(1), std::vector<uint8_t>(bytes.get(), bytes.get() + 500));
    for (size_t i = 0; i < 500; ++i) bytes[i] ^= 0xFF;
    ASSERT_EQ(connection.writeHCMConfigSlot(1, bytes.get(), length), VX_OK);
}

// Each operation's first command answered otherwise: its result, and
// nothing sent after it.
TEST_P(Commands, UnexpectedAnswers) {
    enum Operation { Type, Read, Write };
    const struct {
        Operation operation;
        TextFault fault;
        uint32_t expected;
    } cases[] = {
        {Type, TextFault::error("RHEL", 3), 3},
        {Type, TextFault::error("RHEL", 0), VX_PROTOCOL_ERROR},
        {Type, TextFault::replace("RHEL", ":HEL64769,1\n"), VX_PROTOCOL_ERROR},
        {Read, TextFault::error("RHCS0", 6), 6},
        {Read, TextFault::error("RHCS0", 0), VX_PROTOCOL_ERROR},
        {Read, TextFault::replace("RHCS0", ":HCS0,8,1,2,3,4,5,6,7,8\n"), VX_PROTOCOL_ERROR},
        {Read, TextFault::replace("RHCS0", ":HCS0,0,1,2,3,4,5,6,7\n"), VX_PROTOCOL_ERROR},
        {Write, TextFault::error("WHCS0", 5), VX_PROTOCOL_ERROR},
        {Write, TextFault::replace("WHCS0", ":E-1,0,0\n"), VX_PROTOCOL_ERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault.bytes.empty() ? std::to_string(c.fault.code) : c.fault.bytes);
        controller->text.clearRecords();
        controller->text.addFault(c.fault);
        uint8_t buffer[16] = {};
        unsigned length = 16;
        int type = 0;
        EXPECT_EQ(c.operation == Type   ? connection.readHCMEepromType(type)
                  : c.operation == Read ? connection.readHCMConfigSlot(0, buffer, length)
                                        : connection.writeHCMConfigSlot(0, buffer, length),
                  c.expected);
        EXPECT_EQ(type, 0);
        EXPECT_EQ(sent().size(), 1u);
        controller->text.clearFaults();
    }
}

TEST_P(Commands, ASilentModuleTimesOutAfterASecond) {
    controller->text.addFault(TextFault::silent("RHEL", 1));
    int type = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection.readHCMEepromType(type), VX_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 950ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3000ms);
}

INSTANTIATE_TEST_SUITE_P(DirectModes, Commands, ::testing::Values(Serial, Network),
                         [](const auto& info) { return kModeNames[info.param]; });

TEST(ClosedConnection, RefusesEveryOperationAndSendsNothing) {
    Controller controller(0x3D01);
    QMXConnection connection;
    int type = 7;
    uint8_t buffer[128] = {};
    unsigned length = 128;
    EXPECT_EQ(connection.readHCMEepromType(type), VX_NOT_INITIALIZED);
    EXPECT_EQ(connection.readHCMConfigSlot(0, buffer, length), VX_NOT_INITIALIZED);
    EXPECT_EQ(connection.writeHCMConfigSlot(0, buffer, length), VX_NOT_INITIALIZED);
    EXPECT_EQ(type, 7);
    EXPECT_TRUE(controller.text.received().empty());
}

}  // namespace
