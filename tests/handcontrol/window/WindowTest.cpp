#include <QProgressBar>
#include <QTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>

#include "HandControlErrors.h"
#include "WindowFixture.h"
#include "support/SparseFile.h"

namespace {

using namespace hcwindowtest;
using handcontroltest::Library;
using handcontroltest::Serial;
using Codes = std::vector<int>;

const std::string kStart = "Load Exit Connect AutoVerify";
const std::string kConfiguration = "Load Save Close Exit Connect AutoVerify";
const std::string kConnected = "Load Exit Disconnect Read AutoVerify";
const std::string kBoth = "Load Save Close Exit Disconnect Read Write Verify AutoVerify";

// One thing the user does; the steps of a row run in order.
using Step = std::function<void(WindowTest&)>;

struct Row {
    const char* name;
    std::vector<Step> steps;
    std::string enabled;
    std::string page;
    std::string status;
    Codes codes;  // the progress dialog's results
};

class Actions : public WindowTest, public ::testing::WithParamInterface<Row> {};

Step load(int type) {
    return [type](WindowTest& t) { t.load(type); };
}
const Step kLoadBad = [](WindowTest& t) { t.loadBad(); };
// Loads a file far longer than any configuration that starts with a valid
// header; not read, so at once.
const Step kLoadTooLong = [](WindowTest& t) {
    const QString name = t.dir.filePath(QStringLiteral("huge.hcmc"));
    const std::string header =
        std::string("QMXH Configuration\x01\x00\x01\x3D", 22) + std::string(10, '\0');
    ASSERT_TRUE(vxtest::writeSparseTebibyte(name.toStdString(), header));
    t.dialogs.answerFile(name);
    const auto start = std::chrono::steady_clock::now();
    t.trigger("actionLoad_from_file");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
};
Step act(const char* name) {
    return [name](WindowTest& t) { t.trigger(name); };
}
Step connectWith(Mode mode) {
    return [mode](WindowTest& t) { t.connectTo(mode); };
}
// The locator dialog answered without a controller behind it.
Step locatorAnswer(std::function<int(QDialog&)> answer) {
    return [answer](WindowTest& t) {
        t.dialogs.answerDialog(answer);
        t.trigger("actionConnect");
    };
}

const Step kConnect = connectWith(Library);
const Step kConnectSerial = connectWith(Serial);

TEST_P(Actions, EndInTheirStateWithTheirMessage) {
    const Row& row = GetParam();
    for (const Step& step : row.steps) step(*this);
    EXPECT_EQ(enabled(), row.enabled);
    EXPECT_EQ(page(), row.page);
    EXPECT_EQ(status(), row.status);
    EXPECT_EQ(codes, row.codes);
    EXPECT_TRUE(action("actionAuto_verify")->isChecked());
}

const Row kRows[] = {
    {"Start", {}, kStart, "No Data", "", {}},
    {"LoadCancelled", {load(0)}, kStart, "No Data", "", {}},
    {"Load3D", {load(0x3D01)}, kConfiguration, "QMXHEditor_3D", "Done.", {0}},
    {"LoadND", {load(0xFD01)}, kConfiguration, "QMXHEditor_nD", "Done.", {0}},
    {"LoadBad",
     {kLoadBad},
     kStart,
     "No Data",
     "Load from file failed: invalid file content",
     {kHcInvalidFileContent}},
    {"LoadTooLong",
     {kLoadTooLong},
     kStart,
     "No Data",
     "Load from file failed: could not open file for read",
     {1013}},
    {"FailedLoadKeepsTheEditor",
     {load(0xFD01), kLoadBad},
     kConfiguration,
     "QMXHEditor_nD",
     "Load from file failed: invalid file content",
     {0, kHcInvalidFileContent}},
    {"LoadThenClose", {load(0x3D01), act("actionClose")}, kStart, "No Data", "Done.", {0}},
    {"Connect", {kConnect}, kConnected, "No Data", "Connection Established!", {0}},
    {"ConnectSerial", {kConnectSerial}, kConnected, "No Data", "Connection Established!", {0}},
    {"ConnectWithAConfiguration",
     {load(0x3D01), kConnect},
     kBoth,
     "QMXHEditor_3D",
     "Connection Established!",
     {0, 0}},
    {"ConnectFails",
     {locatorAnswer(typeLocator(QStringLiteral("network:127.0.0.1:1")))},
     kStart,
     "No Data",
     "Connecting failed: connecting to device failed",
     {kHcConnectFailed}},
    {"LocatorCancelled",
     {locatorAnswer([](QDialog&) { return int(QDialog::Rejected); })},
     kStart,
     "No Data",
     "",
     {}},
    {"LocatorEmpty", {locatorAnswer(typeLocator(QString()))}, kStart, "No Data", "", {}},
    {"Read", {kConnect, act("actionRead_configuration")}, kBoth, "QMXHEditor_3D", "Done.", {0, 0}},
    {"ReadThenClose",
     {kConnect, act("actionRead_configuration"), act("actionClose")},
     kConnected,
     "No Data",
     "Done.",
     {0, 0}},
    {"LoadWhileConnected", {kConnect, load(0xFD01)}, kBoth, "QMXHEditor_nD", "Done.", {0, 0}},
    {"DisconnectKeepsTheConfiguration",
     {kConnectSerial, act("actionRead_configuration"), act("actionDisconnect")},
     kConfiguration,
     "QMXHEditor_3D",
     "Disconnected.",
     {0, 0, 0}},
    {"DisconnectWithout",
     {kConnect, act("actionDisconnect")},
     kStart,
     "No Data",
     "Disconnected.",
     {0, 0}},
    {"Save",
     {load(0x3D01), act("actionSave_to_file")},
     kConfiguration,
     "QMXHEditor_3D",
     "Done.",
     {0}},  // the save dialog is cancelled: nothing runs
};

INSTANTIATE_TEST_SUITE_P(Each, Actions, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, FileDialogsAskForConfigurationFilesAndSaveWritesTheChosenName) {
    load(0x3D01);
    const QString saved = dir.filePath(QStringLiteral("copy"));
    dialogs.answerFile(saved);
    trigger("actionSave_to_file");
    EXPECT_EQ(status(), "Done.");
    ASSERT_EQ(dialogs.fileRequests().size(), 2u);
    const std::pair<vxgui::FileDialogRequest::Kind, const char*> asked[] = {
        {vxgui::FileDialogRequest::Kind::Open, "Load configuration"},
        {vxgui::FileDialogRequest::Kind::Save, "Save configuration"},
    };
    for (size_t i = 0; i < 2; ++i) {
        const vxgui::FileDialogRequest& request = dialogs.fileRequests()[i];
        EXPECT_EQ(request.kind, asked[i].first);
        EXPECT_EQ(request.caption, QLatin1String(asked[i].second));
        EXPECT_EQ(request.directory, QLatin1String("."));
        EXPECT_EQ(request.filter, QLatin1String("Config files (*.hcmc)"));
    }
    // No extension added, and the same bytes as the file loaded.
    QFile original(fileOf(0x3D01)), copy(saved);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), original.readAll());
    EXPECT_EQ(window->windowTitle(), QLatin1String("QMXH Configurator v2.0.3"));
}

struct WriteRow {
    const char* name;
    Mode mode;
    bool autoVerify;
    bool alter;  // the module stores one byte differently
    std::string status;
    Codes codes;  // after connect and read
};

class Write : public WindowTest, public ::testing::WithParamInterface<WriteRow> {};

TEST_P(Write, EndsWithTheVerificationOrDone) {
    const WriteRow& row = GetParam();
    connectTo(row.mode);
    trigger("actionRead_configuration");
    window->configuration().setByteAt(5, 0x42);
    if (row.alter) controller->model.alterNextSlotWrite(0, 5, 0x43);
    action("actionAuto_verify")->setChecked(row.autoVerify);
    trigger("actionWrite_configuration");
    EXPECT_EQ(status(), row.status);
    EXPECT_EQ(codes, row.codes);
    EXPECT_EQ(enabled(), kBoth);
}

const WriteRow kWriteRows[] = {
    {"LibraryVerified", Library, true, false, "Verification successful.", {0, 0, 0, 0}},
    {"SerialVerified", Serial, true, false, "Verification successful.", {0, 0, 0, 0}},
    {"LibraryDiffers",
     Library,
     true,
     true,
     "Verification failed: verification failed",
     {0, 0, 0, kHcVerificationFailed}},
    {"SerialDiffers",
     Serial,
     true,
     true,
     "Verification failed: verification failed",
     {0, 0, 0, kHcVerificationFailed}},
    {"NoAutoVerify", Serial, false, true, "Done.", {0, 0, 0}},
};

INSTANTIATE_TEST_SUITE_P(Each, Write, ::testing::ValuesIn(kWriteRows),
                         [](const auto& info) { return std::string(info.param.name); });

// The bytes of slots `first` to `last` of the simulated module.
std::vector<uint8_t> moduleSlots(const Controller& controller, uint8_t first, uint8_t last) {
    std::vector<uint8_t> bytes((last - first + 1) * 128u);
    for (uint8_t slot = first; slot <= last; ++slot)
        controller.model.readSlot(slot, 0, bytes.data() + (slot - first) * 128u, 128);
    return bytes;
}

// The module refuses one piece of slot 4: the read fails, and the image
// read before it, with the user's edit, stays what Write stores.
TEST_F(WindowTest, FailedReadKeepsTheImageItWouldReplace) {
    connectTo(Serial);
    trigger("actionRead_configuration");
    ASSERT_EQ(status(), "Done.");
    const std::vector<uint8_t> untouched = moduleSlots(*controller, 4, 8);
    window->configuration().setByteAt(5, 0x42);
    controller->text.addFault(vxsim::TextFault::error("RHCS4,0", 3, 1));
    trigger("actionRead_configuration");
    EXPECT_EQ(status(), "Reading configuration failed: read error");
    EXPECT_EQ(window->configuration().byteAt(5), 0x42);
    EXPECT_EQ(window->configuration().byteAt(4 * 128), handcontroltest::moduleByte(4, 0));
    EXPECT_EQ(page(), "QMXHEditor_3D");
    EXPECT_EQ(enabled(), kBoth);

    ASSERT_TRUE(action("actionAuto_verify")->isChecked());
    trigger("actionWrite_configuration");
    EXPECT_EQ(status(), "Verification successful.");
    EXPECT_EQ(codes, (Codes{0, 0, 1005, 0, 0}));
    EXPECT_EQ(moduleSlots(*controller, 4, 8), untouched);
    uint8_t edited = 0;
    controller->model.readSlot(0, 5, &edited, 1);
    EXPECT_EQ(edited, 0x42);
}

// The ways to stop the operation that runs; each keeps the dialog open
// until the worker's code arrives.
struct AbortRow {
    const char* name;
    std::function<void(QDialog&)> press;
};

class Abort : public WindowTest, public ::testing::WithParamInterface<AbortRow> {};

TEST_P(Abort, EndsTheReadWith1017AndKeepsTheImageFromBefore) {
    connectTo(Serial);
    ASSERT_EQ(status(), "Connection Established!");
    OperationDialog& dialog = window->operationDialog();
    // The worker waits after its first slot until the press has been handled,
    // so that the read cannot end before it.
    std::promise<void> pressed;
    std::atomic<bool> held{false};
    QObject::connect(
        &window->worker(), &ConfigTransporter::progress, &window->worker(),
        [&](int value) {
            if (value > 0 && !held.exchange(true))
                pressed.get_future().wait_for(std::chrono::seconds(30));
        },
        Qt::DirectConnection);
    bool openAfterPress = false;
    bool done = false;
    QObject::connect(dialog.findChild<QProgressBar*>(QStringLiteral("progressBar")),
                     &QProgressBar::valueChanged, &dialog, [&](int value) {
                         if (value == 0 || done) return;
                         done = true;
                         GetParam().press(dialog);
                         openAfterPress = dialog.isVisible();
                         pressed.set_value();
                     });
    trigger("actionRead_configuration");
    EXPECT_TRUE(done);
    EXPECT_TRUE(openAfterPress);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(codes, (Codes{0, kHcAborted}));
    EXPECT_EQ(status(), "Reading configuration failed: operation was aborted");
    // There was no image before the read, and there is none now: nothing
    // half read to save or write.
    EXPECT_EQ(window->configuration().type(), 0);
    EXPECT_EQ(page(), "No Data");
    EXPECT_EQ(enabled(), kConnected);
    // The worker is home again: the next operation runs.
    trigger("actionDisconnect");
    EXPECT_EQ(status(), "Disconnected.");
    EXPECT_EQ(enabled(), kStart);
}

const AbortRow kAbortRows[] = {
    {"Escape", [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
    {"CloseButton", [](QDialog& d) { d.close(); }},
    {"AbortButton",
     [](QDialog& d) { d.findChild<QPushButton*>(QStringLiteral("abortButton"))->click(); }},
};

INSTANTIATE_TEST_SUITE_P(Each, Abort, ::testing::ValuesIn(kAbortRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
