#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QSettings>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "QMXFirmwareUploadWizard.h"
#include "ScriptedDialogs.h"
#include "UpdateOutcome.h"
#include "firmware/table/SettingsHome.h"
#include "firmware/wizard/WizardTestSupport.h"
#include "sim/BootSimulator.h"
#include "support/SparseFile.h"

namespace {

using namespace std::chrono_literals;
using updatetest::module;
using updatetest::recipe;
using wizardtest::State;
using wizardtest::waitFor;

constexpr uint8_t kLine1 = 0x09;

// Reads what a page was given.
class PageAccess : public QMXWizardPage {
public:
    static vxfw::UpdateSystem* systemOf(const QMXWizardPage& page) { return (page.*(&PageAccess::updateSystem))(); }
    static UploadManagerThread* threadOf(const QMXWizardPage& page) { return (page.*(&PageAccess::uploadThread))(); }
};

// Holds the worker in the task announced as `text` until released, so that
// the test acts while the task runs.
class TaskGate {
public:
    TaskGate(UploadManagerThread& thread, QObject* context, const QString& text) {
        QObject::connect(&thread, &UploadManagerThread::taskChanged, context,
                         [this, text](const QString& task) {
                             if (task != text || held_) return;
                             held_ = true;
                             entered_.set_value();
                             release_.get_future().wait_for(20s);
                         },
                         Qt::DirectConnection);
    }
    bool waitEntered() { return entered_.get_future().wait_for(20s) == std::future_status::ready; }
    void release() { release_.set_value(); }

private:
    bool held_ = false;
    std::promise<void> entered_;
    std::promise<void> release_;
};

// The program's wizard in a temporary current directory, with settings in
// a temporary configuration folder, beside a simulated system on TCP.
class UploadWizardTest : public usbtest::UsbTest {
protected:
    void SetUp() override {
        UsbTest::SetUp();
        fwtest::configHome();
        QCoreApplication::setOrganizationName(QStringLiteral("Veltrax"));
        QCoreApplication::setApplicationName(QStringLiteral("QMXFirmwareUploader"));
        QSettings().clear();
        previous_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path())));
    }
    void TearDown() override {
        wizard.reset();
        sim.reset();
        QSettings().clear();
        updateOutcome = {};
        QDir::setCurrent(previous_);
        UsbTest::TearDown();
    }

    void build() {
        wizard = std::make_unique<QMXFirmwareUploadWizard>();
        wizard->updateSystem().connection().setPauseLimit(0ms);
        wizard->show();
    }
    // A system of two modules of kind 2 with a newer file, and "update.xml"
    // in the current directory naming it.
    std::string serve(State state) {
        sim = std::make_unique<vxsim::BootSimulator>(vxsim::SystemSetup::standard(3, false),
                                                     std::vector<vxsim::BootModule>{module(0x2001, 3), module(0x2002, 3)},
                                                     state);
        EXPECT_TRUE(vxsim::writeBootImageFile(dir / "new.fw6", recipe(2, 3, kLine1, 5)));
        fwtest::writeFile(dir / "update.xml",
                          "<!DOCTYPE VXFirmwareUpdateConfiguration>\n<VXFirmwareUpdateConfiguration>\n"
                          "<file name=\"new.fw6\"/>\n</VXFirmwareUpdateConfiguration>\n");
        return sim->serveTcp();
    }
    // From the welcome page to the connect page, the locator typed in.
    void toConnectPage(const std::string& locator) {
        wizard->next();
        wizard->next();
        ASSERT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kConnect);
        wizard->findChild<QComboBox*>("locator")->setEditText(QString::fromStdString(locator));
    }
    QString locatorText() const { return wizard->findChild<QComboBox*>("locator")->currentText(); }
    bool settingsSaved() const { return QSettings().contains("WindowGeometry"); }

    fwtest::TempDir dir;
    std::unique_ptr<vxsim::BootSimulator> sim;
    vxgui::ScriptedDialogs dialogs;
    std::unique_ptr<QMXFirmwareUploadWizard> wizard;

private:
    QString previous_;
};

TEST_F(UploadWizardTest, PagesSystemThreadAndWindow) {
    build();
    const char* const kPages[] = {"WelcomePage", "UpdateConfigSelectionPage", "ConnectPage",
                                  "ConfigurationPage", "PerformUpdatePage", "UpdateResultPage"};
    EXPECT_EQ(wizard->pageIds(), (QList<int>{0, 1, 2, 3, 4, 5}));
    for (int id = 0; id < 6; ++id) {
        auto* page = qobject_cast<QMXWizardPage*>(wizard->page(id));
        ASSERT_NE(page, nullptr) << id;
        EXPECT_STREQ(page->metaObject()->className(), kPages[id]);
        EXPECT_EQ(PageAccess::systemOf(*page), &wizard->updateSystem()) << id;
        EXPECT_EQ(PageAccess::threadOf(*page), &wizard->uploadThread()) << id;
    }
    EXPECT_EQ(wizard->objectName(), "QMXFirmwareUploadWizard");
    EXPECT_EQ(wizard->windowTitle(), "QMX Firmware Uploader v3.3.9");
    EXPECT_EQ(QCoreApplication::applicationVersion(), "v3.3.9");
    // The designed size, grown only where the pages' minimum (the welcome
    // page's watermark) asks for more.
    EXPECT_EQ(wizard->size(), QSize(400, 300).expandedTo(wizard->minimumSize()));
    EXPECT_EQ(wizard->width(), 400);
    EXPECT_EQ(wizard->wizardStyle(), QWizard::ModernStyle);
    EXPECT_TRUE(wizard->testOption(QWizard::NoBackButtonOnLastPage));
    EXPECT_EQ(wizard->findChild<QLineEdit*>("configurationFile")->text(), "update.xml");
}

TEST_F(UploadWizardTest, CloseSavesAndFinishOrCancelDoNot) {
    build();
    wizard->next();
    wizard->next();
    wizard->findChild<QComboBox*>("locator")->setEditText("network:10.1.2.3:5000");
    wizard->resize(620, 480);
    ASSERT_TRUE(wizard->close());
    QSettings settings;
    EXPECT_EQ(settings.value("SystemLocator").toString(), "network:10.1.2.3:5000");
    EXPECT_FALSE(settings.value("WindowGeometry").toByteArray().isEmpty());
    wizard.reset();

    // The next start takes both back.
    build();
    EXPECT_EQ(wizard->size(), QSize(620, 480));
    EXPECT_EQ(locatorText(), "network:10.1.2.3:5000");

    for (const bool finish : {true, false}) {
        wizard.reset();
        settings.clear();
        build();
        if (finish) wizard->accept(); else wizard->reject();
        EXPECT_FALSE(wizard->isVisible()) << finish;
        EXPECT_FALSE(settingsSaved()) << finish;
    }
}

TEST_F(UploadWizardTest, OnlyNetworkLocatorsComeBack) {
    for (const char* stored : {"network:192.168.1.200:5000", "usb:ix:0", "serial:COM9"}) {
        SCOPED_TRACE(stored);
        wizard.reset();
        QSettings().setValue("SystemLocator", QString(stored));
        build();
        auto* locator = wizard->findChild<QComboBox*>("locator");
        if (QString(stored).startsWith("network:"))
            EXPECT_EQ(locator->currentText(), stored);
        else
            EXPECT_EQ(locator->currentText(), locator->count() > 0 ? locator->itemText(0) : QString());
    }
}

TEST_F(UploadWizardTest, ConfigurationFileNamesTheUpdateFile) {
    struct Case {
        const char* text;
        const char* field;
    };
    const Case kCases[] = {
        {"<!DOCTYPE QMXFirmwareUploaderConfig>\n<Any><Firmware path=\"site.xml\"/><Firmware path=\"b.xml\"/></Any>",
         "site.xml"},
        {"<QMXFirmwareUploaderConfig><Firmware path=\"site.xml\"/></QMXFirmwareUploaderConfig>", "update.xml"},
        {"<!DOCTYPE QMXFirmwareUploaderConfig>\n<R><Firmware/></R>", "update.xml"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        wizard.reset();
        fwtest::writeFile(dir / "QMXFirmwareUploaderConfig.xml", c.text);
        build();
        EXPECT_EQ(wizard->findChild<QLineEdit*>("configurationFile")->text(), c.field);
    }
}

// A configuration file far longer than any, starting as one that names a
// file: not read, the wizard up at once with the default field.
TEST_F(UploadWizardTest, AConfigurationFileTooLongToReadIsIgnored) {
    ASSERT_TRUE(vxtest::writeSparseTebibyte(
        dir / "QMXFirmwareUploaderConfig.xml",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE QMXFirmwareUploaderConfig>\n"
        "<QMXFirmwareUploaderConfig><Firmware path=\"site.xml\"/>"));
    const auto start = std::chrono::steady_clock::now();
    build();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    QCoreApplication::processEvents();
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(wizard->findChild<QLineEdit*>("configurationFile")->text(), "update.xml");
}

TEST_F(UploadWizardTest, CancelDuringConnectIsRefused) {
    const std::string locator = serve(State::Application);
    build();
    toConnectPage(locator);
    std::unique_ptr<TaskGate> gate;
    bool closed = true;
    bool cancelled = true;
    // Tried on the GUI thread while the connect page waits for its task;
    // connected ahead of the gate, so that it is queued before the gate holds
    // the worker.
    QObject::connect(&wizard->uploadThread(), &UploadManagerThread::taskChanged, wizard.get(),
                     [&](const QString& task) {
                         if (task != "Connecting...") return;
                         EXPECT_TRUE(wizard->taskRunning());
                         EXPECT_TRUE(wizard->button(QWizard::CancelButton)->isEnabled());
                         wizard->button(QWizard::CancelButton)->click();
                         cancelled = !wizard->isVisible();
                         closed = wizard->close();
                         gate->release();
                     });
    gate = std::make_unique<TaskGate>(wizard->uploadThread(), wizard.get(), "Connecting...");
    wizard->next();
    EXPECT_TRUE(gate->waitEntered());
    EXPECT_FALSE(cancelled);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_FALSE(settingsSaved()) << "a refused close saves nothing";
    EXPECT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kControllerTable) << "the connect went on";
    EXPECT_FALSE(wizard->taskRunning());
    EXPECT_EQ(sim->bootloader().state(), State::Bootloader);
    // With no task the window closes again.
    EXPECT_TRUE(wizard->close());
    EXPECT_TRUE(settingsSaved());
}

TEST_F(UploadWizardTest, CloseDuringUpdateIsRefusedAndTheUpdateEnds) {
    const std::string locator = serve(State::Bootloader);
    build();
    toConnectPage(locator);
    wizard->next();
    ASSERT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kControllerTable);
    TaskGate gate(wizard->uploadThread(), wizard.get(), "Updating...");
    dialogs.answerBox(0);  // &Start
    wizard->next();
    ASSERT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kUpdate);
    ASSERT_TRUE(gate.waitEntered());
    EXPECT_FALSE(wizard->close());
    wizard->reject();
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_FALSE(settingsSaved());
    gate.release();
    ASSERT_TRUE(waitFor([&] { return wizard->currentPage()->isComplete(); }, 60s));
    EXPECT_EQ(updateOutcome.updateStatus, UpdateOutcome::kSucceeded);
    EXPECT_EQ(updateOutcome.resetStatus, UpdateOutcome::kSucceeded);
    EXPECT_EQ(sim->bootloader().module(0x2002)->version2, 5);
    wizard->next();
    EXPECT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kResult);
    EXPECT_FALSE(wizard->button(QWizard::BackButton)->isVisible());
    EXPECT_FALSE(wizard->button(QWizard::CancelButton)->isVisible());
}

// Qt's warnings while the test's handler is installed, but for the one the
// offscreen platform gives whenever a page changes the window's size.
std::vector<std::string> warnings;

void collectWarning(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    if (text == QLatin1String("This plugin does not support propagateSizeHints()")) return;
    warnings.push_back(text.toStdString());
}

// From the start through an update to the result page, Qt has nothing to
// complain about: every slot named after a widget finds its signal, every
// field read is registered.
TEST_F(UploadWizardTest, RunsWithoutAWarning) {
    const std::string locator = serve(State::Bootloader);
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(&collectWarning);
    build();
    toConnectPage(locator);
    wizard->next();
    EXPECT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kControllerTable);
    dialogs.answerBox(0);  // &Start
    wizard->next();
    EXPECT_TRUE(waitFor([&] { return wizard->currentPage()->isComplete(); }, 60s));
    wizard->next();
    EXPECT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kResult);
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, std::vector<std::string>{});
}

TEST_F(UploadWizardTest, DestructionWaitsForTheTask) {
    const std::string locator = serve(State::Bootloader);
    build();
    toConnectPage(locator);
    wizard->updateSystem().setLocator(locator);
    TaskGate gate(wizard->uploadThread(), wizard.get(), "Connecting...");
    // A task started as a page would, and the wizard gone while it runs.
    wizard->uploadThread().startTask(UploadManagerTask::Connect);
    ASSERT_TRUE(gate.waitEntered());
    EXPECT_TRUE(wizard->taskRunning());
    gate.release();
    wizard.reset();
    SUCCEED() << "no abort: the thread ended before it was destroyed";
}

}  // namespace
