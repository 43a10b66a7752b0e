#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "QMXHConfigurator.h"
#include "ScriptedDialogs.h"
#include "handcontrol/Controller.h"
#include "platform/SerialPortSource.h"

namespace hcwindowtest {

using handcontroltest::Controller;
using handcontroltest::Mode;

// The ports the tests offer, by their device paths.
inline const std::vector<std::string> kSerialPorts{"/dev/ttyS0", "/dev/ttyS5"};

// Only first-generation systems are listed, whatever library lies beside
// the tests; once, before the first window.
void prepareEnvironment();
// The I/O library keeps its USB list for a moment; a change must show at once.
void rescanUsb();

// The actions, in menu order, by the short names the tests compare.
inline const std::pair<const char*, const char*> kActions[] = {
    {"actionLoad_from_file", "Load"},
    {"actionSave_to_file", "Save"},
    {"actionClose", "Close"},
    {"actionExit", "Exit"},
    {"actionConnect", "Connect"},
    {"actionDisconnect", "Disconnect"},
    {"actionRead_configuration", "Read"},
    {"actionWrite_configuration", "Write"},
    {"actionVerify_configuration", "Verify"},
    {"actionAuto_verify", "AutoVerify"},
};

// An answer for the locator dialog: `locator` typed and "Connect" pressed.
inline std::function<int(QDialog&)> typeLocator(const QString& locator) {
    return [locator](QDialog& dialog) {
        dialog.findChild<QComboBox*>(QStringLiteral("locatorCombobox"))->setEditText(locator);
        dialog.findChild<QPushButton*>(QStringLiteral("locatorConnect"))->click();
        return dialog.result();
    };
}

// One window with scripted file and locator dialogs, the tests' serial
// ports and, on demand, a controller with a hand control module.
class WindowTest : public ::testing::Test {
public:
    WindowTest() {
        prepareEnvironment();
        window = std::make_unique<QMXHConfigurator>();
        QObject::connect(&window->operationDialog(), &QDialog::finished, window.get(),
                         [this](int code) { codes.push_back(code); });
    }

    QAction* action(const char* name) const {
        QAction* found = window->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void trigger(const char* name) { action(name)->trigger(); }
    // The short names of the enabled actions.
    std::string enabled() const {
        std::string names;
        for (const auto& [object, name] : kActions)
            if (action(object)->isEnabled()) names += std::string(names.empty() ? "" : " ") + name;
        return names;
    }
    std::string status() const {
        return window->findChild<QStatusBar*>(QStringLiteral("statusBar"))
            ->currentMessage()
            .toStdString();
    }
    // "No Data", or the class of the editor shown.
    std::string page() const {
        QWidget* current =
            window->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"))->currentWidget();
        return current->objectName() == QLatin1String("page") ? "No Data"
                                                              : current->metaObject()->className();
    }
    // A ".hcmc" file of `type` with a whole image.
    QString fileOf(int type);

    // Loads a file of `type` through the open-file dialog; type 0 cancels it.
    void load(int type) {
        dialogs.answerFile(type ? fileOf(type) : QString());
        trigger("actionLoad_from_file");
    }
    // Loads a file whose magic is wrong.
    void loadBad();
    void connectTo(Mode mode, uint16_t type = 0x3D01) {
        controller = std::make_unique<Controller>(type);
        dialogs.answerDialog(typeLocator(QString::fromStdString(controller->locator(mode))));
        trigger("actionConnect");
    }

    vxplatform::ScopedSerialPorts ports{kSerialPorts};
    vxgui::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<Controller> controller;  // outlives the window's connection
    std::unique_ptr<QMXHConfigurator> window;
    // The results of the progress dialog's runs.
    std::vector<int> codes;
};

}  // namespace hcwindowtest
