#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include "PageFixture.h"
#include "SystemParameter.h"
#include "SystemParametersConfig.h"
#include "XmlConfigFile.h"

namespace {

using namespace pagetest;
using Table = vxsim::ControllerModel::Table;

constexpr uint32_t kRefused = vxsim::refusal::kNotProcessable;
constexpr uint32_t kOffsetKey = 0x0816002F;
constexpr uint32_t kInversionKey = 0x08160013;
constexpr uint16_t kEndEffectorWord = 0x9100;
const QString kDocumentType = QStringLiteral("QMXConfigSettings");

// Four channels, one of them (`endEffector`) an end effector. Tuning
// parameter t of channel c is 100 * t + c for t = 3 (channels disagree)
// and 100 * t otherwise; the spin-box ranges hold all of them.
vxsim::SystemSetup setupWithEndEffectorAt(size_t endEffector) {
    vxsim::SystemSetup setup = vxsim::SystemSetup::standard(4, false);
    setup.channels[endEffector].moduleWord = static_cast<uint16_t>(kEndEffectorWord | endEffector);
    for (size_t i = 0; i < setup.channels.size(); ++i)
        setup.channels[i].sensorType = static_cast<uint8_t>(1 + i);
    return setup;
}

void fillModel(vxsim::ControllerModel& model) {
    for (size_t c = 0; c < 4; ++c) {
        model.setTableValue(c, Table::Tuning, 1, 1);
        for (uint8_t t = 2; t <= 9; ++t)
            model.setTableValue(c, Table::Tuning, t, t == 3 ? 300 + static_cast<int>(c) : 100 * t);
        model.setTableValue(c, Table::Tuning, 4, 0);
        model.setTableValue(c, Table::Tuning, 5, 0);
    }
    // Only channel 0 decides which property rows exist.
    model.setChannelProperty(0, kOffsetKey, 7);
    model.setChannelProperty(2, kOffsetKey, 7);
    model.setChannelProperty(3, kOffsetKey, 7);
    model.setChannelProperty(2, kInversionKey, 1);
}

class SystemParameters : public ::testing::Test {
protected:
    void open(size_t endEffector) {
        controller = std::make_unique<Controller>(setupWithEndEffectorAt(endEffector));
        connection = std::make_unique<OpenConnection>(controller->directLocator());
        ASSERT_EQ(connection->status, 0u);
        fillModel(controller->model);
        page = std::make_unique<SystemParametersConfig>(&form.window, &form.ui,
                                                        &connection->connection);
    }
    SystemParameter* row(int type) {
        for (SystemParameter* p : page->parameters())
            if (p->mode() == SystemParameter::Tuning && p->type() == type) return p;
        return nullptr;
    }
    QString tabText() {
        return form.ui.tabWidget->tabText(form.ui.tabWidget->indexOf(form.ui.systemParametersTab));
    }
    int32_t tuning(size_t channel, uint8_t type) {
        return controller->model.tableValue(channel, Table::Tuning, type);
    }
    QString save(SystemParametersConfig& from, const char* name) {
        XmlConfigFile store;
        store.create(kDocumentType);
        from.writeToXml(store);
        const QString path = dir.filePath(name);
        EXPECT_EQ(store.save(path), QString());
        return path;
    }

    Form form;
    vxgui::ScriptedDialogs dialogs;
    std::unique_ptr<Controller> controller;
    std::unique_ptr<OpenConnection> connection;
    std::unique_ptr<SystemParametersConfig> page;
    QTemporaryDir dir;
};

TEST_F(SystemParameters, RowsColumnsAndXmlPaths) {
    open(1);
    page->readFromSystem();
    QTableWidget* table = page->table();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(page->listedChannels(), (QList<uint32_t>{0, 2, 3}));
    QStringList headers;
    for (int c = 0; c < table->columnCount(); ++c) headers << table->horizontalHeaderItem(c)->text();
    EXPECT_EQ(headers, (QStringList{"Global Value", "Separate\nValues", "Channel 0", "Channel 2",
                                    "Channel 3"}));
    // Nine tuning parameters and the one property channel 0 answers.
    ASSERT_EQ(table->rowCount(), 10);
    EXPECT_EQ(table->verticalHeaderItem(0)->text(), "Default Sensor\nMode");
    EXPECT_EQ(table->verticalHeaderItem(9)->text(), "Logical Scale\nOffset");
    EXPECT_EQ(page->parameters()[9]->name(), "Logical Scale Offset");

    SystemParameter* same = row(2);
    SystemParameter* differing = row(3);
    EXPECT_FALSE(same->separateValuesBox()->isChecked());
    EXPECT_TRUE(same->globalWidget()->isEnabled());
    EXPECT_FALSE(same->channelWidget(0)->isEnabled());
    EXPECT_EQ(same->value(), 200);
    EXPECT_TRUE(differing->separateValuesBox()->isChecked());
    EXPECT_FALSE(differing->globalWidget()->isEnabled());
    EXPECT_TRUE(differing->channelWidget(1)->isEnabled());
    EXPECT_EQ(differing->channelValue(1), 302);
    EXPECT_EQ(table->cellWidget(1, 2)->accessibleDescription(), "spinbox");
    EXPECT_EQ(table->cellWidget(0, 2)->accessibleDescription(), "combobox");
    // Row 1 is global: only the page sets its box.
    EXPECT_FALSE(row(1)->separateValuesBox()->isEnabled());
    EXPECT_TRUE(row(2)->separateValuesBox()->isEnabled());
    EXPECT_FALSE(page->isModified());

    XmlConfigFile store;
    store.create(kDocumentType);
    page->writeToXml(store);
    struct Case {
        const char* path;
        const char* value;
    };
    const Case cases[] = {
        {"T_3:name", "High Speed Position Calculation Threshold"},
        {"T_3/Channel[0]:value", "300"},
        {"T_3/Channel[1]:value", "302"},  // hardware channel 2 at list position 1
        {"T_3/Channel[2]:value", "303"},
        {"T_3/Channel[3]:value", ""},
        {"P_8_22_47:name", "Logical Scale Offset"},
        {"P_8_22_47/Channel[1]:value", "7"},
        {"P_8_22_19:name", ""},
        {"SensorTypes/Channel[1]:sensor", "3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(store.value(c.path), c.value);
    }
}

TEST_F(SystemParameters, EndEffectorAtChannelZeroStillDecidesTheRows) {
    open(0);
    page->readFromSystem();
    EXPECT_EQ(page->listedChannels(), (QList<uint32_t>{1, 2, 3}));
    ASSERT_NE(page->table(), nullptr);
    EXPECT_EQ(page->table()->rowCount(), 10);
    EXPECT_EQ(page->table()->horizontalHeaderItem(2)->text(), "Channel 1");
}

TEST_F(SystemParameters, WriteSendsEffectiveValuesAndStopsAtTheFirstRefusal) {
    open(1);
    page->readFromSystem();
    QSignalSpy modified(page.get(), &SystemParametersConfig::systemParametersModified);
    row(2)->setValue(1500);
    row(3)->setChannelValue(2, 333);
    EXPECT_EQ(tabText(), "System Parameters*");
    EXPECT_GE(modified.count(), 2);
    page->writeToSystem();
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_EQ(tabText(), "System Parameters");
    for (const size_t channel : {0, 2, 3}) EXPECT_EQ(tuning(channel, 2), 1500);
    EXPECT_EQ(tuning(1, 2), 200);
    EXPECT_EQ(tuning(3, 3), 333);
    EXPECT_EQ(tuning(2, 3), 302);

    // The third channel of row 2 refuses: row 1 and the first two channels
    // of row 2 are written.
    row(1)->setValue(2);
    row(2)->setValue(1600);
    controller->text.addFault(vxsim::TextFault::late("WTP3", std::chrono::milliseconds(0), 1));
    controller->text.addFault(vxsim::TextFault::error("WTP3", kRefused));
    page->writeToSystem();
    ASSERT_EQ(dialogs.boxTexts().size(), 1u);
    EXPECT_EQ(dialogs.boxTexts()[0], QString("Error writing system parameter. Code: %1").arg(kRefused));
    for (const size_t channel : {0, 2, 3}) EXPECT_EQ(tuning(channel, 1), 2);
    EXPECT_EQ(tuning(0, 2), 1600);
    EXPECT_EQ(tuning(2, 2), 1600);
    EXPECT_EQ(tuning(3, 2), 1500);
    EXPECT_EQ(tabText(), "System Parameters*");
}

TEST_F(SystemParameters, RefusedChannelReadShowsTheDefault) {
    open(1);
    controller->text.addFault(vxsim::TextFault::error("RTP2", kRefused));
    page->readFromSystem();
    SystemParameter* threshold = row(7);  // default 2047, model 700
    ASSERT_NE(threshold, nullptr);
    EXPECT_EQ(threshold->channelValue(0), 700);
    EXPECT_EQ(threshold->channelValue(1), 2047);
    EXPECT_TRUE(threshold->separateValuesBox()->isChecked());
    controller->text.clearFaults();
    page->writeToSystem();
    EXPECT_EQ(tuning(2, 7), 2047);
}

TEST_F(SystemParameters, XmlRoundTripRestoresValuesAndSensorTypes) {
    open(1);
    page->readFromSystem();
    // A value set only in the global column is saved as every channel's.
    row(2)->setValue(1234);
    row(3)->setChannelValue(0, 310);
    const QString file = save(*page, "system.xml");

    for (const size_t channel : {0, 2, 3}) controller->model.setSensorType(channel, 9);
    SystemParametersConfig reader(&form.window, &form.ui, &connection->connection);
    reader.readFromSystem();
    ASSERT_EQ(reader.parameters().size(), 10);
    QSignalSpy modified(&reader, &SystemParametersConfig::systemParametersModified);
    XmlConfigFile store;
    ASSERT_EQ(store.load(file, kDocumentType), QString());
    dialogs.answerBox(0);  // Apply
    EXPECT_EQ(reader.readFromXml(store), QString());
    SystemParameter* global = reader.parameters()[1];
    EXPECT_EQ(global->value(), 1234);
    EXPECT_FALSE(global->separateValuesBox()->isChecked());
    EXPECT_EQ(reader.parameters()[2]->channelValue(0), 310);
    EXPECT_TRUE(reader.isModified());
    EXPECT_GE(modified.count(), 1);
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes()[0].title, "Changing Sensortypes...");
    EXPECT_EQ(controller->model.sensorType(0), 1);
    EXPECT_EQ(controller->model.sensorType(2), 3);
    EXPECT_EQ(controller->model.sensorType(3), 4);

    // Discard: the warning, nothing written.
    dialogs.clear();
    controller->model.setSensorType(0, 9);
    dialogs.answerBox(1);
    reader.readFromXml(store);
    EXPECT_EQ(dialogs.boxTexts(),
              (std::vector<QString>{"Sensortypes for all channels will be overwritten.\nThis will "
                                    "take effect immediately. continue?",
                                    "Sensortypes from XML-File were not written.\nSaving the system "
                                    "parameters from XML-File can lead to unexpected behaviour!"}));
    EXPECT_EQ(controller->model.sensorType(0), 9);

    // A sensor type that is no number counts as missing.
    dialogs.clear();
    store.setValue("SensorTypes/Channel[1]:sensor", "x");
    controller->model.setSensorType(2, 9);
    dialogs.answerBox(0);
    reader.readFromXml(store);
    ASSERT_EQ(dialogs.boxTexts().size(), 2u);
    EXPECT_EQ(dialogs.boxTexts()[1], "No sensortype defined for channel 2 in XML-File!");
    EXPECT_EQ(controller->model.sensorType(2), 9);
    EXPECT_EQ(controller->model.sensorType(0), 1);
}

TEST_F(SystemParameters, InversionUpdateKeepsTheMark) {
    open(1);
    page->readFromSystem();
    struct Case {
        uint channel;
        std::vector<int> values;
        bool separate;
    };
    // Channel 1 is not listed: nothing changes.
    for (const Case& c : {Case{1, {0, 0, 0}, false}, Case{2, {0, 1, 0}, true}}) {
        SCOPED_TRACE(c.channel);
        page->updateInversion(c.channel, 1);
        SystemParameter* inverted = row(5);
        std::vector<int> values;
        for (int i = 0; i < 3; ++i) values.push_back(inverted->channelValue(i));
        EXPECT_EQ(values, c.values);
        EXPECT_EQ(inverted->separateValuesBox()->isChecked(), c.separate);
        EXPECT_FALSE(page->isModified());
    }
    row(2)->setValue(900);
    page->updateInversion(3, 1);
    EXPECT_TRUE(page->isModified());
    EXPECT_EQ(tabText(), "System Parameters*");
}

TEST_F(SystemParameters, DisconnectClickedWhileRowsAreBuilt) {
    open(1);
    QPushButton disconnect;
    disconnect.resize(40, 20);
    QObject::connect(&disconnect, &QPushButton::clicked, page.get(),
                     [this] { page->clear(true); });
    const QPointF inside(5, 5);
    QCoreApplication::postEvent(&disconnect, new QMouseEvent(QEvent::MouseButtonPress, inside,
                                                             Qt::LeftButton, Qt::LeftButton,
                                                             Qt::NoModifier));
    QCoreApplication::postEvent(&disconnect, new QMouseEvent(QEvent::MouseButtonRelease, inside,
                                                             Qt::LeftButton, Qt::NoButton,
                                                             Qt::NoModifier));
    page->readFromSystem();
    QCoreApplication::processEvents();
    EXPECT_EQ(page->table(), nullptr);
    EXPECT_TRUE(page->parameters().isEmpty());
    EXPECT_TRUE(page->listedChannels().isEmpty());
    // The page reads again afterwards.
    page->readFromSystem();
    ASSERT_NE(page->table(), nullptr);
    EXPECT_EQ(page->table()->rowCount(), 10);
}

}  // namespace
