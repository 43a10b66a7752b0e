#pragma once

#include <QCoreApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QString>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "ConfigurationResources.h"
#include "QMXConnection.h"
#include "ScriptedDialogs.h"
#include "sim/ControllerModel.h"
#include "support/SimulatedController.h"
#include "ui_QMXConfiguration.h"

// Readable texts in the tests' failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace pagetest {

using namespace std::chrono_literals;

// Runs the event loop until `condition` holds or the deadline passes.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds deadline = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QTest::qWait(5);
    }
    return true;
}

// Runs the event loop for `period`: a window in which nothing more may
// happen.
inline void runEventsFor(std::chrono::milliseconds period) {
    waitFor([] { return false; }, period);
}

// The time-out of the status bar's message; 0 when it stays.
inline int messageTimeout(QStatusBar* bar) {
    const QTimer* timer = bar->findChild<QTimer*>();
    return timer && timer->isActive() ? timer->interval() : 0;
}

inline QString q(const std::string& text) { return QString::fromStdString(text); }

// The main window's form, set up on a bare window.
struct Form {
    Form() {
        initConfigurationResources();
        ui.setupUi(&window);
    }
    QMainWindow window;
    Ui::QMXConfigurationClass ui;
};

// The simulated system with the locators the tool's tests open it by.
struct Controller : vxtest::SimulatedController {
    using SimulatedController::SimulatedController;

    // Capitals: the library takes no such locator, so the direct way opens
    // at once.
    QString directLocator() const {
        return q("NETWORK:127.0.0.1:" + std::to_string(textServer.port()));
    }
    QString libraryLocator() const { return q(binaryServer.locator()); }
    QString serialLocator() const { return q("serial:" + pty.devicePath()); }
};

// Closes what a test opened, so that the peer outlives the connection.
struct OpenConnection {
    explicit OpenConnection(const QString& locator) : status(connection.openSystem(locator)) {}
    ~OpenConnection() {
        if (connection.mode() != QMXConnection::Closed) connection.closeSystem();
    }
    QMXConnection connection;
    uint32_t status;
};

}  // namespace pagetest
