// The configuration tool's window on a real X server, driven through its
// widgets against the simulated system, in library mode over TCP and
// directly over a serial line (a pseudo-terminal): Read, an edit of the speed level table and of a system
// parameter, Write, Write XML, Disconnect, a new Connect, Read XML, close.
#include <gtest/gtest.h>

#include <QFile>
#include <QSpinBox>
#include <QTabWidget>

#include <memory>

#include "SystemParameter.h"
#include "SystemParametersConfig.h"
#include "configuration/window/WindowFixture.h"
#include "e2e/programs/Screens.h"

namespace {

using namespace windowtest;
using Table = vxsim::ControllerModel::Table;

const QString kTitle = QStringLiteral("QMX Configuration Tool 1.7.10");

struct Way {
    const char* name;
    bool serial;  // the direct way over the serial line, else the library over TCP
    bool screens;  // one way is enough for the pictures
};

class ConfigurationTool : public WindowTest, public ::testing::WithParamInterface<Way> {
protected:
    QString locatorOfWay() const {
        return GetParam().serial ? controller.serialLocator() : controller.libraryLocator();
    }
    std::string shownBoxes() const {
        std::string text;
        for (const QString& box : dialogs.boxTexts()) text += box.toStdString() + '\n';
        return text;
    }
    void click(const char* name) { button(*window, name)->click(); }
    QTableWidget* speedLevels() { return child<QTableWidget>(*window, "speedLevelTable"); }
    // The first system parameter with a spin box for all channels.
    SystemParameter* parameterRow() {
        for (SystemParameter* row : window->findChild<SystemParametersConfig*>()->parameters())
            if (row->mode() == SystemParameter::Tuning && qobject_cast<QSpinBox*>(row->globalWidget()) &&
                row->globalWidget()->isEnabled())
                return row;
        return nullptr;
    }

    Controller controller{threeChannelSystem()};
    std::unique_ptr<QMXConfiguration> window = std::make_unique<QMXConfiguration>();
    QTemporaryDir dir;
};

TEST_P(ConfigurationTool, ReadEditWriteSaveReconnectLoadClose) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 5000));
    EXPECT_EQ(window->windowTitle(), kTitle);

    connectTo(*window, locatorOfWay());
    ASSERT_EQ(status(*window), "Connected.");
    click("readButton");
    ASSERT_TRUE(dialogs.boxes().empty()) << shownBoxes();
    ASSERT_EQ(speedLevels()->rowCount(), controller.model.speedLevelTableSize());

    if (GetParam().screens) {
        auto* tabs = child<QTabWidget>(*window, "tabWidget");
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            e2e::saveScreen(*window, "configuration-" + tabs->widget(i)->objectName(), kTitle);
        }
        tabs->setCurrentIndex(0);
    }

    // A person's edits: one speed level entry, one parameter for all channels.
    const uint16_t speed = static_cast<uint16_t>(controller.model.speedLevel(1)[0] + 7);
    speedLevels()->item(1, 0)->setText(QString::number(speed));
    SystemParameter* row = parameterRow();
    ASSERT_NE(row, nullptr);
    auto* spin = qobject_cast<QSpinBox*>(row->globalWidget());
    const int value = row->value() < spin->maximum() ? row->value() + 1 : row->value() - 1;
    spin->setValue(value);
    const auto type = static_cast<uint8_t>(row->type());

    click("writeButton");
    EXPECT_EQ(status(*window), "Configuration written.");
    EXPECT_TRUE(dialogs.boxes().empty()) << shownBoxes();
    EXPECT_EQ(controller.model.speedLevel(1)[0], speed);
    for (const uint32_t channel : window->findChild<SystemParametersConfig*>()->listedChannels())
        EXPECT_EQ(controller.model.tableValue(channel, Table::Tuning, type), value) << channel;

    const QString saved = dir.filePath("saved.xml");
    dialogs.answerFile(saved);
    click("writeXMLButton");
    ASSERT_TRUE(QFile::exists(saved));

    click("connectButton");
    EXPECT_EQ(bar(*window), kDisconnectedBar);
    // Someone else changes the parameter meanwhile; the file brings it back.
    for (size_t channel = 0; channel < controller.model.channelCount(); ++channel)
        controller.model.setTableValue(channel, Table::Tuning, type, value - 1);
    click("connectButton");
    ASSERT_EQ(status(*window), "Connected.");
    ASSERT_NE(parameterRow(), nullptr);
    EXPECT_EQ(parameterRow()->value(), value - 1);
    dialogs.clear();
    dialogs.answerFile(saved);
    dialogs.answerBox(0);  // "Apply" the file's sensor types
    click("readXMLButton");
    ASSERT_EQ(dialogs.boxes().size(), 1u) << shownBoxes();
    EXPECT_EQ(dialogs.boxes()[0].title, "Changing Sensortypes...");
    EXPECT_EQ(parameterRow()->value(), value);

    // Closed as a window manager closes it: the settings are kept.
    QFile::remove(settingsFile());
    ASSERT_TRUE(e2e::closeAsWindowManager(*window));
    EXPECT_TRUE(QFile::exists(settingsFile()));
    EXPECT_EQ(QSettings(kOrganisation, kApplication).value("SystemLocator").toString(),
              locatorOfWay());
}

INSTANTIATE_TEST_SUITE_P(Ways, ConfigurationTool,
                         ::testing::Values(Way{"library_tcp", false, true},
                                           Way{"direct_pseudoterminal", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
