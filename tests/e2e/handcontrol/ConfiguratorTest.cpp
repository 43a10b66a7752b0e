// The hand-control configurator's window on a real X server, driven as a
// person drives it, in library mode (the controller library, binary
// protocol over TCP) and direct mode (the textual protocol on a serial
// line): connect, read, change fields in the editor, write with "Auto
// verify", save an ".hcmc" file, load it in a new window and write it to a
// second simulated module; Abort during a read; and every dialog and editor
// shown with its texts whole.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "e2e/programs/Screens.h"
#include "handcontrol/editors/EditorSupport.h"
#include "handcontrol/window/WindowFixture.h"

namespace {

using namespace hcwindowtest;
using handcontroltest::Library;
using handcontroltest::Serial;

const QString kTitle = QStringLiteral("QMXH Configurator v2.0.3");

// The slots of a configuration, without the erased bytes after them.
std::vector<uint8_t> imageOf(const QMXHConfiguration& configuration) {
    const ConfigurationGeometry* geometry = QMXHConfiguration::geometryOf(configuration.type());
    const int size = geometry ? geometry->slotSize * geometry->slotCount : configuration.size();
    return std::vector<uint8_t>(configuration.data(), configuration.data() + size);
}

// The module's slots one after the other, as a configuration holds them.
std::vector<uint8_t> moduleSlots(const Controller& controller) {
    const vxsim::HcmImageLayout layout = vxsim::hcmImageLayout(controller.model.setup());
    std::vector<uint8_t> all;
    for (uint8_t slot = 0; slot < layout.slotCount; ++slot) {
        const std::vector<uint8_t> bytes = controller.model.slot(slot);
        all.insert(all.end(), bytes.begin(), bytes.end());
    }
    return all;
}

struct Field {
    const char* widget;
    int value;
};

struct Case {
    const char* name;
    Mode mode;
    uint16_t type;
    const char* editor;
    std::vector<Field> fields;  // in the slot shown first
    bool pictures;
};

// A second window and a second simulated module beside the fixture's.
class Configurator : public WindowTest, public ::testing::WithParamInterface<Case> {
protected:
    void picture(QWidget& shown, const char* name, const QString& title) {
        if (GetParam().pictures) e2e::saveScreen(shown, QString::fromLatin1(name), title);
    }
    // The locator dialog answered as a person does, pictured on request.
    void connectWindow(QMXHConfigurator& target, vxgui::ScriptedDialogs& script, Controller& to, bool pictured) {
        const QString locator = QString::fromStdString(to.locator(GetParam().mode));
        script.answerDialog([this, locator, pictured](QDialog& dialog) {
            if (pictured) {
                picture(dialog, "handcontrol-connect", QStringLiteral("Connect to Device"));
                dialog.hide();
            }
            return typeLocator(locator)(dialog);
        });
        target.findChild<QAction*>(QStringLiteral("actionConnect"))->trigger();
    }
    std::string statusOf(QMXHConfigurator& target) const {
        return target.findChild<QStatusBar*>(QStringLiteral("statusBar"))->currentMessage().toStdString();
    }

    std::unique_ptr<Controller> second;
    std::unique_ptr<QMXHConfigurator> another;
};

TEST_P(Configurator, ReadsChangesWritesSavesAndCopiesToASecondModule) {
    const Case& c = GetParam();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 5000));
    controller = std::make_unique<Controller>(c.type);
    connectWindow(*window, dialogs, *controller, c.pictures && c.type == 0x3D01);
    ASSERT_EQ(status(), "Connection Established!");
    trigger("actionRead_configuration");
    ASSERT_EQ(status(), "Done.");
    ASSERT_EQ(page(), c.editor);
    const std::vector<uint8_t> read = imageOf(window->configuration());
    ASSERT_EQ(read, moduleSlots(*controller));

    // The fields changed through their widgets: the image the window holds changes.
    for (const Field& field : c.fields) {
        QWidget* widget = window->findChild<QWidget*>(QString::fromLatin1(field.widget));
        ASSERT_NE(widget, nullptr) << field.widget;
        ASSERT_TRUE(widget->isEnabled()) << field.widget;
        hctest::setShown(widget, field.value);
        EXPECT_EQ(hctest::shownValue(widget), field.value) << field.widget;
    }
    const std::vector<uint8_t> changed = imageOf(window->configuration());
    EXPECT_NE(changed, read);
    picture(*window, c.type == 0x3D01 ? "handcontrol-3d" : "handcontrol-nd", kTitle);

    ASSERT_TRUE(action("actionAuto_verify")->isChecked());
    trigger("actionWrite_configuration");
    EXPECT_EQ(status(), "Verification successful.");
    EXPECT_EQ(moduleSlots(*controller), changed);

    const QString saved = dir.filePath(QStringLiteral("changed.hcmc"));
    dialogs.answerFile(saved);
    trigger("actionSave_to_file");
    EXPECT_EQ(status(), "Done.");

    // A new window loads the file and writes it to a second module.
    vxgui::ScriptedDialogs secondDialogs;
    another = std::make_unique<QMXHConfigurator>();
    another->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(another.get(), 5000));
    secondDialogs.answerFile(saved);
    another->findChild<QAction*>(QStringLiteral("actionLoad_from_file"))->trigger();
    EXPECT_EQ(statusOf(*another), "Done.");
    EXPECT_EQ(imageOf(another->configuration()), changed);
    second = std::make_unique<Controller>(c.type);
    EXPECT_NE(moduleSlots(*second), changed);
    connectWindow(*another, secondDialogs, *second, false);
    ASSERT_EQ(statusOf(*another), "Connection Established!");
    another->findChild<QAction*>(QStringLiteral("actionWrite_configuration"))->trigger();
    EXPECT_EQ(statusOf(*another), "Verification successful.");
    EXPECT_EQ(moduleSlots(*second), changed);

    ASSERT_TRUE(e2e::closeAsWindowManager(*another));
    ASSERT_TRUE(e2e::closeAsWindowManager(*window));
}

const Case kCases[] = {
    // "Advanced" chosen, so that the picture shows a control mode's text whole.
    {"Library3D", Library, 0x3D01, "QMXHEditor_3D",
     {{"_3d_holdTime", 5}, {"_3d_channel1Steps", 17}, {"_3d_channel1ControlMode", 1}}, true},
    {"Library_nD", Library, 0xFD01, "QMXHEditor_nD", {{"_nd_holdTime", 5}}, true},
    {"Direct3D", Serial, 0x3D01, "QMXHEditor_3D", {{"_3d_holdTime", 6}, {"_3d_channel2Steps", 9}}, false},
    {"Direct_nD", Serial, 0xFD01, "QMXHEditor_nD", {{"_nd_holdTime", 7}}, false},
};

INSTANTIATE_TEST_SUITE_P(Modes, Configurator, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Abort in the operation dialog while a read runs, as a person presses it
// (Escape acts as Abort): the read ends, the window stays usable and the
// next read completes.
class AbortedRead : public WindowTest, public ::testing::WithParamInterface<Mode> {};

TEST_P(AbortedRead, KeepsTheWindowUsable) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 5000));
    connectTo(GetParam());
    ASSERT_EQ(status(), "Connection Established!");
    OperationDialog& dialog = window->operationDialog();
    // The worker waits after its first slot until the press has been
    // handled, so that the read cannot end before it.
    std::promise<void> pressed;
    std::atomic<bool> held{false};
    // Gone before the locals the handlers use: their connections with it.
    QObject scope;
    QObject::connect(
        &window->worker(), &ConfigTransporter::progress, &scope,
        [&](int value) {
            if (value > 0 && !held.exchange(true)) pressed.get_future().wait_for(std::chrono::seconds(30));
        },
        Qt::DirectConnection);
    bool done = false;
    QObject::connect(dialog.findChild<QProgressBar*>(QStringLiteral("progressBar")), &QProgressBar::valueChanged,
                     &scope, [&](int value) {
                         if (value == 0 || done) return;
                         done = true;
                         if (GetParam() == Library)
                             e2e::saveScreen(dialog, QStringLiteral("handcontrol-operation"),
                                             QStringLiteral("Execute Operation..."));
                         QTest::keyClick(&dialog, Qt::Key_Escape);
                         pressed.set_value();
                     });
    trigger("actionRead_configuration");
    ASSERT_TRUE(done);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(status(), "Reading configuration failed: operation was aborted");
    EXPECT_TRUE(window->isVisible());
    trigger("actionRead_configuration");
    EXPECT_EQ(status(), "Done.");
    const std::vector<uint8_t> read = imageOf(window->configuration());
    EXPECT_EQ(read, moduleSlots(*controller));
    ASSERT_TRUE(e2e::closeAsWindowManager(*window));
}

INSTANTIATE_TEST_SUITE_P(Modes, AbortedRead, ::testing::Values(Library, Serial),
                         [](const auto& info) { return std::string(handcontroltest::kModeNames[info.param]); });

}  // namespace

// The visible widgets of `top`, itself included, that are smaller than
// their size hint: a text cut off or a box squeezed, as under a font larger
// than the form was drawn with.
std::vector<std::string> smallerThanTheirHint(QWidget& top) {
    QList<QWidget*> widgets = top.findChildren<QWidget*>();
    widgets.prepend(&top);
    std::vector<std::string> small;
    for (QWidget* widget : widgets) {
        if (widget != &top && !widget->isVisibleTo(&top)) continue;
        // The line edit inside a combo or spin box is sized by its box, whose hint counts.
        if (qobject_cast<QComboBox*>(widget->parentWidget()) ||
            qobject_cast<QAbstractSpinBox*>(widget->parentWidget()))
            continue;
        const QSize hint = widget->sizeHint();
        if (!hint.isValid() || (widget->width() >= hint.width() && widget->height() >= hint.height()))
            continue;
        small.push_back(widget->objectName().toStdString() + " (" + widget->metaObject()->className() + ") " +
                        std::to_string(widget->width()) + "x" + std::to_string(widget->height()) + " < " +
                        std::to_string(hint.width()) + "x" + std::to_string(hint.height()));
    }
    return small;
}

// Each dialog and editor as the window shows it, at the X server's default
// font: every text whole.
TEST_F(WindowTest, DialogsAndEditorsShowTheirTextsWhole) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 5000));
    const auto shownWhole = [](QWidget& shown) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&shown, 5000));
        QApplication::processEvents();
        EXPECT_EQ(smallerThanTheirHint(shown), std::vector<std::string>{}) << shown.windowTitle().toStdString();
    };
    const struct {
        const char* name;
        std::function<void()> show;
    } shown[] = {
        {"locator dialog",
         [&] {
             dialogs.answerDialog([&](QDialog& dialog) {
                 dialog.show();
                 shownWhole(dialog);
                 return int(QDialog::Rejected);
             });
             trigger("actionConnect");
         }},
        {"operation dialog",
         [&] {
             OperationDialog& dialog = window->operationDialog();
             dialog.setOperationName(QStringLiteral("Reading configuration..."));
             dialog.show();
             shownWhole(dialog);
             dialog.hide();
         }},
        {"3D editor",
         [&] {
             load(0x3D01);
             ASSERT_EQ(page(), "QMXHEditor_3D");
             shownWhole(*window);
         }},
        {"nD editor",
         [&] {
             load(0xFD01);
             ASSERT_EQ(page(), "QMXHEditor_nD");
             shownWhole(*window);
         }},
    };
    for (const auto& row : shown) {
        SCOPED_TRACE(row.name);
        row.show();
    }
    ASSERT_TRUE(e2e::closeAsWindowManager(*window));
}
