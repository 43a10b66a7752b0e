#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "HandControlErrors.h"
#include "QMXHConfiguration.h"
#include "handcontrol/Controller.h"

using namespace std::chrono_literals;

namespace {

using handcontroltest::Controller;
using handcontroltest::Mode;
using handcontroltest::moduleByte;
using handcontroltest::Outcome;
using handcontroltest::slotProgress;
using handcontroltest::Worker;

std::vector<uint8_t> imageSlot(const QMXHConfiguration& c, int slot) {
    const uint8_t* start = c.data() + slot * c.slotSize();
    return std::vector<uint8_t>(start, start + c.slotSize());
}

// A worker connected to a controller whose module has EEPROM type `type`,
// in each of the three ways.
class Transfer : public ::testing::TestWithParam<Mode> {
protected:
    void connectTo(uint16_t type) {
        controller = std::make_unique<Controller>(type);
        const Outcome connected = worker.connect(controller->locator(GetParam()));
        ASSERT_EQ(connected.errors, std::vector<int>{kHcNoError});
        EXPECT_EQ(connected.progress, (std::vector<int>{0, 100, 100}));
        ASSERT_TRUE(connected.finished);
    }
    void TearDown() override {
        const Outcome disconnected =
            worker.run([](ConfigTransporter& t) { t.disconnectFromDevice(); });
        EXPECT_EQ(disconnected.errors, std::vector<int>{kHcNoError});
        EXPECT_EQ(worker.transporter.connection().mode(), QMXConnection::Closed);
    }

    Outcome read() {
        return worker.run(
            [&](ConfigTransporter& t) { t.readConfigurationFromDevice(&config, &qmxh); });
    }
    Outcome write() {
        return worker.run(
            [&](ConfigTransporter& t) { t.writeConfigurationToDevice(&qmxh, &config); });
    }
    Outcome verify() {
        return worker.run([&](ConfigTransporter& t) { t.verifyConfiguration(&qmxh, &config); });
    }
    // Every byte of the configuration i × 3 + 1.
    void fill(int type) {
        int size = 0;
        ASSERT_EQ(config.setType(type, size), kHcNoError);
        for (int i = 0; i < size; ++i) config.setByteAt(i, static_cast<uint8_t>(i * 3 + 1));
    }
    bool moduleHoldsConfiguration() const {
        for (int slot = 0; slot < config.slotCount(); ++slot)
            if (controller->model.slot(static_cast<uint8_t>(slot)) != imageSlot(config, slot))
                return false;
        return true;
    }

    std::unique_ptr<Controller> controller;
    Worker worker;
    QMXHConfiguration config;
    QMXH qmxh;
};

TEST_P(Transfer, ReadFillsTheSlotsOfTheModulesType) {
    connectTo(0x3D01);
    const Outcome outcome = read();
    EXPECT_EQ(outcome.progress, (std::vector<int>{0, 0, 11, 22, 33, 44, 55, 66, 77, 88, 100}));
    EXPECT_EQ(outcome.errors, std::vector<int>{kHcNoError});
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(config.type(), 0x3D01);
    for (int slot = 0; slot < 9; ++slot)
        EXPECT_EQ(imageSlot(config, slot), controller->model.slot(static_cast<uint8_t>(slot)))
            << slot;
    // Outside the slots the image stays erased.
    EXPECT_EQ(config.byteAt(1152), 0xFF);
    EXPECT_EQ(config.byteAt(2047), 0xFF);
    // The worker is back in the application's thread.
    EXPECT_EQ(worker.transporter.thread(), QThread::currentThread());
    EXPECT_EQ(worker.transporter.operation(), ConfigTransporter::Idle);
}

TEST_P(Transfer, AnUnknownTypeLeavesTheConfigurationAsItWas) {
    connectTo(0x1234);
    fill(0xFD01);
    const Outcome outcome = read();
    EXPECT_EQ(outcome.progress, std::vector<int>{0});
    EXPECT_EQ(outcome.errors, std::vector<int>{kHcUnknownConfiguration});
    EXPECT_EQ(config.type(), 0xFD01);
    EXPECT_EQ(config.byteAt(1499), static_cast<uint8_t>(1499 * 3 + 1));
}

TEST_P(Transfer, WriteToAModuleOfAnotherTypeWritesNothing) {
    connectTo(0x3D01);
    const std::vector<uint8_t> before = controller->model.image();
    fill(0xFD01);
    const Outcome outcome = write();
    EXPECT_EQ(outcome.progress, std::vector<int>{0});
    EXPECT_EQ(outcome.errors, std::vector<int>{kHcConfigurationMismatch});
    EXPECT_EQ(controller->model.image(), before);
    for (const std::string& command : controller->text.commandTexts())
        EXPECT_NE(command.rfind("WHCS", 0), 0u) << command;
}

TEST_P(Transfer, WriteThenVerify) {
    connectTo(0xFD01);
    fill(0xFD01);
    const Outcome written = write();
    EXPECT_EQ(written.progress, (std::vector<int>{0, 0, 33, 66, 100}));
    EXPECT_EQ(written.errors, std::vector<int>{kHcNoError});
    EXPECT_TRUE(moduleHoldsConfiguration());

    const Outcome verified = verify();
    EXPECT_EQ(verified.progress, slotProgress(3));
    EXPECT_EQ(verified.errors, std::vector<int>{kHcNoError});

    // One byte changed in the module.
    const uint8_t changed = static_cast<uint8_t>(config.byteAt(1000 + 321) ^ 0x80);
    controller->model.writeSlot(2, 321, &changed, 1);
    const Outcome differs = verify();
    EXPECT_EQ(differs.progress, (std::vector<int>{0, 0, 33}));
    EXPECT_EQ(differs.errors, std::vector<int>{kHcVerificationFailed});

    // One byte that does not take as it was written.
    controller->model.alterNextSlotWrite(1, 499, static_cast<uint8_t>(config.byteAt(999) + 1));
    EXPECT_EQ(write().errors, std::vector<int>{kHcNoError});
    EXPECT_EQ(verify().errors, std::vector<int>{kHcVerificationFailed});
}

INSTANTIATE_TEST_SUITE_P(EachMode, Transfer,
                         ::testing::Values(Mode::Library, Mode::Serial, Mode::Network),
                         [](const auto& info) { return handcontroltest::nameOf(info.param); });

// Abort pressed while a slot is read: the slot in progress completes, then
// the read ends.
class Abort : public Transfer {};

TEST_P(Abort, DuringAReadEndsAfterTheSlotInProgress) {
    connectTo(0x3D01);
    controller->text.addFault(vxsim::TextFault::late("RHCS2", 300ms, 1));
    controller->text.clearRecords();
    std::thread presser([&] {
        // The type, two slots of 16 pieces, and the first piece of slot 2,
        // which is answered late.
        if (controller->text.waitForCommands(1 + 2 * 16 + 1, 10s))
            worker.transporter.abortOperation();
    });
    const Outcome outcome = read();
    presser.join();
    EXPECT_EQ(outcome.progress, (std::vector<int>{0, 0, 11, 22}));
    EXPECT_EQ(outcome.errors, std::vector<int>{kHcAborted});
    for (int slot = 0; slot < 3; ++slot)
        EXPECT_EQ(imageSlot(config, slot), controller->model.slot(static_cast<uint8_t>(slot)));
    EXPECT_EQ(imageSlot(config, 3), std::vector<uint8_t>(128, 0xFF));
}

INSTANTIATE_TEST_SUITE_P(DirectModes, Abort, ::testing::Values(Mode::Serial, Mode::Network),
                         [](const auto& info) { return handcontroltest::nameOf(info.param); });

TEST(Connect, AFailedConnectIsReportedAs1018AndADisconnectAlwaysSucceeds) {
    Worker worker;
    const Outcome failed = worker.connect("serial:/nonexistent/port");
    EXPECT_EQ(failed.progress, std::vector<int>{0});
    EXPECT_EQ(failed.errors, std::vector<int>{kHcConnectFailed});
    EXPECT_TRUE(failed.finished);
    const Outcome closed = worker.run([](ConfigTransporter& t) { t.disconnectFromDevice(); });
    EXPECT_EQ(closed.progress, (std::vector<int>{0, 100, 100}));
    EXPECT_EQ(closed.errors, std::vector<int>{kHcNoError});
    // With nothing open a device read is a read error.
    QMXHConfiguration config;
    QMXH qmxh;
    const Outcome read =
        worker.run([&](ConfigTransporter& t) { t.readConfigurationFromDevice(&config, &qmxh); });
    EXPECT_EQ(read.errors, std::vector<int>{kHcReadError});
    EXPECT_EQ(config.type(), 0);
}

}  // namespace
