#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>

#include "ApplicationSettings.h"
#include "ScriptedDialogs.h"
#include "terminal/Support.h"

namespace {

using terminaltest::ConfigHome;

class ApplicationSettingsTest : public ::testing::Test {
protected:
    template <typename T>
    T* child(const char* name) {
        T* widget = settings.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    bool enabled(const char* group) { return child<QGroupBox>(group)->isEnabled(); }

    ConfigHome home;
    ApplicationSettings settings;
};

TEST_F(ApplicationSettingsTest, NewInstanceShowsTheDefaults) {
    struct Expectation {
        const char* what;
        QVariant actual;
        QVariant expected;
    };
    const Expectation table[] = {
        {"connectionType", settings.connectionType(), 0},
        {"serial checked", child<QRadioButton>("serialConnection")->isChecked(), true},
        {"serial group", enabled("serialConfigurationGroup"), true},
        {"network group", enabled("networkConfigurationGroup"), false},
        {"baudRate", settings.baudRate(), 9600},
        {"baudRateIndex", settings.baudRateIndex(), 0},
        {"baudRates", settings.baudRates(),
         QStringList{"9600", "14400", "19200", "38400", "57600", "100000", "115200"}},
        {"comPort", settings.comPort(), 1},
        {"networkPort text", child<QLineEdit>("networkPort")->text(), "5000"},
        {"networkPort", settings.networkPort(), 5000},
        {"networkIp", settings.networkIp(), "192.168.001.200"},
        {"initialString", settings.initialString(), ":"},
        {"terminalString", settings.terminalString(), "\\012"},
        {"sendInitialString", settings.sendInitialString(), true},
        {"sendTerminalString", settings.sendTerminalString(), true},
        {"page", settings.currentTab(), 0},
        {"title", settings.windowTitle(), "ApplicationSettings"},
        {"size", settings.size(), QSize(395, 347)},
        {"comPort minimum", child<QSpinBox>("comPort")->minimum(), 1},
        {"comPort maximum", child<QSpinBox>("comPort")->maximum(), 1024},
    };
    for (const Expectation& row : table) EXPECT_EQ(row.actual, row.expected) << row.what;
    for (int slot = 0; slot < kQuickLoadSlots; ++slot) EXPECT_TRUE(settings.slotFile(slot).isEmpty());
    // The values as a record are the record's own defaults.
    EXPECT_TRUE(settings.data() == ApplicationSettingsData());
}

TEST_F(ApplicationSettingsTest, NetworkPortFallsBackTo5000OutsideTheRange) {
    struct Row {
        QString text;
        int expected;
    };
    const Row table[] = {{"0", 5000}, {"65536", 5000}, {"", 5000}, {"65535", 65535},
                         {"1", 1},    {"x", 5000}};
    auto* field = child<QLineEdit>("networkPort");
    for (const Row& row : table) {
        field->setText(row.text);
        EXPECT_EQ(settings.networkPort(), row.expected) << row.text.toStdString();
    }
    // Only a settings file brings a negative number.
    ApplicationSettingsData fromFile;
    fromFile.networkPort = -1;
    settings.setData(fromFile);
    EXPECT_EQ(settings.networkPort(), 5000);
}

TEST_F(ApplicationSettingsTest, ConnectionTypeDrivesTheGroups) {
    struct Row {
        int set;
        int type;
        bool serialGroup;
        bool networkGroup;
    };
    const Row table[] = {{1, 1, false, true}, {2, 0, true, false}, {1, 1, false, true},
                         {0, 0, true, false}};
    for (const Row& row : table) {
        settings.setConnectionType(row.set);
        EXPECT_EQ(settings.connectionType(), row.type) << row.set;
        EXPECT_EQ(child<QRadioButton>("networkConnection")->isChecked(), row.type == 1);
        EXPECT_EQ(enabled("serialConfigurationGroup"), row.serialGroup) << row.set;
        EXPECT_EQ(enabled("networkConfigurationGroup"), row.networkGroup) << row.set;
    }
    // The user's click does the same.
    child<QRadioButton>("networkConnection")->click();
    EXPECT_EQ(settings.connectionType(), 1);
}

TEST_F(ApplicationSettingsTest, BaudRatesAreReplacedInOrder) {
    settings.setBaudRates({"4800", "9600"});
    settings.setBaudRateIndex(1);
    EXPECT_EQ(settings.baudRates(), (QStringList{"4800", "9600"}));
    EXPECT_EQ(settings.baudRateIndex(), 1);
    EXPECT_EQ(settings.baudRate(), 9600);
}

TEST_F(ApplicationSettingsTest, BrowseKeepsTheSlotWhenCancelledAndTakesAChoice) {
    vxgui::ScriptedDialogs dialogs;
    settings.setSlot3File("kept.xml");
    child<QPushButton>("slot3Browse")->click();
    EXPECT_EQ(settings.slot3File(), "kept.xml");
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    const vxgui::FileDialogRequest& request = dialogs.fileRequests().front();
    EXPECT_EQ(request.caption, "Select Slot File");
    EXPECT_EQ(request.directory, ".");
    EXPECT_EQ(request.filter, "XML files (*.xml)");
    EXPECT_EQ(request.parent, nullptr);

    dialogs.answerFile("chosen.xml");
    child<QPushButton>("slot8Browse")->click();
    EXPECT_EQ(settings.slot8File(), "chosen.xml");
    EXPECT_EQ(settings.slot3File(), "kept.xml");
}

TEST_F(ApplicationSettingsTest, ValuesRoundTripThroughTheRecord) {
    ApplicationSettingsData data;
    data.slotFiles[0] = "a.xml";
    data.slotFiles[7] = "h.xml";
    data.connectionType = NetworkConnection;
    data.baudRates = QStringList{"4800", "9600", "19200"};
    data.baudRateIndex = 2;
    data.comPort = 7;
    data.sendInitialString = false;
    data.initialString = "#";
    data.sendTerminalString = false;
    data.terminalString = "\\013";
    data.networkIp = "127.000.000.001";
    data.networkPort = 6000;
    settings.setData(data);
    EXPECT_TRUE(settings.data() == data);
}

TEST_F(ApplicationSettingsTest, CenteredOnTheScreenUnderTheCursor) {
    settings.resize(200, 100);
    centerOnCursorScreen(&settings);
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_EQ(settings.geometry(), QRect(centre.x() - 100, centre.y() - 50, 200, 100));
}

}  // namespace
