#include <QLabel>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include "OperationDialog.h"
#include "QMXLocatorSelect.h"
#include "WindowFixture.h"
#include "sim/Gen1Simulator.h"

namespace {

using namespace hcwindowtest;

template <class Widget>
Widget* child(QObject& parent, const char* name) {
    Widget* widget = parent.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

QStringList items(QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
}

struct RefreshRow {
    const char* name;
    bool usbSystem;
    std::vector<std::string> ports;
    const char* typed;
    QStringList items;
    const char* editText;
};

class Refresh : public ::testing::TestWithParam<RefreshRow> {};

TEST_P(Refresh, ListsTheSystemsThenThePortsAndKeepsATypedText) {
    const RefreshRow& row = GetParam();
    prepareEnvironment();
    vxplatform::ScopedSerialPorts ports(row.ports);
    std::unique_ptr<vxsim::Gen1Simulator> usb;
    if (row.usbSystem) {
        usb = std::make_unique<vxsim::Gen1Simulator>(vxsim::SystemSetup::standard(1, true));
        usb->attachUsb({"VX101", "Veltrax QMX-I", 101});
    }
    rescanUsb();
    QMXLocatorSelect dialog;
    EXPECT_EQ(dialog.windowTitle(), QLatin1String("Connect to Device"));
    QComboBox* box = child<QComboBox>(dialog, "locatorCombobox");
    EXPECT_EQ(box->count(), 0);
    box->setEditText(QLatin1String(row.typed));
    child<QPushButton>(dialog, "locatorRefresh")->click();
    EXPECT_EQ(items(box), row.items);
    EXPECT_EQ(box->currentText(), QLatin1String(row.editText));
    child<QPushButton>(dialog, "locatorConnect")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.selectedLocator(), QLatin1String(row.editText));
}

const QStringList kFound{"usb:id:101", "serial:/dev/ttyS0", "serial:/dev/ttyS5"};

const RefreshRow kRefreshRows[] = {
    {"Found", true, kSerialPorts, "", kFound, "usb:id:101"},
    {"TypedKept", true, kSerialPorts, "network:10.0.0.1", kFound, "network:10.0.0.1"},
    {"PortsOnly",
     false,
     kSerialPorts,
     "",
     {"serial:/dev/ttyS0", "serial:/dev/ttyS5"},
     "serial:/dev/ttyS0"},
    {"Nothing", false, {}, "", {}, ""},
};

INSTANTIATE_TEST_SUITE_P(Each, Refresh, ::testing::ValuesIn(kRefreshRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LocatorSelect, TheCloseButtonRejectsAndTheButtonsHaveTheirImages) {
    QMXLocatorSelect dialog;
    for (const char* button : {"locatorRefresh", "locatorConnect"})
        EXPECT_FALSE(child<QPushButton>(dialog, button)->icon().isNull()) << button;
    dialog.show();
    dialog.setResult(QDialog::Accepted);
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(WindowTest, ConnectAsksThroughTheLocatorDialogWhichOpensEmpty) {
    int count = -1;
    dialogs.answerDialog([&count](QDialog& dialog) {
        count = child<QComboBox>(dialog, "locatorCombobox")->count();
        return int(QDialog::Rejected);
    });
    trigger("actionConnect");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(dialogs.dialogTitles(), std::vector<QString>{QStringLiteral("Connect to Device")});
}

// The ways to ask the running operation to stop: none ends the dialog.
const std::pair<const char*, std::function<void(OperationDialog&)>> kPresses[] = {
    {"Abort", [](OperationDialog& d) { child<QPushButton>(d, "abortButton")->click(); }},
    {"Escape", [](OperationDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
    {"Close", [](OperationDialog& d) { d.close(); }},
};

TEST(OperationDialog, OnlyTheOperationsCodeEndsItsRun) {
    OperationDialog dialog;
    EXPECT_EQ(child<QProgressBar>(dialog, "progressBar")->value(), 24);
    dialog.setOperationName(QStringLiteral("Reading configuration..."));
    EXPECT_EQ(child<QLabel>(dialog, "operationName")->text(),
              QLatin1String("Reading configuration..."));
    EXPECT_EQ(dialog.windowTitle(), QLatin1String("Execute Operation..."));
    for (const int code : {0, 1016}) {
        std::vector<bool> openAfter;
        int aborts = 0;
        QObject counter;
        QObject::connect(&dialog, &OperationDialog::abortClicked, &counter,
                         [&aborts] { ++aborts; });
        QTimer::singleShot(0, &dialog, [&] {
            for (const auto& [name, press] : kPresses) {
                press(dialog);
                openAfter.push_back(dialog.isVisible());
            }
            dialog.setProgress(57);
            dialog.done(code);
        });
        EXPECT_EQ(dialog.exec(), code);
        EXPECT_EQ(openAfter, (std::vector<bool>{true, true, true}));
        EXPECT_EQ(aborts, 3);
        EXPECT_EQ(child<QProgressBar>(dialog, "progressBar")->value(), 57);
    }
}

// The tests' list of what Qt keeps until a process ends.
extern "C" const char* __lsan_default_suppressions();

TEST(Program, AnArgumentLeftByQtEndsItAtOnceWithZero) {
    // Under the leak checker the program is held to the tests' own list.
    QTemporaryDir dir;
    QFile suppressions(dir.filePath(QStringLiteral("lsan.supp")));
    ASSERT_TRUE(suppressions.open(QIODevice::WriteOnly));
    suppressions.write(__lsan_default_suppressions());
    suppressions.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LSAN_OPTIONS"),
                       QStringLiteral("suppressions=") + suppressions.fileName());
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(
        QStringLiteral(VX_HCONFIGURATOR_PROGRAM),
        {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("extra")});
    ASSERT_TRUE(program.waitForStarted(10000));
    const bool ended = program.waitForFinished(20000);
    if (!ended) program.kill();  // the child this test started
    ASSERT_TRUE(ended);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

}  // namespace
