// The terminal's window on a real X server, in a working folder of its own
// (which holds its appSettings.xml), against the simulator's textual
// personality as COM7 and over TCP: a short-cut button, a data input whose
// slider sends binary values, the reply in the receive view, a saved
// configuration loaded again through a quick-load slot.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextEdit>

#include <memory>

#include "ApplicationSettings.h"
#include "DataInput.h"
#include "InputProperties.h"
#include "ScriptedDialogs.h"
#include "ShortCutButton.h"
#include "ShortCutButtonProperties.h"
#include "Terminal.h"
#include "VXSlider.h"
#include "e2e/programs/Screens.h"
#include "sim/ControllerModel.h"
#include "sim/PublishedComPort.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"
#include "sim/TextEndpoint.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;

constexpr int kCom = 7;

bool waitFor(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QTest::qWait(5);
    }
    return true;
}

struct Way {
    const char* name;
    int connectionType;
};

class TerminalProgram : public ::testing::TestWithParam<Way> {
protected:
    TerminalProgram() : previous_(QDir::currentPath()) {
        pty.serve(text);
        QDir::setCurrent(work.path());
    }
    ~TerminalProgram() override {
        window.reset();
        QDir::setCurrent(previous_);
    }

    template <typename T>
    T* child(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QString status() const { return child<QStatusBar>("statusBar")->currentMessage(); }
    QList<ShortCutButton*> buttons() const {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return child<QGroupBox>("shortCutBox")->findChildren<ShortCutButton*>();
    }
    QList<DataInput*> inputs() const {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return child<QGroupBox>("inputBox")->findChildren<DataInput*>();
    }

    // The settings dialog as a person fills it: `data`, then OK; the first
    // time it is also pictured.
    void settings(const char* action, const std::function<void(ApplicationSettingsData&)>& edit) {
        dialogs.answerDialog([this, edit](QDialog& dialog) {
            auto& form = dynamic_cast<ApplicationSettings&>(dialog);
            ApplicationSettingsData data = form.data();
            edit(data);
            form.setData(data);
            if (!settingsPictured) {
                settingsPictured = true;
                e2e::saveScreen(form, QStringLiteral("terminal-settings"),
                                QStringLiteral("ApplicationSettings"));
                form.hide();
            }
            return int(QDialog::Accepted);
        });
        child<QAction>(action)->trigger();
    }
    void addButton(const QString& name, const QString& textToSend) {
        dialogs.answerDialog([=](QDialog& dialog) {
            auto& form = dynamic_cast<ShortCutButtonProperties&>(dialog);
            form.setButtonName(name);
            form.setTextToSend(textToSend);
            return int(QDialog::Accepted);
        });
        child<QGroupBox>("shortCutBox")->actions().front()->trigger();
    }
    void addBinaryInput(const QString& name, int low, int high, int callButton) {
        dialogs.answerDialog([=](QDialog& dialog) {
            auto& form = dynamic_cast<InputProperties&>(dialog);
            form.setInputName(name);
            form.setMinValue(low);
            form.setDefaultValue(low);
            form.setMaxValue(high);
            form.setHasSlider(true);
            form.setSendAsBinary(true);
            form.setBinaryFormat(Binary8Bit);
            form.setCallShortCut(true);
            form.setShortCutToCall(callButton);
            return int(QDialog::Accepted);
        });
        child<QGroupBox>("inputBox")->actions().front()->trigger();
    }

    vxsim::ControllerModel model{vxsim::SystemSetup::standard(3, false)};
    vxsim::TextEndpoint text{model};
    vxsim::TcpServer server{text};
    vxsim::Pty pty;
    // The simulator's line as the terminal's COM7, in the test's configuration folder.
    vxsim::PublishedComPort com{kCom, pty.devicePath()};
    QTemporaryDir work;
    vxgui::ScriptedDialogs dialogs;
    std::unique_ptr<Terminal> window = std::make_unique<Terminal>();
    bool settingsPictured = false;

private:
    QString previous_;
};

TEST_P(TerminalProgram, ButtonsInputsReplySaveAndQuickLoad) {
    const bool pictures = GetParam().connectionType == SerialConnection;
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 5000));
    EXPECT_EQ(window->windowTitle(), Terminal::programTitle());

    settingsPictured = !pictures;
    settings("actionSettings", [&](ApplicationSettingsData& data) {
        data.connectionType = GetParam().connectionType;
        data.comPort = kCom;
        data.networkIp = QStringLiteral("127.000.000.001");
        data.networkPort = server.port();
    });
    // The settings are kept in the working folder.
    EXPECT_TRUE(QFile::exists(work.filePath("appSettings.xml")));
    child<QPushButton>("connectButton")->click();
    ASSERT_EQ(child<QPushButton>("connectButton")->text(), "Disconnect") << status().toStdString();

    addButton("Version", "GIV");
    addButton("Byte", "X$0");
    addBinaryInput("Value", 'A', 'Z', 1);
    ASSERT_EQ(buttons().size(), 2);
    ASSERT_EQ(inputs().size(), 1);

    text.clearRecords();
    buttons()[0]->click();
    const QString reply = QString::fromStdString(text.reply("GIV"));
    ASSERT_FALSE(reply.isEmpty());
    EXPECT_TRUE(waitFor([&] {
        return child<QTextEdit>("receive")->toPlainText().contains(reply.trimmed());
    })) << child<QTextEdit>("receive")->toPlainText().toStdString();

    // Two steps of the slider: each sends the called button with the value's byte.
    VXSlider* slider = inputs()[0]->findChild<VXSlider*>();
    ASSERT_NE(slider, nullptr);
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    ASSERT_TRUE(text.waitForCommands(3, 5000ms)) << text.received();
    EXPECT_EQ(text.received(), ":GIV\n:XB\n:XC\n");

    // Items added since the last file: the title marks the change.
    if (pictures) e2e::saveScreen(*window, QStringLiteral("terminal"), Terminal::programTitle() + " -- *");

    const QString saved = work.filePath("items.xml");
    dialogs.answerFile(saved);
    child<QAction>("actionS_ave_as")->trigger();
    ASSERT_TRUE(QFile::exists(saved));
    settings("actionEdit_Slots", [&](ApplicationSettingsData& data) { data.slotFiles[0] = saved; });
    child<QAction>("action_New")->trigger();
    EXPECT_TRUE(buttons().isEmpty());
    child<QAction>("actionSlot_1")->trigger();
    ASSERT_EQ(buttons().size(), 2);
    ASSERT_EQ(inputs().size(), 1);
    EXPECT_EQ(buttons()[1]->textToSend(), "X$0");
    EXPECT_TRUE(inputs()[0]->sendAsBinary());
    EXPECT_EQ(window->windowTitle(), Terminal::programTitle() + " -- items.xml");

    text.clearRecords();
    buttons()[0]->click();
    ASSERT_TRUE(text.waitForCommands(1, 5000ms));
    EXPECT_EQ(text.received(), ":GIV\n");

    child<QPushButton>("connectButton")->click();
    ASSERT_TRUE(e2e::closeAsWindowManager(*window));
}

INSTANTIATE_TEST_SUITE_P(Ways, TerminalProgram,
                         ::testing::Values(Way{"com", SerialConnection},
                                           Way{"tcp", NetworkConnection}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
