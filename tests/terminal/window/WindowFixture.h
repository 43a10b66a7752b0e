#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextEdit>

#include <functional>
#include <memory>

#include "ApplicationSettings.h"
#include "DataInput.h"
#include "InputProperties.h"
#include "ScriptedDialogs.h"
#include "ShortCutButton.h"
#include "ShortCutButtonProperties.h"
#include "Terminal.h"
#include "sim/ControllerModel.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"
#include "sim/TextEndpoint.h"
#include "terminal/Support.h"

namespace terminaltest {

// A terminal window with its settings file in a folder of its own, a
// simulated controller's textual personality on a pseudo-terminal (reached
// as COM4) and on TCP loopback, and scripted dialogs.
class WindowTest : public ::testing::Test {
protected:
    static constexpr int kSimulatorCom = 4;

    void SetUp() override {
        pty.serve(text);
        home.com(kSimulatorCom, pty.devicePath());
        openWindow();
    }

    void openWindow() {
        window.reset();
        window = std::make_unique<Terminal>(nullptr, settingsPath());
    }

    QString settingsPath() const { return folder.filePath("appSettings.xml"); }
    QString file(const QString& name) const { return folder.filePath(name); }

    template <typename T>
    T* child(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QAction* action(const char* name) const { return child<QAction>(name); }
    QPushButton* connectButton() const { return child<QPushButton>("connectButton"); }
    QLineEdit* sendLine() const { return child<QLineEdit>("send"); }
    QTextEdit* receiveView() const { return child<QTextEdit>("receive"); }
    QString status() const { return child<QStatusBar>("statusBar")->currentMessage(); }
    QString title() const { return window->windowTitle(); }
    static QString titled(const QString& rest) { return Terminal::programTitle() + rest; }

    // The items in the boxes, once removed ones are gone.
    QList<ShortCutButton*> buttons() const {
        deleteRemoved();
        return child<QGroupBox>("shortCutBox")->findChildren<ShortCutButton*>();
    }
    QList<DataInput*> inputs() const {
        deleteRemoved();
        return child<QGroupBox>("inputBox")->findChildren<DataInput*>();
    }
    // Lets removed items go, as the event loop does.
    static void deleteRemoved() { QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    // The box's own "Add ..." action, answered by `fill`.
    template <typename Properties>
    void addThrough(const char* box, const std::function<void(Properties&)>& fill) {
        dialogs.answerDialog([fill](QDialog& dialog) {
            fill(dynamic_cast<Properties&>(dialog));
            return int(QDialog::Accepted);
        });
        child<QGroupBox>(box)->actions().front()->trigger();
    }
    void addButton(const QString& name, const QString& textToSend) {
        addThrough<ShortCutButtonProperties>("shortCutBox", [&](ShortCutButtonProperties& p) {
            p.setButtonName(name);
            p.setTextToSend(textToSend);
        });
    }
    void addInput(const DataInputRecord& record) {
        addThrough<InputProperties>("inputBox", [&](InputProperties& p) {
            p.setInputName(record.name);
            p.setMinValue(record.minValue);
            p.setDefaultValue(record.defaultValue);
            p.setMaxValue(record.maxValue);
            p.setHasSlider(record.hasSlider);
            p.setSendAsBinary(record.sendAsBinary);
            p.setBinaryFormat(record.binaryFormat);
            p.setCallShortCut(record.callShortCut);
            p.setShortCutToCall(record.shortCutToCall);
        });
    }

    // "Settings...", accepted with `data`.
    void applySettings(const ApplicationSettingsData& data) {
        dialogs.answerDialog([data](QDialog& dialog) {
            dynamic_cast<ApplicationSettings&>(dialog).setData(data);
            return int(QDialog::Accepted);
        });
        action("actionSettings")->trigger();
    }
    // Settings that reach the simulator by `connectionType`.
    ApplicationSettingsData simulatorSettings(int connectionType) const {
        ApplicationSettingsData data;
        data.connectionType = connectionType;
        data.comPort = kSimulatorCom;
        data.networkIp = "127.000.000.001";
        data.networkPort = server.port();
        return data;
    }
    void connectTo(int connectionType) {
        applySettings(simulatorSettings(connectionType));
        connectButton()->click();
        ASSERT_EQ(connectButton()->text(), "Disconnect") << status().toStdString();
    }

    ConfigHome home;
    QTemporaryDir folder;
    vxsim::ControllerModel model{vxsim::SystemSetup::standard(3, false)};
    vxsim::TextEndpoint text{model};
    vxsim::TcpServer server{text};
    vxsim::Pty pty;
    vxgui::ScriptedDialogs dialogs;
    std::unique_ptr<Terminal> window;
};

}  // namespace terminaltest
