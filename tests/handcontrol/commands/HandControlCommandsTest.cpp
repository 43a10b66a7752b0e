#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ConnectionStatus.h"
#include "QMXConnection.h"
#include "handcontrol/Controller.h"

using namespace std::chrono_literals;

namespace {

using handcontroltest::Controller;
using handcontroltest::Mode;
using handcontroltest::moduleByte;
using vxsim::TextFault;

// A module with 500-byte slots, reached directly over the serial line and
// over TCP; opened once for all cases.
class Commands : public ::testing::TestWithParam<Mode> {
protected:
    static void SetUpTestSuite() {
        controller = new Controller(0xFD01);
        for (Mode mode : {Mode::Serial, Mode::Network}) {
            connections[index(mode)] = new QMXConnection;
            ASSERT_EQ(connections[index(mode)]->openSystem(
                          QString::fromStdString(controller->locator(mode))),
                      kStatusOk);
        }
    }
    static void TearDownTestSuite() {
        for (QMXConnection*& connection : connections) {
            if (connection && connection->mode() != QMXConnection::Closed)
                connection->closeSystem();
            delete connection;
            connection = nullptr;
        }
        delete controller;
    }
    void SetUp() override {
        connection = connections[index(GetParam())];
        ASSERT_NE(connection->mode(), QMXConnection::Closed);
        controller->text.clearRecords();
    }
    void TearDown() override { controller->text.clearFaults(); }

    static size_t index(Mode mode) { return mode == Mode::Serial ? 0 : 1; }
    std::vector<std::string> sent() const { return controller->text.commandTexts(); }

    static Controller* controller;
    static QMXConnection* connections[2];
    QMXConnection* connection = nullptr;
};

Controller* Commands::controller = nullptr;
QMXConnection* Commands::connections[2] = {};

TEST_P(Commands, ReadingPartOfASlotAsksEightBytesACommand) {
    std::vector<uint8_t> buffer(128, 0);
    unsigned length = 128;
    ASSERT_EQ(connection->readHCMConfigSlot(0, buffer.data(), length), kStatusOk);
    EXPECT_EQ(length, 128u);
    std::vector<std::string> expected;
    for (int offset = 0; offset <= 120; offset += 8)
        expected.push_back("RHCS0," + std::to_string(offset));
    EXPECT_EQ(sent(), expected);
    for (size_t i = 0; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], moduleByte(0, i)) << i;
}

TEST_P(Commands, AWholeSlotOf500BytesLeavesTheRestOfTheBuffer) {
    std::vector<uint8_t> buffer(600, 0xA5);
    unsigned length = 500;
    ASSERT_EQ(connection->readHCMConfigSlot(2, buffer.data(), length), kStatusOk);
    EXPECT_EQ(sent().size(), 63u);
    EXPECT_EQ(sent().back(), "RHCS2,496");
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 500),
              controller->model.slot(2));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 500, buffer.end()),
              std::vector<uint8_t>(100, 0xA5));
}

TEST_P(Commands, WritingA500ByteSlotReadsNothingPastIt) {
    // Exactly the slot, so that a read past it is caught by the sanitizer.
    const auto bytes = std::make_unique<uint8_t[]>(500);
    for (size_t i = 0; i < 500; ++i) bytes[i] = static_cast<uint8_t>(255 - i);
    unsigned length = 500;
    ASSERT_EQ(connection->writeHCMConfigSlot(1, bytes.get(), length), kStatusOk);
    EXPECT_EQ(length, 500u);
    EXPECT_EQ(sent().size(), 63u);
    EXPECT_EQ(sent().front(), "WHCS1,0,255,254,253,252,251,250,249,248");
    EXPECT_EQ(sent().back(), "WHCS1,496,15,14,13,12,0,0,0,0");
    EXPECT_EQ(controller->model.slot(1), std::vector<uint8_t>(bytes.get(), bytes.get() + 500));
    // Put back as the other cases expect it.
    std::vector<uint8_t> original(500);
    for (size_t i = 0; i < 500; ++i) original[i] = moduleByte(1, i);
    controller->model.writeSlot(1, 0, original.data(), original.size());
}

TEST_P(Commands, TheTypeInDecimal) {
    int type = 0;
    EXPECT_EQ(connection->readHCMEepromType(type), kStatusOk);
    EXPECT_EQ(type, 0xFD01);
    EXPECT_EQ(sent(), std::vector<std::string>{"RHEL"});
}

enum class Operation { Type, Read, Write };

// What each operation returns when the module answers its first command
// with something else.
TEST_P(Commands, UnexpectedAnswers) {
    const struct {
        const char* name;
        Operation operation;
        TextFault fault;
        uint32_t expected;
    } cases[] = {
        {"a refused type read", Operation::Type, TextFault::error("RHEL", 3, 1), 3},
        {"an E of -1 and 0 to a type read", Operation::Type, TextFault::error("RHEL", 0, 1),
         kStatusProtocolError},
        {"a type read answered by another name", Operation::Type,
         TextFault::replace("RHEL", ":HE64769\n", 1), kStatusProtocolError},
        {"a type read answered by two numbers", Operation::Type,
         TextFault::replace("RHEL", ":HEL64769,1\n", 1), kStatusProtocolError},
        {"a refused slot read", Operation::Read, TextFault::error("RHCS0", 6, 1), 6},
        {"an E of -1 and 0 to a slot read", Operation::Read, TextFault::error("RHCS0", 0, 1),
         kStatusProtocolError},
        {"the bytes of offset 8 for offset 0", Operation::Read,
         TextFault::replace("RHCS0", ":HCS0,8,1,2,3,4,5,6,7,8\n", 1), kStatusProtocolError},
        {"the bytes of another slot", Operation::Read,
         TextFault::replace("RHCS0", ":HCS1,0,1,2,3,4,5,6,7,8\n", 1), kStatusProtocolError},
        {"nine numbers", Operation::Read, TextFault::replace("RHCS0", ":HCS0,0,1,2,3,4,5,6,7\n", 1),
         kStatusProtocolError},
        {"no line of the grammar", Operation::Read, TextFault::replace("RHCS0", ":HCS\n", 1),
         kStatusProtocolError},
        {"a refused write", Operation::Write, TextFault::error("WHCS0", 5, 1),
         kStatusProtocolError},
        {"a write answered by three numbers", Operation::Write,
         TextFault::replace("WHCS0", ":E-1,0,0\n", 1), kStatusProtocolError},
        {"a write answered by data", Operation::Write, TextFault::replace("WHCS0", ":HCS0,0\n", 1),
         kStatusProtocolError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        controller->text.addFault(c.fault);
        std::vector<uint8_t> buffer(500, 0);
        unsigned length = 16;
        int type = 0;
        uint32_t status = 0;
        switch (c.operation) {
        case Operation::Type:
            status = connection->readHCMEepromType(type);
            EXPECT_EQ(type, 0);
            break;
        case Operation::Read:
            status = connection->readHCMConfigSlot(0, buffer.data(), length);
            break;
        case Operation::Write:
            buffer.assign(500, 0x11);
            status = connection->writeHCMConfigSlot(0, buffer.data(), length);
            break;
        }
        EXPECT_EQ(status, c.expected);
        // Nothing after the failing command, and the next one is answered.
        EXPECT_EQ(sent().size(), 1u);
        controller->text.clearFaults();
        controller->text.clearRecords();
        int next = 0;
        EXPECT_EQ(connection->readHCMEepromType(next), kStatusOk);
        controller->text.clearRecords();
    }
    EXPECT_EQ(controller->model.slot(0)[0], moduleByte(0, 0));
}

TEST_P(Commands, ASilentModuleTimesOutAfterASecond) {
    controller->text.addFault(TextFault::silent("RHEL", 1));
    int type = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection->readHCMEepromType(type), kStatusTimeout);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 950ms);
    EXPECT_LT(elapsed, 3000ms);
}

INSTANTIATE_TEST_SUITE_P(DirectModes, Commands, ::testing::Values(Mode::Serial, Mode::Network),
                         [](const auto& info) { return handcontroltest::nameOf(info.param); });

TEST(ClosedConnection, RefusesEveryOperationAndSendsNothing) {
    Controller controller(0x3D01);
    QMXConnection connection;
    int type = 7;
    uint8_t buffer[128] = {};
    unsigned length = 128;
    EXPECT_EQ(connection.readHCMEepromType(type), kStatusNotInitialized);
    EXPECT_EQ(type, 7);
    EXPECT_EQ(connection.readHCMConfigSlot(0, buffer, length), kStatusNotInitialized);
    EXPECT_EQ(connection.writeHCMConfigSlot(0, buffer, length), kStatusNotInitialized);
    EXPECT_EQ(length, 128u);
    EXPECT_TRUE(controller.text.received().empty());
}

}  // namespace
