#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "firmware/bootloader/BootTestSupport.h"
#include "platform/SerialPort.h"

using namespace std::chrono_literals;
using namespace std::string_view_literals;

namespace {

using boottest::BootTest;
using boottest::Bytes;
using boottest::bytesOf;
using boottest::State;
using boottest::Way;
using fwtest::throwsUpdate;
using vxfw::DeviceState;
using vxfw::ProtocolKind;
using vxsim::BootFault;
using vxsim::BootSimulator;
using vxsim::Carrier;

constexpr uint8_t kPingCommand = vxsim::boot::kPing;
constexpr uint8_t kStartCommand = vxsim::boot::kStartApplication;
const Bytes kWrongFinalByte = {0x00, 0x00, 0x00, 0x01, 0xE2};
const vxsim::RequestMatch kProbe{0x0F00, 0x80};

enum class Event { None, EnterApplication, EnterBootloader };

// One move of the connection's state table: the system the host meets, the
// open, and what follows it (with the system's faults cleared).
struct Row {
    const char* name;
    Way way;
    State system;
    std::function<void(BootSimulator&)> faults;
    int32_t openCode;  // 0: open succeeds
    DeviceState opened;
    Event event;
    DeviceState to;
    ProtocolKind kind;
    bool result = true;  // enterApplication's
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

void wrongFinalByte(BootSimulator& sim) {
    sim.bootloader().addFault(BootFault::replace(kPingCommand, kWrongFinalByte));
}
void wrongProbeAnswer(BootSimulator& sim) {
    sim.binaryApplication(Carrier::Tcp)
        ->addFault(vxsim::Fault::replace(kProbe, vxsim::gen1Packet(0x0008, 0xF1, {0x81})));
}
void damagedModule(BootSimulator& sim) { sim.bootloader().setModuleValid(0x6001, false); }

constexpr auto B = State::Bootloader;
constexpr auto A = State::Application;
constexpr auto kClosed = DeviceState::Closed;
constexpr auto kConnected = DeviceState::Connected;
constexpr auto kApplication = DeviceState::Application;
constexpr auto kBootloader = DeviceState::Bootloader;
constexpr auto kNone = ProtocolKind::None;
constexpr auto kBinary = ProtocolKind::Binary;
constexpr auto kAscii = ProtocolKind::Ascii;

const Row kRows[] = {
    // Closed, open: the bootloader answers.
    {"OpenBootloaderTcp", Way::Tcp, B, {}, 0, kBootloader, Event::None, kBootloader, kNone},
    {"OpenBootloaderUsb", Way::Usb, B, {}, 0, kBootloader, Event::None, kBootloader, kNone},
    {"OpenBootloaderPty", Way::Pty, B, {}, 0, kBootloader, Event::None, kBootloader, kNone},
    // Closed, open: the application answers.
    {"OpenApplicationTcp", Way::Tcp, A, {}, 0, kApplication, Event::None, kApplication, kBinary},
    {"OpenApplicationTcpText", Way::TcpText, A, {}, 0, kApplication, Event::None, kApplication,
     kAscii},
    {"OpenApplicationUsb", Way::Usb, A, {}, 0, kApplication, Event::None, kApplication, kBinary},
    {"OpenApplicationPty", Way::Pty, A, {}, 0, kApplication, Event::None, kApplication, kAscii},
    // Closed, open: the port opens, the probe fails.
    {"OpenFinalByteTcp", Way::Tcp, B, wrongFinalByte, vxfw::kProtocolError, kConnected, Event::None,
     kConnected, kNone},
    {"OpenFinalByteUsb", Way::Usb, B, wrongFinalByte, vxfw::kProtocolError, kConnected, Event::None,
     kConnected, kNone},
    {"OpenFinalBytePty", Way::Pty, B, wrongFinalByte, vxfw::kProtocolError, kConnected, Event::None,
     kConnected, kNone},
    {"OpenWrongProbeAnswerTcp", Way::Tcp, A, wrongProbeAnswer, vxfw::kProtocolError, kConnected,
     Event::None, kConnected, kNone},
    // Bootloader or Connected, enterApplication true.
    {"StartTcp", Way::Tcp, B, {}, 0, kBootloader, Event::EnterApplication, kApplication, kBinary},
    {"StartTcpText", Way::TcpText, B, {}, 0, kBootloader, Event::EnterApplication, kApplication,
     kAscii},
    {"StartUsb", Way::Usb, B, {}, 0, kBootloader, Event::EnterApplication, kApplication, kBinary},
    {"StartPty", Way::Pty, B, {}, 0, kBootloader, Event::EnterApplication, kApplication, kAscii},
    {"StartFromConnectedTcp", Way::Tcp, B, wrongFinalByte, vxfw::kProtocolError, kConnected,
     Event::EnterApplication, kApplication, kBinary},
    // Bootloader, enterApplication false: a damaged module keeps the system in its bootloader.
    {"StartRefusedUsb", Way::Usb, B, damagedModule, 0, kBootloader, Event::EnterApplication,
     kBootloader, kNone, false},
    // Application or Connected, enterBootloader.
    {"EnterTcp", Way::Tcp, A, {}, 0, kApplication, Event::EnterBootloader, kBootloader, kBinary},
    {"EnterTcpText", Way::TcpText, A, {}, 0, kApplication, Event::EnterBootloader, kBootloader,
     kAscii},
    {"EnterUsb", Way::Usb, A, {}, 0, kApplication, Event::EnterBootloader, kBootloader, kBinary},
    {"EnterPty", Way::Pty, A, {}, 0, kApplication, Event::EnterBootloader, kBootloader, kAscii},
    {"EnterFromConnectedTcp", Way::Tcp, A, wrongProbeAnswer, vxfw::kProtocolError, kConnected,
     Event::EnterBootloader, kBootloader, kNone},
};

// The UpdateException code that `call` threw, 0 for none.
template <typename Call>
int32_t codeOf(Call&& call) {
    try {
        call();
    } catch (const vxfw::UpdateException& error) {
        return error.code();
    }
    return 0;
}

class StateTableTest : public BootTest, public ::testing::WithParamInterface<Row> {};

TEST_P(StateTableTest, EachMoveEndsInItsState) {
    const Row& row = GetParam();
    const std::string locator = start(row.way, row.system);
    if (row.faults) row.faults(*sim);
    EXPECT_EQ(codeOf([&] { connection.open(locator); }), row.openCode);
    EXPECT_TRUE(connection.isOpen());
    EXPECT_EQ(connection.locator(), locator);
    EXPECT_EQ(connection.getState(), row.opened);

    bootloader().clearFaults();
    if (auto* binary = sim->binaryApplication(Carrier::Tcp)) binary->clearFaults();
    bool result = true;
    EXPECT_EQ(codeOf([&] {
                  if (row.event == Event::EnterApplication) result = connection.enterApplication();
                  if (row.event == Event::EnterBootloader) result = connection.enterBootloader();
              }),
              0);
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(connection.getState(), row.to);
    EXPECT_EQ(connection.getProtocolKind(), row.kind);
    EXPECT_TRUE(connection.isOpen());
    if (row.to != kConnected) {
        EXPECT_EQ(bootloader().state(), row.to == kBootloader ? B : A);
    }

    connection.close();
    EXPECT_FALSE(connection.isOpen());
    EXPECT_EQ(connection.getState(), kClosed);
    EXPECT_EQ(connection.getProtocolKind(), kNone);
    EXPECT_EQ(connection.locator(), "");
}

INSTANTIATE_TEST_SUITE_P(Moves, StateTableTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

class HandshakeTest : public BootTest {};

TEST_F(HandshakeTest, OpensThatFailLeaveNoActivePort) {
    struct Case {
        std::string locator;
        int32_t code;
        std::string message;
    };
    const Case cases[] = {
        {"foo:bar", vxfw::kInvalidParameter, "invalid device locator: foo:bar"},
        {"network:127.0.0.1:1", vxfw::kCouldNotOpenPort, ""},
    };
    const std::string locator = start(Way::Tcp, A);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locator);
        EXPECT_TRUE(throwsUpdate([&] { connection.open(c.locator); }, c.code, c.message));
        EXPECT_FALSE(connection.isOpen());
        EXPECT_EQ(connection.getState(), kClosed);
    }
    EXPECT_EQ(sim->tcp().accepted(), 0u);
    connection.open(locator);
    EXPECT_EQ(connection.getState(), kApplication);
    EXPECT_TRUE(throwsUpdate([&] { connection.open(locator); }, vxfw::kPortAlreadyOpen));
    EXPECT_EQ(connection.getState(), kApplication);
    EXPECT_EQ(sim->tcp().accepted(), 1u);
}

TEST_F(HandshakeTest, ASerialSystemIsTakenAsTextualAndTheModeCommandDecides) {
    // The probe, the wake byte at 4800 baud, the rate command at 9600, the mode command.
    const Bytes expected = bytesOf("\0\0:CB115200,1\n:SCM0\n"sv);
    connection.open(start(Way::Pty, A));
    EXPECT_EQ(sent(), expected);
    EXPECT_EQ(vxplatform::readLineRate(sim->pty().hostFd()), 115200u);
    connection.close();

    bootloader().setSilent(true);
    EXPECT_TRUE(throwsUpdate([&] { connection.open("serial:" + sim->pty().devicePath()); },
                             vxfw::kTimeout));
    EXPECT_EQ(connection.getState(), kConnected);
    EXPECT_EQ(sent(), expected);
}

TEST_F(HandshakeTest, EnteringTheStateItIsInSendsNothing) {
    EXPECT_TRUE(throwsUpdate([&] { connection.enterApplication(); }, vxfw::kPortNotOpen));
    EXPECT_TRUE(throwsUpdate([&] { connection.enterBootloader(); }, vxfw::kPortNotOpen));
    connection.open(start(Way::Tcp, A));
    sent();
    EXPECT_TRUE(throwsUpdate([&] { connection.enterApplication(); }, vxfw::kWrongSystemState,
                             "already in application state"));
    connection.enterBootloader();
    sent();
    EXPECT_TRUE(throwsUpdate([&] { connection.enterBootloader(); }, vxfw::kWrongSystemState,
                             "already in bootloader state"));
    EXPECT_TRUE(sent().empty());
}

TEST_F(HandshakeTest, OverUsbTheEnterCommandFollowsTheProtocolKind) {
    struct Case {
        bool probeAnswered;
        ProtocolKind kind;
        Bytes enter;
    };
    const Case cases[] = {
        {true, kBinary, {0x00, 0x00, 0x40}},
        {false, kAscii, bytesOf(vxsim::boot::kEnterText)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.probeAnswered);
        const std::string locator = start(Way::Usb, A);
        if (!c.probeAnswered)
            sim->binaryApplication(Carrier::Usb)->addFault(vxsim::Fault::silent(kProbe));
        connection.open(locator);
        EXPECT_EQ(connection.getProtocolKind(), c.kind);
        sent();
        EXPECT_TRUE(connection.enterBootloader());
        Bytes expected = c.enter;
        const Bytes handshake = {0x00, 0x00, 0x00, 0x01, 0xE0, 0xAA};
        expected.insert(expected.end(), handshake.begin(), handshake.end());
        EXPECT_EQ(sent(), expected);
        EXPECT_EQ(connection.getProtocolKind(), c.kind);
        connection.close();
        sim.reset();
        // The next adapter shows in a fresh USB list.
        advanceClock(10s);
    }
}

// A start that the system answers wrongly: enterApplication fails and the
// connection stays in the bootloader.
struct StartFault {
    const char* name;
    Way way;
    std::function<void(BootSimulator&)> fault;
    std::string message;
};

void PrintTo(const StartFault& fault, std::ostream* out) { *out << fault.name; }

BootFault startSigns(Bytes bytes) { return BootFault::replace(kStartCommand, std::move(bytes)); }

const StartFault kStartFaults[] = {
    {"NoExchangeAnswer", Way::Usb,
     [](BootSimulator& s) { s.bootloader().addFault(BootFault::exchange(0x00)); }, ""},
    {"FirstByteUsb", Way::Usb,
     [](BootSimulator& s) { s.bootloader().addFault(startSigns({0x01, 0x08, 0x00, 0x20})); }, ""},
    {"NoHelloUsb", Way::Usb,
     [](BootSimulator& s) { s.bootloader().addFault(startSigns({0x00})); }, "received no hello"},
    {"WrongHelloUsb", Way::Usb,
     [](BootSimulator& s) { s.bootloader().addFault(startSigns({0x00, 0x08, 0x00, 0x21})); },
     "received wrong hello"},
    {"WrongHelloTcp", Way::Tcp,
     [](BootSimulator& s) { s.bootloader().addFault(startSigns({0x08, 0x00, 0x21})); },
     "received wrong hello"},
    {"NoReplyTcp", Way::Tcp, [](BootSimulator& s) { s.bootloader().addFault(startSigns({})); },
     "received no reply"},
    {"WrongReplyTcp", Way::TcpText,
     [](BootSimulator& s) {
         s.textApplication(Carrier::Tcp)->addFault(vxsim::TextFault::replace("", ":X-1,240\n", 1));
     },
     "received wrong reply"},
};

class StartFaultTest : public BootTest, public ::testing::WithParamInterface<StartFault> {};

TEST_P(StartFaultTest, FailsAndStaysInTheBootloader) {
    connection.open(start(GetParam().way, B));
    GetParam().fault(*sim);
    EXPECT_TRUE(throwsUpdate([&] { connection.enterApplication(); }, vxfw::kProtocolError,
                             GetParam().message));
    EXPECT_EQ(connection.getState(), kBootloader);
    EXPECT_TRUE(connection.isOpen());
}

INSTANTIATE_TEST_SUITE_P(Faults, StartFaultTest, ::testing::ValuesIn(kStartFaults),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
