#include <gtest/gtest.h>

#include <QSignalSpy>

#include <memory>
#include <string>
#include <vector>

#include "BaudRateConfig.h"
#include "QMXControl.h"
#include "PageFixture.h"

namespace {

using namespace pagetest;

constexpr int kRatePage = 0;
constexpr int kNotSupportedPage = 1;
constexpr int kBaudRateTab = 2;
constexpr uint32_t kRefused = vxsim::refusal::kNotProcessable;
constexpr uint32_t kWorkingRate = 115200;

// One controller, reached through the library, directly over TCP and over
// a serial line; opened once, as the serial switch takes its time.
class BaudRate : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        controller = std::make_unique<Controller>(vxsim::SystemSetup::standard(2, false));
        library = std::make_unique<OpenConnection>(controller->libraryLocator());
        network = std::make_unique<OpenConnection>(controller->directLocator());
        serial = std::make_unique<OpenConnection>(controller->serialLocator());
    }
    static void TearDownTestSuite() {
        serial.reset();
        network.reset();
        library.reset();
        controller.reset();
    }
    void SetUp() override {
        ASSERT_EQ(library->connection.mode(), QMXConnection::Library);
        ASSERT_EQ(network->connection.mode(), QMXConnection::Network);
        ASSERT_EQ(serial->connection.mode(), QMXConnection::Serial);
        controller->text.clearFaults();
        controller->model.setRs232Rate(kWorkingRate, true);
        controller->text.clearRecords();
    }

    QString tabText() { return form.ui.tabWidget->tabText(kBaudRateTab); }
    void userSets(int rate) { form.ui.baudRate->setValue(rate); }

    static std::unique_ptr<Controller> controller;
    static std::unique_ptr<OpenConnection> library;
    static std::unique_ptr<OpenConnection> network;
    static std::unique_ptr<OpenConnection> serial;

    Form form;
    vxgui::ScriptedDialogs dialogs;
    BaudRateConfig page{&form.window, &form.ui, &serial->connection};
    QSignalSpy modifiedSignals{&page, &BaudRateConfig::baudRateModified};
};

std::unique_ptr<Controller> BaudRate::controller;
std::unique_ptr<OpenConnection> BaudRate::library;
std::unique_ptr<OpenConnection> BaudRate::network;
std::unique_ptr<OpenConnection> BaudRate::serial;

TEST_F(BaudRate, NotSupportedThroughTheLibraryOrOverTcp) {
    for (OpenConnection* other : {library.get(), network.get()}) {
        SCOPED_TRACE(other == library.get() ? "library" : "TCP");
        BaudRateConfig otherPage(&form.window, &form.ui, &other->connection);
        form.ui.baudRateStackedWidget->setCurrentIndex(kRatePage);
        const size_t binaryBefore = controller->binary.requestCount();
        otherPage.readFromController(&other->connection);
        EXPECT_EQ(form.ui.baudRateStackedWidget->currentIndex(), kNotSupportedPage);
        EXPECT_EQ(form.ui.label_9->text(),
                  "Baud rate configuration\nnot supported for this device.");
        EXPECT_FALSE(form.ui.baudRate->isEnabled());
        userSets(form.ui.baudRate->value() + 1);
        ASSERT_TRUE(otherPage.isModified());
        otherPage.writeToController(&other->connection);
        EXPECT_TRUE(otherPage.isModified());
        EXPECT_EQ(controller->binary.requestCount(), binaryBefore);
        EXPECT_TRUE(controller->text.commandTexts().empty());
        EXPECT_TRUE(dialogs.boxes().empty());
    }
}

TEST_F(BaudRate, ReadWriteAndReadBackOverASerialLine) {
    form.ui.baudRateStackedWidget->setCurrentIndex(kNotSupportedPage);
    page.readFromController(&serial->connection);
    EXPECT_EQ(form.ui.baudRateStackedWidget->currentIndex(), kRatePage);
    EXPECT_EQ(form.ui.baudRate->value(), int(kWorkingRate));
    EXPECT_TRUE(form.ui.baudRate->isEnabled());
    EXPECT_EQ(modifiedSignals.count(), 0) << "the page's own value is no change";
    EXPECT_EQ(controller->text.commandTexts(), std::vector<std::string>{"GCB"});

    userSets(38400);
    userSets(57600);
    EXPECT_EQ(modifiedSignals.count(), 2);
    EXPECT_EQ(tabText(), "Baud Rate*");
    controller->text.clearRecords();
    page.writeToController(&serial->connection);
    EXPECT_EQ(controller->text.commandTexts(), (std::vector<std::string>{"CB57600", "GCB"}));
    EXPECT_FALSE(page.isModified());
    EXPECT_EQ(tabText(), "Baud Rate");
    EXPECT_EQ(form.ui.baudRate->value(), 57600);
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    const vxgui::MessageBoxRequest& note = dialogs.boxes()[0];
    EXPECT_EQ(note.icon, QMessageBox::Information);
    EXPECT_EQ(note.title, "New Baud Rate");
    EXPECT_EQ(note.text, "Note: The system must be reset before the\nnew baud rate takes effect.");
    EXPECT_EQ(note.buttons, QStringList{"Ok"});
    EXPECT_EQ(note.parent, nullptr);

    // Stored, in effect after a reset.
    EXPECT_EQ(controller->model.rs232Rate(), 57600u);
    EXPECT_EQ(controller->model.effectiveRs232Rate(), kWorkingRate);
    controller->model.reset();
    EXPECT_EQ(controller->model.effectiveRs232Rate(), 57600u);
}

TEST_F(BaudRate, FailuresAreReportedAndARefusedWriteKeepsTheMark) {
    controller->text.addFault(vxsim::TextFault::error("GCB", kRefused, 1));
    form.ui.baudRate->setValue(20000);
    page.readFromController(&serial->connection);
    EXPECT_EQ(dialogs.boxTexts(), std::vector<QString>{"Error reading baud rate. Code: 150"});
    EXPECT_EQ(form.ui.baudRate->value(), 20000) << "the spin box keeps its value";
    EXPECT_FALSE(form.ui.baudRate->isEnabled());

    page.readFromController(&serial->connection);
    userSets(19200);
    controller->text.addFault(vxsim::TextFault::error("CB", kRefused, 1));
    controller->text.clearRecords();
    dialogs.clear();
    page.writeToController(&serial->connection);
    EXPECT_EQ(dialogs.boxTexts(),
              std::vector<QString>{
                  "Error writing baud rate. Code: 150\nThe system should be reset."});
    EXPECT_EQ(controller->text.commandTexts(), std::vector<std::string>{"CB19200"});
    EXPECT_TRUE(page.isModified());
    EXPECT_EQ(tabText(), "Baud Rate*");
    EXPECT_EQ(controller->model.rs232Rate(), kWorkingRate);

    // Disconnect keeps the mark, shows the rate page and disables the box.
    form.ui.baudRateStackedWidget->setCurrentIndex(kNotSupportedPage);
    page.clear();
    EXPECT_EQ(form.ui.baudRateStackedWidget->currentIndex(), kRatePage);
    EXPECT_FALSE(form.ui.baudRate->isEnabled());
    EXPECT_TRUE(page.isModified());
    EXPECT_EQ(tabText(), "Baud Rate*");
}

}  // namespace
