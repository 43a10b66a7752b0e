#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <string>
#include <vector>

#include "QMXControl.h"
#include "PageFixture.h"
#include "SensorTypes.h"
#include "SensorTypesConfig.h"

namespace {

using namespace pagetest;
using vxsim::ControllerModel;

constexpr uint32_t kRefused = vxsim::refusal::kNotProcessable;
constexpr int64_t kDegree = 1000000;  // micro-degrees

const char* const kFlagRight =
    "\"Distance Code Inverted\" Flag is set correctly. Nothing to change.";
const char* const kFlagChanged = "\"Distance Code Inverted\" Flag was wrong, successfully changed!";

// Channels: 0 linear (a mark at 0.5 mm, end stops at +-1 mm), 1 rotary, 2 an
// end effector, 3 without a sensor, 4 of a sensor type the page does not
// offer, 5 a module that names no channel type, 6 linear with distance-coded
// marks, 7 rotary with distance-coded marks, 8 distance-coded without marks
// between its end stops.
vxsim::SystemSetup sensorSetup() {
    vxsim::SystemSetup setup = vxsim::SystemSetup::standard(9, false);
    const uint16_t kLinear = 0x2000, kRotary = 0x6000, kEndEffector = 0x9000, kOther = 0x1000;
    const uint16_t classes[] = {kLinear, kRotary, kEndEffector, kLinear, kLinear,
                                kOther,  kLinear, kRotary,      kLinear};
    const uint8_t types[] = {1, 2, 1, 0, 3, 1, 6, 25, 24};
    for (size_t i = 0; i < setup.channels.size(); ++i) {
        vxsim::ChannelSetup& channel = setup.channels[i];
        channel.moduleWord = static_cast<uint16_t>(classes[i] | (0x100 + i));
        channel.rotary = classes[i] == kRotary;
        channel.sensorType = types[i];
    }
    setup.channels[0].travel = vxsim::TravelSetup{0, {500000}, {{-1000000, 1000000}}};
    setup.channels[6].travel =
        vxsim::TravelSetup{0, {1000000, 3000000, 6000000}, {{-9000000, 9000000}}};
    setup.channels[7].travel =
        vxsim::TravelSetup{340 * kDegree, {30 * kDegree, 100 * kDegree, 350 * kDegree}, {}};
    setup.channels[8].travel = vxsim::TravelSetup{0, {}, {{-1000000, 1000000}}};
    // Long enough for the 100 ms status polls to see the search running.
    setup.referenceSearchTime = std::chrono::milliseconds(500);
    return setup;
}

class SensorTypes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(open.status, VX_OK);
        form.window.show();
        page.readFromController(&open.connection);
        controller.text.clearRecords();
    }

    void select(int channel) {
        QComboBox* box = form.ui.channelIndex;
        box->setCurrentIndex(-1);
        box->setCurrentIndex(box->findText(QString::number(channel)));
        ASSERT_EQ(box->currentText(), QString::number(channel));
    }
    uint32_t shownType() { return form.ui.sensorType->currentData().toUInt(); }
    // The user picks an entry of the sensor type box.
    void choose(uint32_t code) {
        const int index = form.ui.sensorType->findData(static_cast<int>(code));
        form.ui.sensorType->setCurrentIndex(index);
        emit form.ui.sensorType->activated(index);
    }
    // Commands sent, without the status polls.
    std::vector<std::string> commandsBesidesPolls() {
        std::vector<std::string> commands;
        for (const std::string& command : controller.text.commandTexts())
            if (command.rfind("GS", 0) != 0) commands.push_back(command);
        return commands;
    }
    std::vector<QString> messages() {
        std::vector<QString> texts;
        for (const QList<QVariant>& signal : statusMessages) texts.push_back(signal[0].toString());
        return texts;
    }
    bool showed(const QString& text) {
        const std::vector<QString> all = messages();
        return std::find(all.begin(), all.end(), text) != all.end();
    }
    // Enabled for the user: calibrate, find, detect, and the three groups.
    std::vector<bool> controls() {
        const Ui::QMXConfigurationClass& f = form.ui;
        return {f.calibrateButton->isEnabled(), f.findRefButton->isEnabled(),
                f.detectDistCodeInvButton->isEnabled(), f.selectChannelGroup->isEnabled(),
                f.configureSensorTypeGroup->isEnabled(), f.closedLoopTestGroup->isEnabled()};
    }
    QTimer* timer(const char* name) { return page.findChild<QTimer*>(QString::fromLatin1(name)); }
    bool checkFinished() {
        return !timer("checkRefTimer")->isActive() && form.ui.findRefButton->isEnabled();
    }

    Controller controller{sensorSetup()};
    OpenConnection open{controller.directLocator()};
    Form form;
    vxgui::ScriptedDialogs dialogs;
    SensorTypesConfig page{&form.window, &form.ui, &open.connection};
    QSignalSpy locks{&page, &SensorTypesConfig::lockSystem};
    QSignalSpy inversions{&page, &SensorTypesConfig::distCodeInverted};
    QSignalSpy statusMessages{form.ui.statusBar, &QStatusBar::messageChanged};
};

const std::vector<bool> kAllEnabled(6, true);

TEST_F(SensorTypes, ListsPositionerChannelsAndEnablesByTheirSensorType) {
    QStringList listed;
    for (int i = 0; i < form.ui.channelIndex->count(); ++i)
        listed << form.ui.channelIndex->itemText(i);
    // The end effector is left out; a module whose type read fails is listed.
    EXPECT_EQ(listed, QStringList({"0", "1", "3", "4", "5", "6", "7", "8"}));
    EXPECT_EQ(form.ui.sensorType->count(), 50);
    EXPECT_EQ(shownType(), 1u);
    EXPECT_EQ(form.ui.sensorType->currentText(), "LNS");
    EXPECT_TRUE(form.ui.selectChannelGroup->isEnabled());
    EXPECT_TRUE(form.ui.calibrateGroup->isEnabled());
    EXPECT_FALSE(form.ui.detectDistCodeInvButton->isEnabled()) << "not distance-coded";

    struct Case {
        int channel;
        int shownIndex;  // -1: no entry current
        bool groups;     // configure, calibrate and closed-loop groups
        bool detect;
    };
    const Case cases[] = {
        {3, -1, false, false},  // type 0 is not offered either
        {4, -1, true, false},                                   // type 3 is not offered
        {6, form.ui.sensorType->findData(6), true, true},
        {1, form.ui.sensorType->findData(2), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel);
        select(c.channel);
        EXPECT_EQ(form.ui.sensorType->currentIndex(), c.shownIndex);
        EXPECT_EQ(form.ui.configureSensorTypeGroup->isEnabled(), c.groups);
        EXPECT_EQ(form.ui.calibrateGroup->isEnabled(), c.groups);
        EXPECT_EQ(form.ui.closedLoopTestGroup->isEnabled(), c.groups);
        EXPECT_EQ(form.ui.detectDistCodeInvButton->isEnabled(), c.detect);
    }
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_FALSE(page.isModified());
}

TEST_F(SensorTypes, WritingASensorTypeAndPuttingTheBoxBackWhenRefused) {
    choose(1);
    EXPECT_TRUE(controller.text.commandTexts().empty()) << "the type in force is not written";
    EXPECT_EQ(form.ui.statusBar->currentMessage(), "");

    choose(5);
    EXPECT_EQ(controller.text.commandTexts(), std::vector<std::string>{"SST0,5"});
    EXPECT_EQ(controller.model.sensorType(0), 5);
    EXPECT_EQ(form.ui.statusBar->currentMessage(), "Wrote sensor type.");

    controller.text.addFault(vxsim::TextFault::error("SST", kRefused));
    choose(6);
    EXPECT_EQ(dialogs.boxTexts(), std::vector<QString>{"Error writing sensor type. Code: 150"});
    EXPECT_EQ(shownType(), 5u);
    EXPECT_EQ(form.ui.statusBar->currentMessage(), "");
    EXPECT_FALSE(form.ui.detectDistCodeInvButton->isEnabled());
    EXPECT_EQ(controller.model.sensorType(0), 5);

    // Browsing shows a description for 5 s; codes without one clear the bar.
    emit form.ui.sensorType->highlighted(form.ui.sensorType->findData(6));
    EXPECT_EQ(form.ui.statusBar->currentMessage(), sensortypes::description(6));
    EXPECT_EQ(messageTimeout(form.ui.statusBar), 5000);
    emit form.ui.sensorType->highlighted(form.ui.sensorType->findData(22));
    EXPECT_EQ(form.ui.statusBar->currentMessage(), "");
}

TEST_F(SensorTypes, JogWhileAButtonIsHeld) {
    QTest::mousePress(form.ui.moveForwardButton, Qt::LeftButton);
    QTest::mouseRelease(form.ui.moveForwardButton, Qt::LeftButton);
    QTest::mousePress(form.ui.moveBackwardButton, Qt::LeftButton);
    QTest::mouseRelease(form.ui.moveBackwardButton, Qt::LeftButton);
    EXPECT_EQ(controller.text.commandTexts(),
              (std::vector<std::string>{"MST0,30000,4095,1000", "S0", "MST0,-30000,4095,1000",
                                        "S0"}));
    EXPECT_TRUE(dialogs.boxes().empty());
}

TEST_F(SensorTypes, PolledOperationsEndWithTheirTexts) {
    struct Case {
        const char* what;
        int channel;
        std::function<void(Ui::QMXConfigurationClass&)> act;
        std::string command;
        const char* started;
        const char* ended;
    };
    using F = Ui::QMXConfigurationClass;
    auto findRef = [](int direction, bool autoZero) {
        return [=](F& f) {
            f.safeDirection->setCurrentIndex(direction);
            f.autoZero->setChecked(autoZero);
            f.findRefButton->click();
        };
    };
    // In order: each starts where the one before left the channel.
    const Case cases[] = {
        {"calibration", 0, [](F& f) { f.calibrateButton->click(); }, "CS0",
         "Calibrating. Please wait...", "Calibration complete."},
        {"mark ahead", 0, findRef(0, false), "FRM0,0,1000,0",
         "Finding reference mark. Please wait...", "Reference mark found."},
        {"no mark before the end stop", 0, findRef(0, false), "FRM0,0,1000,0",
         "Finding reference mark. Please wait...", "Error finding reference mark!"},
        {"move into the end stop", 0, [](F& f) { f.clTestForwardButton->click(); },
         "MPR0,1000000,1000", "Moving...", "End stop reached!"},
        {"move back", 0, [](F& f) { f.clTestBackwardButton->click(); }, "MPR0,-1000000,1000",
         "Moving...", "Done."},
        {"mark ahead, zeroed", 0, findRef(0, true), "FRM0,0,1000,1",
         "Finding reference mark. Please wait...", "Reference mark found."},
        {"angle move", 1, [](F& f) { f.clTestBackwardButton->click(); }, "MAR1,-1000000,0,1000",
         "Moving...", "Done."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        select(c.channel);
        controller.text.clearRecords();
        statusMessages.clear();
        locks.clear();
        c.act(form.ui);
        EXPECT_EQ(form.ui.statusBar->currentMessage(), c.started);
        EXPECT_EQ(controls(), std::vector<bool>(6, false));
        EXPECT_TRUE(form.ui.calibrateGroup->isEnabled()) << "Stop stays usable";
        ASSERT_TRUE(waitFor([&] { return locks.count() == 2; }));
        EXPECT_EQ(form.ui.statusBar->currentMessage(), c.ended);
        EXPECT_FALSE(timer("pollTimer")->isActive());
        EXPECT_EQ(locks[0][0].toBool(), true);
        EXPECT_EQ(locks[1][0].toBool(), false);
        EXPECT_EQ(commandsBesidesPolls(), std::vector<std::string>{c.command});
        EXPECT_EQ(controls()[0], true);
        EXPECT_TRUE(form.ui.closedLoopTestGroup->isEnabled());
    }
    int32_t position = -1;
    ASSERT_EQ(controller.model.position(0, &position), 0);
    EXPECT_EQ(position, 0) << "auto zero";
    EXPECT_TRUE(dialogs.boxes().empty());
}

TEST_F(SensorTypes, RefusedCommandsAreReported) {
    using F = Ui::QMXConfigurationClass;
    struct Case {
        const char* command;
        std::function<void(F&)> act;
        const char* message;
    };
    const Case cases[] = {
        {"CS", [](F& f) { f.calibrateButton->click(); }, "Error calibrating. Code: 150"},
        {"FRM", [](F& f) { f.findRefButton->click(); }, "Error finding reference mark. Code: 150"},
        {"MPR", [](F& f) { f.clTestForwardButton->click(); }, "Error issuing command. Code: 150"},
        {"SCLF", [](F& f) { f.setCLFButton->click(); }, "Error settig Max CLF. Code: 150"},
        {"S", [](F& f) { f.stopButton->click(); }, "Error stopping. Code: 150"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        dialogs.clear();
        controller.text.clearFaults();
        controller.text.addFault(vxsim::TextFault::error(c.command, kRefused));
        c.act(form.ui);
        EXPECT_EQ(dialogs.boxTexts(), std::vector<QString>{c.message});
        EXPECT_EQ(locks.count(), c.command == std::string("S") ? 1 : 0);
        locks.clear();
        EXPECT_FALSE(timer("pollTimer")->isActive());
        EXPECT_TRUE(form.ui.selectChannelGroup->isEnabled());
    }
    // The maximum closed-loop frequency sent is the form's.
    controller.text.clearFaults();
    controller.text.clearRecords();
    dialogs.clear();
    form.ui.setCLFButton->click();
    EXPECT_EQ(controller.text.commandTexts(), std::vector<std::string>{"SCLF0,5000"});
    EXPECT_TRUE(dialogs.boxes().empty());

    // A status read that fails while polling stops, reports and clicks Stop.
    controller.text.addFault(vxsim::TextFault::error("GS", kRefused));
    controller.text.clearRecords();
    form.ui.calibrateButton->click();
    ASSERT_TRUE(waitFor([&] { return locks.count() == 2; }));
    EXPECT_EQ(dialogs.boxTexts(), std::vector<QString>{"Error reading status. Code: 150"});
    EXPECT_EQ(commandsBesidesPolls(), (std::vector<std::string>{"CS0", "S0"}));
    EXPECT_EQ(form.ui.statusBar->currentMessage(), "Stopped.");
    EXPECT_EQ(controls(), (std::vector<bool>{true, true, false, true, true, true}));
}

// The inversion check: two marks in the same direction; the second must
// read in the direction of travel.
TEST_F(SensorTypes, InversionCheckForPositionAndAngleSensorTypes) {
    struct Case {
        const char* what;
        int channel;
        bool flagWrong;
        std::vector<std::string> commands;
        const char* result;
    };
    const std::vector<std::string> position = {"FRM6,4,1000,0", "GP6", "FRM6,4,1000,0", "GP6"};
    const std::vector<std::string> angle = {"FRM7,0,1000,0", "GA7", "FRM7,0,1000,0", "GA7"};
    auto corrected = [](std::vector<std::string> commands, int channel) {
        commands.push_back("RTP" + std::to_string(channel) + ",5");
        commands.push_back("WTP" + std::to_string(channel) + ",5,0");
        return commands;
    };
    const Case cases[] = {
        {"position, flag right", 6, false, position, kFlagRight},
        {"position, flag wrong", 6, true, corrected(position, 6), kFlagChanged},
        // From 340 degrees: the marks at 350 and at 30 of the next turn.
        {"angle across a turn, flag right", 7, false, angle, kFlagRight},
        {"angle across a turn, flag wrong", 7, true, corrected(angle, 7), kFlagChanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        controller.model.reset();
        controller.model.setTableValue(c.channel, ControllerModel::Table::Tuning,
                                       vxsim::kDistanceCodeInvertedParameter, c.flagWrong);
        select(c.channel);
        controller.text.clearRecords();
        inversions.clear();
        form.ui.detectDistCodeInvButton->click();
        EXPECT_EQ(controls(), std::vector<bool>(6, false));
        ASSERT_TRUE(waitFor([&] { return checkFinished(); }, 10000ms));
        EXPECT_EQ(form.ui.statusBar->currentMessage(), c.result);
        EXPECT_EQ(commandsBesidesPolls(), c.commands);
        EXPECT_EQ(controller.model.tableValue(c.channel, ControllerModel::Table::Tuning,
                                              vxsim::kDistanceCodeInvertedParameter),
                  0);
        ASSERT_EQ(inversions.count(), c.flagWrong ? 1 : 0);
        if (c.flagWrong) {
            EXPECT_EQ(inversions[0][0].toUInt(), static_cast<uint>(c.channel));
            EXPECT_EQ(inversions[0][1].toUInt(), 0u);
        }
        EXPECT_EQ(controls(), kAllEnabled);
        EXPECT_TRUE(dialogs.boxes().empty());
        EXPECT_EQ(locks.count(), 0) << "the check locks nothing";
    }
}

TEST_F(SensorTypes, InversionCheckTurnsAtAnEndStopAndGivesUpAtTheSecond) {
    // Beyond the last mark: forward ends at the end stop, then backward.
    select(6);
    ASSERT_EQ(controller.model.gotoPosition(6, 7000000, 0, false), 0);
    ASSERT_TRUE(waitFor([&] { return controller.model.status(6) == 0; }));
    controller.text.clearRecords();
    form.ui.detectDistCodeInvButton->click();
    ASSERT_TRUE(waitFor([&] { return checkFinished(); }, 10000ms));
    EXPECT_EQ(commandsBesidesPolls(),
              (std::vector<std::string>{"FRM6,4,1000,0", "FRM6,5,1000,0", "GP6", "FRM6,5,1000,0",
                                        "GP6"}));
    EXPECT_TRUE(showed("endstop reached, change direction."));
    EXPECT_EQ(form.ui.statusBar->currentMessage(), kFlagRight);
    EXPECT_TRUE(dialogs.boxes().empty());

    // No mark between the end stops.
    select(8);
    controller.text.clearRecords();
    form.ui.detectDistCodeInvButton->click();
    ASSERT_TRUE(waitFor([&] { return checkFinished(); }, 10000ms));
    EXPECT_EQ(commandsBesidesPolls(),
              (std::vector<std::string>{"FRM8,4,1000,0", "FRM8,5,1000,0"}));
    EXPECT_EQ(dialogs.boxTexts(),
              std::vector<QString>{"Error: two referenceoperations failed in a row, indication "
                                   "for reaching two endstops."});
    EXPECT_EQ(controls(), kAllEnabled);
    EXPECT_EQ(inversions.count(), 0);
}

TEST_F(SensorTypes, ARefusedSearchEndsTheInversionCheckWithTheControlsBack) {
    select(6);
    controller.text.clearRecords();
    controller.text.addFault(vxsim::TextFault::error("FRM", kRefused));
    form.ui.detectDistCodeInvButton->click();
    EXPECT_EQ(dialogs.boxTexts(), std::vector<QString>{"Error finding Reference Mark 1. Code: 150"});
    EXPECT_FALSE(timer("checkRefTimer")->isActive());
    EXPECT_EQ(controls(), kAllEnabled);
    EXPECT_EQ(commandsBesidesPolls(), std::vector<std::string>{"FRM6,4,1000,0"});
}

// With no positioner channel listed the page addresses channel 0.
TEST_F(SensorTypes, WithoutAListedChannelChannel0IsUsed) {
    form.ui.channelIndex->clear();
    form.ui.setCLFButton->click();
    EXPECT_EQ(controller.text.commandTexts(), std::vector<std::string>{"SCLF0,5000"});
}

TEST_F(SensorTypes, StopDuringTheInversionCheck) {
    select(6);
    controller.text.clearRecords();
    form.ui.detectDistCodeInvButton->click();
    // The check has seen the search running: the search, then a status poll.
    ASSERT_TRUE(waitFor([&] { return controller.text.commandTexts().size() >= 2; }));
    ASSERT_EQ(controller.model.status(6), vxsim::channelStatus::kFindingReference);
    form.ui.stopButton->click();
    EXPECT_EQ(form.ui.statusBar->currentMessage(), "Stopped.");
    ASSERT_TRUE(waitFor([&] { return checkFinished(); }));
    EXPECT_EQ(form.ui.statusBar->currentMessage(), "stopped by user.");
    EXPECT_EQ(commandsBesidesPolls(), (std::vector<std::string>{"FRM6,4,1000,0", "S6"}));
    EXPECT_EQ(controls(), kAllEnabled);
    EXPECT_EQ(dialogs.boxTexts(), std::vector<QString>{});
}

TEST_F(SensorTypes, AStatusReadFailingDuringTheCheckEndsIt) {
    select(6);
    controller.text.addFault(vxsim::TextFault::error("GS", kRefused));
    form.ui.detectDistCodeInvButton->click();
    ASSERT_TRUE(waitFor([&] { return !dialogs.boxes().empty(); }));
    EXPECT_EQ(dialogs.boxTexts(), std::vector<QString>{"Error reading status. Code: 150"});
    EXPECT_FALSE(timer("checkRefTimer")->isActive());
    EXPECT_EQ(controls(), kAllEnabled);
    runEventsFor(300ms);
    EXPECT_EQ(commandsBesidesPolls(), std::vector<std::string>{"FRM6,4,1000,0"});
    EXPECT_EQ(dialogs.boxes().size(), 1u);
}

TEST_F(SensorTypes, DisconnectDuringTheCheckEndsItWithTheGroupsDisabled) {
    select(6);
    controller.text.clearRecords();
    form.ui.detectDistCodeInvButton->click();
    ASSERT_TRUE(waitFor([&] { return controller.text.commandTexts().size() >= 2; }));
    ASSERT_EQ(controller.model.status(6), vxsim::channelStatus::kFindingReference);
    ASSERT_EQ(open.connection.closeSystem(), VX_OK);
    page.clear();
    EXPECT_FALSE(timer("checkRefTimer")->isActive());
    EXPECT_FALSE(timer("pollTimer")->isActive());
    const size_t sent = controller.text.commandTexts().size();
    // Long past the search's end: nothing more is asked or reported.
    runEventsFor(500ms);
    EXPECT_EQ(controller.text.commandTexts().size(), sent);
    EXPECT_TRUE(dialogs.boxes().empty());
    const Ui::QMXConfigurationClass& f = form.ui;
    EXPECT_EQ(f.channelIndex->count(), 0);
    EXPECT_EQ(f.sensorType->currentIndex(), 0);
    for (QWidget* group : std::initializer_list<QWidget*>{f.selectChannelGroup,
                                                          f.configureSensorTypeGroup,
                                                          f.calibrateGroup, f.closedLoopTestGroup})
        EXPECT_FALSE(group->isEnabled()) << group->objectName().toStdString();
    // Inside their disabled group the buttons are enabled, the detection
    // button by the distance-coded type last read.
    for (QWidget* button : std::initializer_list<QWidget*>{f.calibrateButton, f.findRefButton,
                                                           f.stopButton,
                                                           f.detectDistCodeInvButton})
        EXPECT_TRUE(button->isEnabledTo(f.calibrateGroup)) << button->objectName().toStdString();
}

}  // namespace
