#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <chrono>

#include "ApplicationSettingsFile.h"
#include "ConfigurationFile.h"
#include "WindowFixture.h"
#include "support/SparseFile.h"

namespace {

using namespace terminaltest;
using TerminalTest = WindowTest;

TEST_F(TerminalTest, StartsUnconnectedWithTheSettingsFileAndCentred) {
    // No settings file: the status bar says so, the settings are the defaults.
    EXPECT_EQ(status(), "Could not open application settings file. Set defaults.");
    EXPECT_EQ(title(), "Textdesk v1.2.18");
    EXPECT_EQ(connectButton()->text(), "Connect");
    EXPECT_FALSE(sendLine()->isEnabled());
    EXPECT_TRUE(receiveView()->isReadOnly());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window->size(), QSize(533, 371));
    EXPECT_EQ(window->geometry().topLeft(),
              QPoint(area.center().x() - 533 / 2, area.center().y() - 371 / 2));

    // A settings file names the slots' files and the connection.
    ApplicationSettingsData data = simulatorSettings(NetworkConnection);
    data.slotFiles[1] = file("two.xml");
    data.slotFiles[7] = file("eight.xml");
    ASSERT_TRUE(ApplicationSettingsFile(settingsPath()).saveApplicationSettings(data));
    openWindow();
    EXPECT_EQ(status(), "");
    const struct {
        const char* action;
        QString caption;
    } captions[] = {{"actionSlot_1", "Slot 1"}, {"actionSlot_2", file("two.xml")},
                 {"actionSlot_7", "Slot 7"}, {"actionSlot_8", file("eight.xml")}};
    for (const auto& slot : captions) EXPECT_EQ(action(slot.action)->text(), slot.caption);
    connectButton()->click();
    EXPECT_EQ(status(),
              QString("Network port on 127.000.000.001:%1 opened successfully.").arg(server.port()));
}

// Connect and disconnect over both ports, and the failures with their codes.
TEST_F(TerminalTest, ConnectsAndDisconnectsByTheSettings) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 refusing = closed.serverPort();
    closed.close();
    home.com(5, "/no/such/tty");

    struct Row {
        int type;
        int comPort;
        quint16 tcpPort;
        QString opened;  // empty: the open fails
        QString failed;
    };
    const Row table[] = {
        {SerialConnection, kSimulatorCom, 0, "Serial port COM4 opened successfully.", ""},
        {NetworkConnection, 1, server.port(),
         QString("Network port on 127.000.000.001:%1 opened successfully.").arg(server.port()), ""},
        {SerialConnection, 5, 0, "", "Failed to open serial port COM5! Error: 2"},
        {NetworkConnection, 1, refusing, "",
         QString("Failed to open network port on 127.000.000.001:%1! Error: 2").arg(refusing)},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.opened.isEmpty() ? row.failed.toStdString() : row.opened.toStdString());
        ApplicationSettingsData data = simulatorSettings(row.type);
        data.comPort = row.comPort;
        data.networkPort = row.tcpPort;
        applySettings(data);
        connectButton()->click();
        if (row.opened.isEmpty()) {
            EXPECT_EQ(status(), row.failed);
            EXPECT_EQ(connectButton()->text(), "Connect");
            EXPECT_FALSE(sendLine()->isEnabled());
            continue;
        }
        EXPECT_EQ(status(), row.opened);
        EXPECT_EQ(connectButton()->text(), "Disconnect");
        ASSERT_TRUE(sendLine()->isEnabled());

        // Typed text reaches the controller, its reply the receive view.
        text.clearRecords();
        receiveView()->clear();
        sendLine()->setText("GNC");
        QTest::keyClick(sendLine(), Qt::Key_Return);
        ASSERT_TRUE(text.waitForCommands(1, 5000ms));
        EXPECT_EQ(text.received(), ":GNC\n");
        EXPECT_EQ(sendLine()->text(), "GNC");
        EXPECT_TRUE(waitFor([&] { return receiveView()->toPlainText() == ":N3\n"; }))
            << receiveView()->toPlainText().toStdString();

        connectButton()->click();
        EXPECT_EQ(status(), "Port closed.");
        EXPECT_EQ(connectButton()->text(), "Connect");
        EXPECT_FALSE(sendLine()->isEnabled());
    }
}

// Ctrl+C clicks Connect whatever its caption, in the send line too; the
// send line also takes Escape.
TEST_F(TerminalTest, KeyPressesOfTheWindowAndTheSendLine) {
    applySettings(simulatorSettings(NetworkConnection));
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QSignalSpy clicks(connectButton(), &QPushButton::clicked);
    struct Row {
        const char* where;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int clicks;
        QString caption;
        QString sendLine;
    };
    const Row table[] = {
        {"window", Qt::Key_C, Qt::ControlModifier, 1, "Disconnect", "typed"},
        {"send", Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier, 0, "Disconnect", "typed"},
        {"send", Qt::Key_Escape, Qt::NoModifier, 0, "Disconnect", ""},
        {"window", Qt::Key_Escape, Qt::NoModifier, 0, "Disconnect", "typed"},
        {"send", Qt::Key_C, Qt::ControlModifier, 1, "Connect", "typed"},
        {"window", Qt::Key_C, Qt::ControlModifier, 1, "Disconnect", "typed"},
        {"send", Qt::Key_C, Qt::ControlModifier, 1, "Connect", "typed"},
    };
    int expectedClicks = 0;
    for (const Row& row : table) {
        SCOPED_TRACE(std::string(row.where) + " " + QKeySequence(row.key | row.modifiers)
                                                        .toString()
                                                        .toStdString());
        sendLine()->setText("typed");
        QWidget* target = child<QCheckBox>("autoClear");
        if (QByteArray(row.where) == "send") {
            ASSERT_TRUE(sendLine()->isEnabled());
            sendLine()->setFocus();
            target = sendLine();
        } else {
            target->setFocus();
        }
        QTest::keyClick(target, row.key, row.modifiers);
        // The window's short cut animates the click: it comes from the
        // event loop. A click that should not have come shows in a later row.
        expectedClicks += row.clicks;
        EXPECT_TRUE(waitFor([&] { return clicks.count() >= expectedClicks; }));
        EXPECT_EQ(clicks.count(), expectedClicks);
        EXPECT_EQ(connectButton()->text(), row.caption);
        EXPECT_EQ(sendLine()->text(), row.sendLine);
    }
}

TEST_F(TerminalTest, AutoClearEmptiesTheViewOnALoneNulOverEitherPort) {
    struct Row {
        bool autoClear;
        QByteArray bytes;
        QString shown;
    };
    const QString before = "before";
    const Row table[] = {
        {true, QByteArray(1, '\0'), ""},
        {true, QByteArray("A\0B\n", 4), before + QString("A") + QChar(0) + "B\n"},
        {false, QByteArray(1, '\0'), before + QChar(0)},
        {false, QByteArray("A\0B\n", 4), before + QString("A") + QChar(0) + "B\n"},
    };
    const struct {
        int connection;
        std::function<bool(const QByteArray&)> peerSends;
    } ports[] = {
        {SerialConnection, [&](const QByteArray& bytes) { return pty.write(bytes.toStdString()); }},
        {NetworkConnection,
         [&](const QByteArray& bytes) {
             return server.sendToAll(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                     static_cast<size_t>(bytes.size())) == 1u;
         }},
    };
    auto* autoClear = child<QCheckBox>("autoClear");
    for (const auto& port : ports) {
        if (connectButton()->text() == "Disconnect") connectButton()->click();
        connectTo(port.connection);
        if (port.connection == NetworkConnection) {
            ASSERT_TRUE(server.waitOpenLinks(1, 5000ms));
        }
        for (const Row& row : table) {
            SCOPED_TRACE(port.connection * 100 + row.bytes.size() + 10 * row.autoClear);
            autoClear->setChecked(row.autoClear);
            receiveView()->setFocus();
            child<QPushButton>("clearReceive")->click();
            EXPECT_EQ(window->focusWidget(), sendLine());
            ASSERT_TRUE(port.peerSends(before.toUtf8()));
            ASSERT_TRUE(waitFor([&] { return receiveView()->toPlainText() == before; }));
            ASSERT_TRUE(port.peerSends(row.bytes));
            EXPECT_TRUE(waitFor([&] { return receiveView()->toPlainText() == row.shown; }))
                << receiveView()->toPlainText().toStdString();
        }
    }
}

TEST_F(TerminalTest, TitleFollowsNewAdditionsLoadsAndSaves) {
    struct Row {
        const char* step;
        std::function<void()> act;
        QString title;
        const char* written;  // a file the step wrote, or none
    };
    const Row table[] = {
        {"new", [&] { action("action_New")->trigger(); }, titled(" -- "), nullptr},
        {"add a button, its dialog untouched",
         [&] { addThrough<ShortCutButtonProperties>("shortCutBox", [](auto&) {}); },
         titled(" -- *"), nullptr},
        {"cancel a button's dialog",
         [&] { child<QGroupBox>("shortCutBox")->actions().front()->trigger(); }, titled(" -- *"),
         nullptr},
        {"add another", [&] { addButton("Home", "1OR"); }, titled(" -- *"), nullptr},
        {"save as setup",
         [&] {
             dialogs.answerFile(file("setup"));
             action("actionS_ave_as")->trigger();
         },
         titled(" -- setup.xml"), "setup.xml"},
        {"add an input without a slider",
         [&] { addInput({"Speed", 0, 5, 10, false, false, 0, false, 0}); },
         titled(" -- setup.xml*"), nullptr},
        {"save", [&] { action("action_Save")->trigger(); }, titled(" -- setup.xml"), nullptr},
        {"save as SETUP.XML",
         [&] {
             dialogs.answerFile(file("SETUP.XML"));
             action("actionS_ave_as")->trigger();
         },
         titled(" -- SETUP.XML.xml"), "SETUP.XML.xml"},
        {"new again", [&] { action("action_New")->trigger(); }, titled(" -- "), nullptr},
        {"open setup.xml",
         [&] {
             dialogs.answerFile(file("setup.xml"));
             action("action_Open")->trigger();
         },
         titled(" -- setup.xml"), nullptr},
        {"save with nothing chosen", [&] { action("actionS_ave_as")->trigger(); },
         titled(" -- setup.xml"), nullptr},
    };
    for (const Row& row : table) {
        row.act();
        deleteRemoved();
        EXPECT_EQ(title(), row.title) << row.step;
        if (row.written) {
            EXPECT_TRUE(QFile::exists(file(row.written))) << row.step;
        }
    }
    EXPECT_FALSE(QFile::exists(file("SETUP.XML")));
    // What was loaded is what was saved, in order.
    ASSERT_EQ(buttons().size(), 2);
    EXPECT_EQ(buttons()[0]->text(), "Short cut");
    EXPECT_TRUE(buttons()[0]->textToSend().isEmpty());
    EXPECT_EQ(buttons()[1]->text(), "Home");
    EXPECT_EQ(buttons()[1]->textToSend(), "1OR");
    ASSERT_EQ(inputs().size(), 1);
    EXPECT_EQ(inputs()[0]->name(), "Speed");
    EXPECT_EQ(inputs()[0]->value(), 5);
    EXPECT_FALSE(inputs()[0]->hasSlider());
    EXPECT_EQ(dialogs.dialogTitles(),
              (std::vector<QString>{"ShortCutButtonProperties", "ShortCutButtonProperties",
                                    "ShortCutButtonProperties", "InputProperties"}));
    for (const vxgui::FileDialogRequest& request : dialogs.fileRequests()) {
        EXPECT_EQ(request.parent, nullptr);
        EXPECT_EQ(request.directory, ".");
        EXPECT_EQ(request.filter, "XML files (*.xml)");
        EXPECT_EQ(request.caption, request.kind == vxgui::FileDialogRequest::Kind::Save
                                       ? "Save Configuration"
                                       : "Load Configuration");
    }
    EXPECT_TRUE(dialogs.boxes().empty());
}

TEST_F(TerminalTest, RemovalAsksAndCancelKeepsItemAndTitle) {
    struct Row {
        const char* item;
        const char* boxTitle;
        const char* question;
    };
    const Row table[] = {{"Remove Button", "Remove Button", "Really remove this button?"},
                         {"Remove Input", "Remove Input", "Really remove this input?"}};
    for (const Row& row : table) {
        SCOPED_TRACE(row.item);
        action("action_New")->trigger();
        addButton("Home", "1OR");
        addInput({"Speed", 0, 5, 10, true, false, 0, false, 0});
        dialogs.answerFile(file("kept.xml"));
        action("actionS_ave_as")->trigger();
        const QString saved = title();
        QWidget* item = QByteArray(row.item) == "Remove Button" ? static_cast<QWidget*>(buttons()[0])
                                                                : inputs()[0];
        QAction* remove = nullptr;
        for (QAction* candidate : item->actions())
            if (candidate->text() == row.item) remove = candidate;
        ASSERT_NE(remove, nullptr);

        dialogs.clear();
        dialogs.answerBox(1);  // Cancel
        remove->trigger();
        deleteRemoved();
        ASSERT_EQ(dialogs.boxes().size(), 1u);
        const vxgui::MessageBoxRequest& box = dialogs.boxes().front();
        EXPECT_EQ(box.title, row.boxTitle);
        EXPECT_EQ(box.text, row.question);
        EXPECT_EQ(box.buttons, (QStringList{"Remove", "Cancel"}));
        EXPECT_EQ(box.defaultButton, 0);
        EXPECT_EQ(box.parent, nullptr);
        EXPECT_EQ(buttons().size() + inputs().size(), 2);
        EXPECT_EQ(title(), saved);

        dialogs.answerBox(0);  // Remove
        QPointer<QWidget> gone(item);
        remove->trigger();
        deleteRemoved();
        EXPECT_TRUE(gone.isNull());
        EXPECT_EQ(buttons().size() + inputs().size(), 1);
        EXPECT_EQ(title(), saved + "*");
    }
}

TEST_F(TerminalTest, QuickLoadOfSlots) {
    TerminalConfiguration configuration;
    configuration.buttons = {{"Stop", "S"}, {"Go", "G"}};
    ASSERT_TRUE(ConfigurationFile(QFileInfo(file("quick.xml"))).saveConfiguration(configuration));
    ApplicationSettingsData data;
    data.slotFiles[0] = file("quick.xml");
    data.slotFiles[2] = file("gone.xml");
    dialogs.answerDialog([&](QDialog& dialog) {
        auto& settings = dynamic_cast<ApplicationSettings&>(dialog);
        EXPECT_EQ(settings.currentTab(), 2);
        settings.setData(data);
        return int(QDialog::Accepted);
    });
    action("actionEdit_Slots")->trigger();
    EXPECT_EQ(action("actionSlot_1")->text(), file("quick.xml"));
    EXPECT_EQ(action("actionSlot_2")->text(), "Slot 2");

    addButton("Mine", "M");
    const QString modified = title();
    struct Row {
        const char* slot;
        QStringList boxes;
        int buttons;
        QString title;
    };
    const Row table[] = {
        {"actionSlot_2", {}, 1, modified},
        {"actionSlot_3", {"Could not open file!"}, 1, modified},
        {"actionSlot_1", {}, 2, titled(" -- quick.xml")},
    };
    for (const Row& row : table) {
        dialogs.clear();
        action(row.slot)->trigger();
        deleteRemoved();
        QStringList shown;
        for (const QString& text : dialogs.boxTexts()) shown << text;
        EXPECT_EQ(shown, row.boxes) << row.slot;
        EXPECT_EQ(buttons().size(), row.buttons) << row.slot;
        EXPECT_EQ(title(), row.title) << row.slot;
        EXPECT_TRUE(dialogs.fileRequests().empty());
    }
}

// A file far longer than any of its kind, starting as one: not read, refused
// as a file that cannot be opened, at once, and the window goes on.
TEST_F(TerminalTest, FilesTooLongToReadAreRefusedAsUnopened) {
    using namespace std::chrono_literals;
    const QString huge = file("huge.xml");
    struct Row {
        const char* read;
        QString path;
        const char* start;
        std::function<void()> act;
        std::vector<QString> texts;  // the status bar's, then the boxes'
    };
    const Row table[] = {
        {"the settings at start", settingsPath(),
         "<?xml version=\"1.0\"?>\n<!DOCTYPE TextdeskApplicationSettings>\n"
         "<TextdeskApplicationSettings version=\"2.0\">\n",
         [&] {
             openWindow();
             window->show();
         },
         {"Could not open application settings file. Set defaults."}},
        {"a configuration opened", huge,
         "<?xml version=\"1.0\"?>\n<!DOCTYPE TextdeskConfiguration>\n"
         "<TextdeskConfiguration version=\"1.0\">\n",
         [&] {
             dialogs.answerFile(huge);
             action("action_Open")->trigger();
         },
         {"Could not open application settings file. Set defaults.", "Could not open file!"}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.read);
        ASSERT_TRUE(vxtest::writeSparseTebibyte(row.path.toStdString(), row.start));
        dialogs.clear();
        const auto start = std::chrono::steady_clock::now();
        row.act();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
        std::vector<QString> texts{status()};
        for (const QString& text : dialogs.boxTexts()) texts.push_back(text);
        EXPECT_EQ(texts, row.texts);
        QCoreApplication::processEvents();
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(title(), "Textdesk v1.2.18");
    }
}

TEST_F(TerminalTest, AcceptedSettingsAreKeptAndAnotherConnectionTypeClosesThePort) {
    connectTo(SerialConnection);
    struct Row {
        const char* change;
        int result;
        std::function<void(ApplicationSettings&)> edit;
        QString caption;
        QString status;
    };
    const QString opened = "Serial port COM4 opened successfully.";
    const Row table[] = {
        {"another type, rejected", QDialog::Rejected,
         [](ApplicationSettings& s) { s.setConnectionType(NetworkConnection); }, "Disconnect",
         opened},
        {"another COM port and rate", QDialog::Accepted,
         [](ApplicationSettings& s) {
             s.setComPort(9);
             s.setBaudRateIndex(3);
         },
         "Disconnect", opened},
        {"another type", QDialog::Accepted,
         [](ApplicationSettings& s) { s.setConnectionType(NetworkConnection); }, "Connect",
         "Port closed."},
    };
    for (const Row& row : table) {
        dialogs.answerDialog([&](QDialog& dialog) {
            auto& settings = dynamic_cast<ApplicationSettings&>(dialog);
            EXPECT_EQ(settings.currentTab(), 0);
            row.edit(settings);
            return row.result;
        });
        action("actionSettings")->trigger();
        EXPECT_EQ(connectButton()->text(), row.caption) << row.change;
        EXPECT_EQ(status(), row.status) << row.change;
    }
    // The file holds what was accepted last; a new window starts from it.
    ApplicationSettingsData written;
    ASSERT_TRUE(ApplicationSettingsFile(settingsPath()).loadApplicationSettings(written).loaded);
    EXPECT_EQ(written.connectionType, NetworkConnection);
    EXPECT_EQ(written.comPort, 9);
    EXPECT_EQ(written.baudRateIndex, 3);
    openWindow();
    connectButton()->click();
    EXPECT_EQ(connectButton()->text(), "Disconnect");
    EXPECT_TRUE(status().startsWith("Network port on 127.000.000.001:")) << status().toStdString();
}

TEST_F(TerminalTest, BoxesAreSizedByTheirItems) {
    const auto expected = [](const auto& items, int lowestWidth) {
        int height = 20, width = 0;
        for (const QWidget* item : items) {
            height += item->sizeHint().height() + 3;
            width = std::max(width, item->sizeHint().width());
        }
        return QSize(std::max(width + 16, lowestWidth), items.isEmpty() ? 50 : std::max(height, 50));
    };
    struct Row {
        const char* step;
        std::function<void()> act;
    };
    const Row table[] = {
        {"none", [] {}},
        {"a button", [&] { addButton("Home", "1OR"); }},
        {"a button with a long caption",
         [&] { addButton("A caption far wider than a hundred pixels", "x"); }},
        {"an input", [&] { addInput({"Speed", -1000000, 0, 1000000, true, false, 0, false, 0}); }},
        {"three more buttons",
         [&] {
             for (int i = 0; i < 3; ++i) addButton("More", "m");
         }},
        {"new", [&] { action("action_New")->trigger(); }},
    };
    auto* buttonBox = child<QGroupBox>("shortCutBox");
    auto* inputBox = child<QGroupBox>("inputBox");
    for (const Row& row : table) {
        row.act();
        deleteRemoved();
        const QSize forButtons = expected(buttons(), 100);
        const QSize forInputs = expected(inputs(), 200);
        const int height = std::max(forButtons.height(), forInputs.height());
        EXPECT_EQ(buttonBox->minimumSize(), QSize(forButtons.width(), height)) << row.step;
        EXPECT_EQ(inputBox->minimumSize(), QSize(forInputs.width(), height)) << row.step;
    }
    EXPECT_EQ(buttonBox->minimumSize(), QSize(100, 50));
    EXPECT_EQ(inputBox->minimumSize(), QSize(200, 50));
}

}  // namespace
