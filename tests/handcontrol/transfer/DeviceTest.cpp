#include <gtest/gtest.h>

#include <memory>

#include "HandControlErrors.h"
#include "QMXHConfiguration.h"
#include "sim/Gen1Opcodes.h"
#include "handcontrol/Controller.h"

using namespace handcontroltest;
using Ints = std::vector<int>;

namespace {

// A worker connected to a module of one EEPROM type, in each of the modes.
class Transfer : public ::testing::TestWithParam<Mode> {
protected:
    void connectTo(uint16_t type) {
        controller = std::make_unique<Controller>(type);
        const Outcome connected = worker.connect(controller->locator(GetParam()));
        ASSERT_EQ(connected.errors, Ints{kHcNoError});
        EXPECT_EQ(connected.progress, (Ints{0, 100, 100}));
    }
    void TearDown() override {
        EXPECT_EQ(run(&ConfigTransporter::disconnectFromDevice).errors, Ints{kHcNoError});
        EXPECT_EQ(worker.transporter.connection().mode(), QMXConnection::Closed);
    }
    template <typename... Args>
    Outcome run(void (ConfigTransporter::*operation)(Args...), Args... args) {
        return worker.run([&](ConfigTransporter& t) { (t.*operation)(args...); });
    }
    Outcome read() { return run(&ConfigTransporter::readConfigurationFromDevice, &config, &qmxh); }
    Outcome write() { return run(&ConfigTransporter::writeConfigurationToDevice, &qmxh, &config); }
    Outcome verify() { return run(&ConfigTransporter::verifyConfiguration, &qmxh, &config); }
    void fill(int type) {
        int size = 0;
        ASSERT_EQ(config.setType(type, size), kHcNoError);
        for (int i = 0; i < size; ++i) config.setByteAt(i, static_cast<uint8_t>(i * 3 + 1));
    }
    std::vector<uint8_t> slot(int j) const {
        const uint8_t* start = config.data() + j * config.slotSize();
        return {start, start + config.slotSize()};
    }

    std::unique_ptr<Controller> controller;
    Worker worker;
    QMXHConfiguration config;
    QMXH qmxh;
};

TEST_P(Transfer, ReadFillsTheSlotsOfTheModulesType) {
    connectTo(0x3D01);
    const Outcome outcome = read();
    EXPECT_EQ(outcome.progress, (Ints{0, 0, 11, 22, 33, 44, 55, 66, 77, 88, 100}));
    EXPECT_EQ(outcome.errors, Ints{kHcNoError});
    EXPECT_EQ(config.type(), 0x3D01);
    for (int j = 0; j < 9; ++j) EXPECT_EQ(slot(j), controller->model.slot(static_cast<uint8_t>(j)));
    EXPECT_EQ(config.byteAt(1152), 0xFF);  // outside the slots: erased
    EXPECT_EQ(worker.transporter.thread(), QThread::currentThread());
    EXPECT_EQ(worker.transporter.operation(), ConfigTransporter::Idle);
}

TEST_P(Transfer, AnUnknownTypeOrAnotherTypeChangesNothing) {
    connectTo(0x3D01);
    fill(0xFD01);
    const std::vector<uint8_t> module = controller->model.image();
    EXPECT_EQ(write().errors, Ints{kHcConfigurationMismatch});
    EXPECT_EQ(controller->model.image(), module);
    for (const std::string& command : controller->text.commandTexts())
        EXPECT_NE(command.rfind("WHCS", 0), 0u);

    run(&ConfigTransporter::disconnectFromDevice);
    connectTo(0x1234);
    const Outcome outcome = read();
    EXPECT_EQ(outcome.progress, Ints{0});
    EXPECT_EQ(outcome.errors, Ints{kHcUnknownConfiguration});
    EXPECT_EQ(config.type(), 0xFD01);
    EXPECT_EQ(config.byteAt(1499), static_cast<uint8_t>(1499 * 3 + 1));
}

TEST_P(Transfer, WriteThenVerify) {
    connectTo(0xFD01);
    fill(0xFD01);
    const Outcome written = write();
    EXPECT_EQ(written.progress, (Ints{0, 0, 33, 66, 100}));
    EXPECT_EQ(written.errors, Ints{kHcNoError});
    for (int j = 0; j < 3; ++j) EXPECT_EQ(slot(j), controller->model.slot(static_cast<uint8_t>(j)));
    EXPECT_EQ(verify().errors, Ints{kHcNoError});

    const uint8_t changed = static_cast<uint8_t>(config.byteAt(1321) ^ 0x80);
    controller->model.writeSlot(2, 321, &changed, 1);
    const Outcome differs = verify();
    EXPECT_EQ(differs.progress, (Ints{0, 0, 33}));
    EXPECT_EQ(differs.errors, Ints{kHcVerificationFailed});

    // A byte that does not take as written (the last of slot 1).
    controller->model.alterNextSlotWrite(1, 499, static_cast<uint8_t>(config.byteAt(999) + 1));
    EXPECT_EQ(write().errors, Ints{kHcNoError});
    EXPECT_EQ(verify().errors, Ints{kHcVerificationFailed});
}

// Abort pressed as slot 1 completes: the read ends
// there, with the slots read so far kept.
TEST_P(Transfer, AbortDuringARead) {
    connectTo(0x3D01);
    QObject::connect(
        &worker.transporter, &ConfigTransporter::progress, &worker.transporter,
        [this](int value) {
            if (value == 11) worker.transporter.abortOperation();
        },
        Qt::DirectConnection);
    const Outcome outcome = read();
    EXPECT_EQ(outcome.progress, (Ints{0, 0, 11}));
    EXPECT_EQ(outcome.errors, Ints{kHcAborted});
    EXPECT_EQ(slot(1), controller->model.slot(1));
    EXPECT_EQ(slot(2), std::vector<uint8_t>(128, 0xFF));
}

INSTANTIATE_TEST_SUITE_P(EachMode, Transfer, ::testing::Values(Library, Serial, Network),
                         [](const auto& info) { return kModeNames[info.param]; });

// A library that reads a slot of another length than the type's: that slot
// would land at the wrong place.
TEST(LibraryRead, ASlotOfAnotherLengthIsAReadError) {
    using namespace vxsim::gen1;
    Controller controller(0x3D01);
    Worker worker;
    ASSERT_EQ(worker.connect(controller.locator(Library)).errors, Ints{kHcNoError});
    const vxsim::Bytes halfSlot{kSlotSize, 64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    controller.binary.addFault(
        vxsim::Fault::replace({kHandControlAddress, kHcmConfigSlot, kSlotSize},
                              vxsim::gen1Packet(kHandControlAddress, kHcmConfigSlot, halfSlot), 1));
    QMXHConfiguration config;
    QMXH qmxh;
    const Outcome outcome =
        worker.run([&](ConfigTransporter& t) { t.readConfigurationFromDevice(&config, &qmxh); });
    EXPECT_EQ(outcome.progress, Ints{0});
    EXPECT_EQ(outcome.errors, Ints{kHcReadError});
    worker.run([](ConfigTransporter& t) { t.disconnectFromDevice(); });
}

TEST(Connect, AFailedConnectGives1018AndADisconnectAlwaysSucceeds) {
    Worker worker;
    EXPECT_EQ(worker.connect("serial:/nonexistent/port").errors, Ints{kHcConnectFailed});
    const Outcome closed = worker.run([](ConfigTransporter& t) { t.disconnectFromDevice(); });
    EXPECT_EQ(closed.progress, (Ints{0, 100, 100}));
    EXPECT_EQ(closed.errors, Ints{kHcNoError});
}

}  // namespace
