#pragma once

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "ConfigTransporter.h"
#include "support/SimulatedController.h"

namespace handcontroltest {

// The three ways to the controller: the library, a serial line, TCP.
enum Mode { Library, Serial, Network };
inline const char* const kModeNames[] = {"library", "serial", "network"};

// Byte i of slot `slot` of the simulated module.
inline uint8_t moduleByte(size_t slot, size_t i) {
    return static_cast<uint8_t>(slot * 37 + i * 11 + 5);
}

// A controller with a hand control module of EEPROM `type`, reached through
// the library (binary protocol over TCP) or directly (textual protocol over
// a pseudo-terminal or TCP).
struct Controller : vxtest::SimulatedController {
    explicit Controller(uint16_t type)
        : SimulatedController([type] {
              vxsim::SystemSetup s = vxsim::SystemSetup::standard(1, true);
              s.hcmEepromType = type;
              return s;
          }()) {
        const auto layout = vxsim::hcmImageLayout(model.setup());
        for (uint8_t slot = 0; slot < layout.slotCount; ++slot)
            for (uint16_t i = 0; i < layout.slotSize; ++i) {
                const uint8_t byte = moduleByte(slot, i);
                model.writeSlot(slot, i, &byte, 1);
            }
    }
    std::string locator(Mode mode) const {
        if (mode == Library) return binaryServer.locator();
        return mode == Serial ? "serial:" + pty.devicePath() : textServer.locator();
    }
};

struct Outcome {
    std::vector<int> progress;
    std::vector<int> errors;
};

// Drives the worker as the main window does: moved to its thread for each
// operation, started by a queued call, back home when it has finished.
struct Worker {
    Worker() {
        QObject::connect(&thread, &QThread::started, &transporter, &ConfigTransporter::initMembers);
        QObject::connect(&transporter, &ConfigTransporter::finished, &thread, &QThread::quit);
    }
    ~Worker() {
        thread.quit();
        thread.wait();
    }
    Outcome run(const std::function<void(ConfigTransporter&)>& start) {
        Outcome outcome;
        QEventLoop loop;
        QObject receiver;
        const auto queued = Qt::QueuedConnection;
        QObject::connect(
            &transporter, &ConfigTransporter::progress, &receiver,
            [&](int value) { outcome.progress.push_back(value); }, queued);
        QObject::connect(
            &transporter, &ConfigTransporter::error, &receiver,
            [&](int code) { outcome.errors.push_back(code); }, queued);
        QObject::connect(&transporter, &ConfigTransporter::finished, &loop, &QEventLoop::quit,
                         queued);
        transporter.moveToThread(&thread);
        thread.start();
        QMetaObject::invokeMethod(
            &transporter, [&] { start(transporter); }, queued);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        thread.quit();
        thread.wait(10000);
        return outcome;
    }
    Outcome connect(const std::string& locator) {
        return run(
            [&](ConfigTransporter& t) { t.connectToDevice(QString::fromStdString(locator)); });
    }

    QThread thread;  // declared first: the transporter goes before it
    ConfigTransporter transporter;
};

}  // namespace handcontroltest
