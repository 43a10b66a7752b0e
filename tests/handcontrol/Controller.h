#pragma once

#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ConfigTransporter.h"
#include "sim/ControllerModel.h"
#include "sim/Gen1Endpoint.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"
#include "sim/TextEndpoint.h"

namespace handcontroltest {

// The three ways to the controller.
enum class Mode { Library, Serial, Network };

inline const char* nameOf(Mode mode) {
    switch (mode) {
    case Mode::Library:
        return "library";
    case Mode::Serial:
        return "serial";
    case Mode::Network:
        return "network";
    }
    return "";
}

// Byte i of configuration slot `slot` as the simulated module starts.
inline uint8_t moduleByte(size_t slot, size_t i) {
    return static_cast<uint8_t>(slot * 37 + i * 11 + 5);
}

// One controller with a hand control module of EEPROM type `type` (slots
// filled with moduleByte), reachable through the controller library (the
// binary protocol over TCP) and directly (the textual protocol over a
// pseudo-terminal and over TCP).
struct Controller {
    explicit Controller(uint16_t type) : model(setup(type)) {
        binaryServer.setGreeting(vxsim::gen1Hello());
        pty.serve(text);
        const auto layout = vxsim::hcmImageLayout(model.setup());
        for (uint8_t slot = 0; slot < layout.slotCount; ++slot) {
            std::vector<uint8_t> bytes(layout.slotSize);
            for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = moduleByte(slot, i);
            model.writeSlot(slot, 0, bytes.data(), bytes.size());
        }
    }

    static vxsim::SystemSetup setup(uint16_t type) {
        vxsim::SystemSetup s = vxsim::SystemSetup::standard(1, true);
        s.hcmEepromType = type;
        return s;
    }

    std::string locator(Mode mode) const {
        switch (mode) {
        case Mode::Library:
            return binaryServer.locator();
        case Mode::Serial:
            return "serial:" + pty.devicePath();
        case Mode::Network:
            return textServer.locator();
        }
        return {};
    }

    vxsim::ControllerModel model;
    vxsim::Gen1Endpoint binary{model};
    vxsim::TextEndpoint text{model};
    vxsim::TcpServer binaryServer{binary};
    vxsim::TcpServer textServer{text};
    vxsim::Pty pty;
};

// What one operation reported, in order.
struct Outcome {
    std::vector<int> progress;
    std::vector<int> errors;
    bool finished = false;
};

// Drives the worker as the main window does: moved to its own thread for
// each operation, started by a queued call, back home when it finishes.
class Worker {
public:
    Worker() {
        QObject::connect(&thread, &QThread::started, &transporter, &ConfigTransporter::initMembers);
        QObject::connect(&transporter, &ConfigTransporter::finished, &thread, &QThread::quit);
    }
    ~Worker() {
        thread.quit();
        thread.wait();
    }

    // Runs `start` on the worker thread and collects the signals until
    // finished() (or 60 s).
    Outcome run(const std::function<void(ConfigTransporter&)>& start) {
        Outcome outcome;
        QEventLoop loop;
        QObject receiver;
        QObject::connect(
            &transporter, &ConfigTransporter::progress, &receiver,
            [&](int value) { outcome.progress.push_back(value); }, Qt::QueuedConnection);
        QObject::connect(
            &transporter, &ConfigTransporter::error, &receiver,
            [&](int code) { outcome.errors.push_back(code); }, Qt::QueuedConnection);
        QObject::connect(
            &transporter, &ConfigTransporter::finished, &receiver,
            [&] {
                outcome.finished = true;
                loop.quit();
            },
            Qt::QueuedConnection);
        transporter.moveToThread(&thread);
        thread.start();
        QMetaObject::invokeMethod(
            &transporter, [&] { start(transporter); }, Qt::QueuedConnection);
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

    // Declared first: the transporter goes before its thread.
    QThread thread;
    ConfigTransporter transporter;
};

// Progress of a device operation over `count` slots that succeeds.
inline std::vector<int> slotProgress(int count) {
    std::vector<int> values{0};
    for (int j = 0; j < count; ++j) values.push_back(j * 100 / count);
    values.push_back(100);
    return values;
}

}  // namespace handcontroltest
