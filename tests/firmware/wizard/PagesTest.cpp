#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QWizard>

#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ConnectPage.h"
#include "ScriptedDialogs.h"
#include "UpdateConfigSelectionPage.h"
#include "WelcomePage.h"
#include "WizardTestSupport.h"
#include "DataBlockSequence.h"
#include "serial/ComPortList.h"

namespace {

using namespace wizardtest;

enum PageId { kWelcome, kSelection, kConnect, kAfter };

// The three pages in a wizard, on the update system and worker of the test.
class PagesTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        // No serial ports, so that the lists hold the tests' USB adapters only.
        vxio::setComPortSource({[] { return std::vector<std::string>{}; }, {}});
    }
    void TearDown() override {
        wizard.reset();
        vxio::setComPortSource({});
        WizardTest::TearDown();
    }

    void open(int startId, bool withField = false) {
        wizard = std::make_unique<QWizard>();
        welcome = new WelcomePage;
        selection = new UpdateConfigSelectionPage;
        connectPage = new ConnectPage;
        wizard->setPage(kWelcome, welcome);
        wizard->setPage(kSelection, selection);
        wizard->setPage(kConnect, connectPage);
        wizard->setPage(kAfter, new QWizardPage);
        for (QMXWizardPage* page : std::initializer_list<QMXWizardPage*>{welcome, selection, connectPage}) {
            page->setSystem(update.get());
            page->setThread(&thread);
        }
        QObject::connect(&thread, &UploadManagerThread::taskChanged, wizard.get(), [this](const QString& text) {
            announced.push_back(text);
            if (onTask) onTask(text);
        });
        // The field that keeps the system's settings across the update, set
        // where a test asks for it as a page of the wizard could set it.
        if (withField) wizard->setField(QString::fromLatin1(ConnectPage::kPreserveField), true);
        wizard->setStartId(startId);
        wizard->show();
    }

    template <class Widget>
    Widget* child(const char* name) {
        Widget* widget = wizard->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QComboBox* locator() { return child<QComboBox>("locator"); }
    std::vector<QString> items() {
        std::vector<QString> texts;
        for (int i = 0; i < locator()->count(); ++i) texts.push_back(locator()->itemText(i));
        return texts;
    }
    bool enabled(QWizard::WizardButton which) { return wizard->button(which)->isEnabled(); }
    // The connect display: buttons, locator and refresh enabled, message and bar shown.
    std::string display() {
        std::string text;
        if (enabled(QWizard::BackButton)) text += "back ";
        if (enabled(QWizard::NextButton)) text += "next ";
        if (locator()->isEnabled()) text += "locator ";
        if (child<QPushButton>("refreshButton")->isEnabled()) text += "refresh ";
        if (!child<QLabel>("waitMessage")->isHidden()) text += "message ";
        if (!child<QProgressBar>("connectProgress")->isHidden()) text += "bar ";
        return text;
    }

    std::unique_ptr<QWizard> wizard;
    WelcomePage* welcome = nullptr;
    UpdateConfigSelectionPage* selection = nullptr;
    ConnectPage* connectPage = nullptr;
    vxgui::ScriptedDialogs dialogs;
    // Runs on the GUI thread as each task text arrives, inside the page's wait.
    std::function<void(const QString&)> onTask;
};

const std::string kIdle = "back next locator refresh ";

TEST_F(PagesTest, FormsBearTheirNamesAndTexts) {
    open(kWelcome);
    struct Case {
        const char* name;
        const char* text;
    };
    const Case kCases[] = {
        {"WelcomePage", ""},
        {"verticalLayout", ""},
        {"label", "Please connect your QMX to the computer and power it up."},
        {"UpdateConfigSelectionPage", ""},
        {"verticalLayout_3", ""},
        {"useDefaultConfig", "Use default configuration file"},
        {"useCustomConfig", "Use custom configuration file"},
        {"horizontalLayout", ""},
        {"configurationFile", "update.xml"},
        {"browseConfigFileButton", "Browse..."},
        {"ConnectPage", ""},
        {"label_2", "Use the Refresh button to update the list of available ports."},
        {"locator", ""},
        {"refreshButton", "Refresh"},
        {"waitMessage", "Connecting. Please wait..."},
        {"connectProgress", ""},
    };
    for (const Case& c : kCases) {
        QObject* object = wizard->findChild<QObject*>(QString::fromLatin1(c.name));
        ASSERT_NE(object, nullptr) << c.name;
        QString text;
        if (auto* button = qobject_cast<QAbstractButton*>(object)) text = button->text();
        if (auto* label = qobject_cast<QLabel*>(object)) text = label->text();
        if (auto* edit = qobject_cast<QLineEdit*>(object)) text = edit->text();
        EXPECT_EQ(text, QString::fromLatin1(c.text)) << c.name;
    }
    const QLayout* layout = welcome->layout();
    EXPECT_EQ(layout->spacing(), 6);
    EXPECT_EQ(layout->contentsMargins(), QMargins(11, 11, 11, 11));

    EXPECT_EQ(welcome->title(), "Welcome");
    EXPECT_EQ(welcome->subTitle(), "This wizard will guide you through the update process.");
    EXPECT_FALSE(welcome->pixmap(QWizard::WatermarkPixmap).isNull());
    EXPECT_EQ(selection->title(), "Configure Update");
    EXPECT_EQ(connectPage->title(), "Select QMX");
    EXPECT_EQ(connectPage->subTitle(), "Please select the port to which your QMX is connected to.");

    QTextDocument tip;
    tip.setHtml(locator()->toolTip());
    EXPECT_EQ(tip.toPlainText(),
              "Select a controller from the list or enter a locator string directly. Examples:\n"
              "USB: \"usb:id:12345678\"\nSerial: \"serial:COM9\"\nNet: \"network:192.168.1.200:5000\"");
    EXPECT_TRUE(locator()->isEditable());
}

TEST_F(PagesTest, SelectionOffersTheDefaultFileWhereItIs) {
    struct Case {
        bool present;
        std::string chosen;  // "default", "custom"
        bool defaultEnabled;
        bool fileEnabled;
    };
    for (const Case& c : {Case{true, "default", true, false}, Case{false, "custom", false, true}}) {
        SCOPED_TRACE(c.present);
        if (c.present) fwtest::writeFile(dir / "update.xml", "<x/>");
        open(kSelection);
        auto* useDefault = child<QRadioButton>("useDefaultConfig");
        auto* useCustom = child<QRadioButton>("useCustomConfig");
        EXPECT_EQ(useDefault->isChecked() ? "default" : useCustom->isChecked() ? "custom" : "", c.chosen);
        EXPECT_EQ(useDefault->isEnabled(), c.defaultEnabled);
        EXPECT_EQ(child<QLineEdit>("configurationFile")->isEnabled(), c.fileEnabled);
        EXPECT_EQ(child<QPushButton>("browseConfigFileButton")->isEnabled(), c.fileEnabled);
        std::remove((dir / "update.xml").c_str());
    }
}

TEST_F(PagesTest, TheCustomChoiceEnablesItsFieldAndBrowse) {
    fwtest::writeFile(dir / "update.xml", "<x/>");
    open(kSelection);
    auto* file = child<QLineEdit>("configurationFile");
    auto* browse = child<QPushButton>("browseConfigFileButton");
    child<QRadioButton>("useCustomConfig")->click();
    EXPECT_TRUE(file->isEnabled() && browse->isEnabled());
    child<QRadioButton>("useDefaultConfig")->click();
    EXPECT_FALSE(file->isEnabled() || browse->isEnabled());

    child<QRadioButton>("useCustomConfig")->click();
    dialogs.answerFile(QStringLiteral("/elsewhere/custom.xml"));
    browse->click();
    EXPECT_EQ(file->text(), "/elsewhere/custom.xml");
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    const vxgui::FileDialogRequest& request = dialogs.fileRequests()[0];
    EXPECT_EQ(request.kind, vxgui::FileDialogRequest::Kind::Open);
    EXPECT_EQ(request.caption, "Select configuration file");
    EXPECT_EQ(request.directory, "update.xml");
    EXPECT_EQ(request.filter, "XML files (*.xml)");
    browse->click();  // cancelled
    EXPECT_EQ(file->text(), "/elsewhere/custom.xml");
    selection->setConfigurationFile(QStringLiteral("other.xml"));
    EXPECT_EQ(file->text(), "other.xml");
}

TEST_F(PagesTest, SelectionLoadsTheConfigurationOrStays) {
    fwtest::writeFile(dir / "update.xml", "<!DOCTYPE Other>\n<Other/>\n");
    fwtest::writeFile(dir / "custom.xml",
                      "<!DOCTYPE VXFirmwareUpdateConfiguration>\n<VXFirmwareUpdateConfiguration>\n"
                      "</VXFirmwareUpdateConfiguration>\n");
    open(kSelection);
    wizard->next();
    EXPECT_EQ(wizard->currentId(), kSelection);
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(dialogs.boxes()[0].title, "Error");
    EXPECT_EQ(dialogs.boxes()[0].text, "Error: configuration error (wrong document type)");
    EXPECT_EQ(dialogs.boxes()[0].buttons, QStringList{"OK"});

    child<QRadioButton>("useCustomConfig")->click();
    child<QLineEdit>("configurationFile")->setText(QStringLiteral("custom.xml"));
    wizard->next();
    EXPECT_EQ(wizard->currentId(), kConnect);
    EXPECT_EQ(dialogs.boxes().size(), 1u);
}

TEST_F(PagesTest, RefreshListsTheAdaptersAndKeepsATypedLocator) {
    serve(Way::Usb, State::Bootloader);
    open(kConnect);
    const QString listed = QStringLiteral("usb:id:%1").arg(boottest::kChipId);
    EXPECT_EQ(items(), std::vector<QString>{listed});
    EXPECT_EQ(locator()->currentText(), listed);
    EXPECT_TRUE(connectPage->isComplete());

    const QString typed = QStringLiteral("network:127.0.0.1:5000");
    locator()->setEditText(typed);
    usbtest::plug(usbtest::Adapter().sn("VX000099").desc(vxfw::USBPort::kProductName).chip(99));
    advanceClock(10s);
    child<QPushButton>("refreshButton")->click();
    EXPECT_EQ(items(), (std::vector<QString>{listed, QStringLiteral("usb:id:99")}));
    EXPECT_EQ(locator()->currentText(), typed);

    locator()->setEditText(QString());
    EXPECT_FALSE(connectPage->isComplete());
    EXPECT_FALSE(enabled(QWizard::NextButton));
    connectPage->setLocatorText(QStringLiteral("usb"));
    EXPECT_TRUE(enabled(QWizard::NextButton));
}

TEST_F(PagesTest, UsbInAnyCaseConnectsToTheFirstAdapter) {
    serve(Way::Usb, State::Bootloader);
    open(kConnect);
    locator()->setEditText(QStringLiteral("USB"));
    wizard->next();
    EXPECT_EQ(wizard->currentId(), kAfter);
    EXPECT_EQ(update->connection().locator(), "usb:ix:0");
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_EQ(update->getState(), 3);
}

TEST_F(PagesTest, FromTheBootloaderTheWizardGoesOnWithoutEntering) {
    const std::string served = serve(Way::Tcp, State::Bootloader);
    open(kConnect);
    // The start page has no way back; nothing is listed yet.
    EXPECT_EQ(display(), "locator refresh ");
    locator()->setEditText(QString::fromStdString(served));
    EXPECT_EQ(display(), "next locator refresh ");
    wizard->next();
    EXPECT_EQ(wizard->currentId(), kAfter);
    EXPECT_EQ(announced, std::vector<QString>{QStringLiteral("Connecting...")});
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_EQ(update->getState(), 3);
    EXPECT_EQ(update->connection().locator(), served);
}

TEST_F(PagesTest, FromTheApplicationTheSystemIsBroughtIntoTheBootloader) {
    const std::string served = serve(Way::Tcp, State::Application);
    open(kConnect);
    locator()->setEditText(QString::fromStdString(served));
    std::vector<std::string> during;
    std::vector<int> bar;
    QObject::connect(child<QProgressBar>("connectProgress"), &QProgressBar::valueChanged,
                     [&](int value) { bar.push_back(value); });
    onTask = [&](const QString& text) {
        during.push_back(display());
        if (text != QStringLiteral("Connecting...")) return;
        // A refresh now would find this adapter; the page must not list ports
        // while the worker owns the update system.
        usbtest::plug(usbtest::Adapter().desc(vxfw::USBPort::kProductName));
        advanceClock(10s);
        child<QPushButton>("refreshButton")->click();
        during.push_back(std::to_string(locator()->count()) + " " + locator()->currentText().toStdString());
    };
    wizard->next();
    EXPECT_EQ(wizard->currentId(), kAfter);
    EXPECT_EQ(announced, (std::vector<QString>{QStringLiteral("Connecting..."),
                                               QStringLiteral("Entering bootloader state...")}));
    EXPECT_EQ(during, (std::vector<std::string>{"message bar ", "0 " + served, "message bar "}));
    ASSERT_FALSE(bar.empty());
    EXPECT_EQ(*std::max_element(bar.begin(), bar.end()), 100);
    EXPECT_EQ(bar.back(), 0);
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_EQ(sim->bootloader().state(), State::Bootloader);
    EXPECT_EQ(update->getState(), 3);
    EXPECT_EQ(display(), "back locator refresh ");  // Next gives way to Finish
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("QMXConfig")));
}

TEST_F(PagesTest, EachFailureShowsItsBoxAndLeavesThePageReady) {
    struct Case {
        const char* name;
        State state;
        bool withField;
        std::function<void(vxsim::BootloaderSystem&)> fault;
        bool usable;  // the locator reaches the system
        QString box;  // %1: the task's result
    };
    const vxsim::Bytes wrongHello = {0x08, 0x00, 0x21};
    const Case kCases[] = {
        {"no such device", State::Application, false, {}, false, QStringLiteral("Error connecting: %1")},
        {"bootloader refuses", State::Application, false,
         [](vxsim::BootloaderSystem& boot) { boot.addFault(vxsim::BootFault::exchange(0x55)); }, true,
         QStringLiteral("Error entering bootloader: %1")},
        {"application does not start", State::Bootloader, true,
         [&](vxsim::BootloaderSystem& boot) {
             boot.addFault(vxsim::BootFault::replace(vxsim::boot::kStartApplication, wrongHello));
         },
         true, QStringLiteral("Error entering application: %1.\nPlease restart the QMX and retry.")},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        dialogs.clear();
        const std::string served = serve(Way::Tcp, c.state);
        if (c.fault) c.fault(sim->bootloader());
        open(kConnect, c.withField);
        locator()->setEditText(c.usable ? QString::fromStdString(served) : QStringLiteral("usb:sn:NOSUCH"));
        wizard->next();
        EXPECT_EQ(wizard->currentId(), kConnect);
        const std::string result = thread.result();
        EXPECT_FALSE(result.empty());
        ASSERT_EQ(dialogs.boxes().size(), 1u);
        EXPECT_EQ(dialogs.boxes()[0].icon, QMessageBox::Critical);
        EXPECT_EQ(dialogs.boxes()[0].title, "Error");
        EXPECT_EQ(dialogs.boxes()[0].text, c.box.arg(QString::fromStdString(result)));
        EXPECT_EQ(display(), kIdle);
        EXPECT_EQ(child<QProgressBar>("connectProgress")->value(), 0);
        EXPECT_EQ(update->getState(), 0);
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("QMXConfig")));
        wizard.reset();
    }
}

TEST_F(PagesTest, TheFieldKeepsTheSettingsBeforeTheBootloader) {
    const std::string served = serve(Way::Tcp, State::Application);
    sim->model().setSensorType(1, 2);
    {
        // The settings as a separate reader finds them first.
        vxfw::UpdateSystem reader;
        reader.connection().setPauseLimit(0ms);
        reader.setLocator(served);
        ASSERT_EQ(reader.connect(), "");
        vxdata::DataBlockSequence blocks;
        ASSERT_EQ(reader.readConfiguration(blocks), "");
        ASSERT_TRUE(blocks.write(dir / "expected"));
        reader.disconnect();
    }
    open(kConnect, true);
    locator()->setEditText(QString::fromStdString(served));
    wizard->next();
    EXPECT_EQ(wizard->currentId(), kAfter);
    const QString application = QStringLiteral("Entering application state...");
    EXPECT_EQ(announced, (std::vector<QString>{QStringLiteral("Connecting..."), application,
                                               application + QStringLiteral(" Done."),
                                               QStringLiteral("Reading system configuration..."),
                                               QStringLiteral("Entering bootloader state...")}));
    EXPECT_EQ(fwtest::readFile(dir / "QMXConfig"), fwtest::readFile(dir / "expected"));
    EXPECT_EQ(sim->bootloader().state(), State::Bootloader);
}

}  // namespace
