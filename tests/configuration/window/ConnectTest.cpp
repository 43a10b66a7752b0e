#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QSpinBox>
#include <QTextEdit>

#include <termios.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <map>

#include "IndexMapConfig.h"
#include "SystemParametersConfig.h"
#include "WindowFixture.h"
#include "common/CtlLibrary.h"
#include "sim/Gen1Opcodes.h"
#include "sim/Gen2Layout.h"
#include "sim/Gen2Simulator.h"

namespace {

using namespace windowtest;
namespace gen1 = vxsim::gen1;

enum class Way { Library, Serial, Network };

// Which page a request belongs to, named by the page; requests that several
// pages send (the channel list, the channel types) name none.
using Pages = std::vector<std::string>;

void append(Pages& pages, const char* page) {
    if (page && (pages.empty() || pages.back() != page)) pages.push_back(page);
}

// The textual commands after the open's handshake, by page.
Pages pagesOf(const std::vector<std::string>& commands) {
    const std::pair<const char*, const char*> kinds[] = {
        {"SLTC", "speed level table"}, {"GST", "sensor types"}, {"SST", "sensor types"},
        {"GCB", "baud rate"},          {"CB", "baud rate"},     {"RTP", "system parameters"},
        {"WTP", "system parameters"},  {"GCP", "system parameters"},
        {"SCP", "system parameters"},  {"IM", "index map"},     {"GFV", "version"},
        {"GSN", "version"},            {"GFP", "version"},
    };
    Pages pages;
    for (const std::string& command : commands) {
        const char* page = nullptr;
        for (const auto& [prefix, name] : kinds) {
            if (command.rfind(prefix, 0) == 0 && !page) page = name;
        }
        append(pages, page);
    }
    return pages;
}

// The binary requests, by page.
Pages pagesOf(const std::vector<vxsim::Bytes>& requests) {
    const std::map<uint8_t, const char*> kinds{
        {gen1::kSpeedLevelTable, "speed level table"},
        {gen1::kSensorType, "sensor types"},
        {gen1::kSetSensorType, "sensor types"},
        {gen1::kReadTuningParameter, "system parameters"},
        {gen1::kTuningParameter, "system parameters"},
        {gen1::kChannelProperty, "system parameters"},
        {gen1::kIndexMap, "index map"},
        {gen1::kFirmwareVersion, "version"},
        {gen1::kFeature, "version"},
    };
    Pages pages;
    for (const vxsim::Bytes& request : requests) {
        const auto kind = kinds.find(request.at(2));
        append(pages, kind == kinds.end() ? nullptr : kind->second);
    }
    return pages;
}

// A second-generation controller, one module of three linear positioners,
// on a USB adapter of the driver double. The library that serves it is
// loaded for it and stays loaded; its search then finds nothing in the
// tests' namespace, so the lists of later windows do not change.
struct SecondGeneration {
    SecondGeneration() : sim(std::make_unique<vxsim::Gen2Simulator>()) {
        qmx::setVeltraxCTLFileName("libVeltraxCTL.so");
        vxsim::Gen2Layout layout;
        layout.interfaceVersion = {1, {0, 1, 0, 0}};
        vxsim::Gen2Module module;
        module.channels.assign(3, vxsim::Gen2ChannelSettings{});
        module.version1 = {2, {0, 1, 0, 0}};
        module.version2 = {3, {0, 1, 0, 0}};
        module.catalogue = {{300, "SL-0601", 2, 1}};
        layout.modules = {module};
        vxsim::defineLayout(sim->model(), layout);
        sim->attachUsb({"QMX2-CT1", "Veltrax QMX2", 0x2E00C701});
        rescanUsb();
    }
    ~SecondGeneration() {
        sim.reset();
        rescanUsb();
    }
    static QString locator() { return QStringLiteral("usb:sn:QMX2-CT1"); }
    std::unique_ptr<vxsim::Gen2Simulator> sim;
};

class Connected : public WindowTest {
protected:
    QString locatorOf(Way way) const {
        switch (way) {
            case Way::Library:
                return controller.libraryLocator();
            case Way::Serial:
                return controller.serialLocator();
            case Way::Network:
                return controller.directLocator();
        }
        return {};
    }

    // What the controller received since the records were last cleared.
    Pages sent(Way way) const {
        if (way == Way::Library) return pagesOf(controller.binary.requests());
        std::vector<std::string> commands = controller.text.commandTexts();
        const auto handshake = std::find(commands.begin(), commands.end(), "SCM0");
        if (handshake != commands.end()) commands.erase(commands.begin(), handshake + 1);
        return pagesOf(commands);
    }
    void clearRecords() {
        controller.binary.clearRequests();
        controller.text.clearRecords();
    }

    // The Connect button's icon shows the connection's LED.
    bool showsLed(const char* led) {
        const QString path =
            QStringLiteral(":/qmxconfiguration/Resources/GuiResources/Icons/LED/Flat/%1.png")
                .arg(QLatin1String(led));
        return button(*window, "connectButton")->icon().pixmap(16).toImage() ==
               QIcon(path).pixmap(16).toImage();
    }
    QTableWidget* speedLevelTable() { return child<QTableWidget>(*window, "speedLevelTable"); }
    SystemParametersConfig* systemParameters() {
        return window->findChild<SystemParametersConfig*>();
    }
    QString versionText() { return child<QTextEdit>(*window, "teVersion")->toPlainText(); }

    Controller controller{threeChannelSystem()};
    std::unique_ptr<QMXConfiguration> window = std::make_unique<QMXConfiguration>();
};

TEST_F(Connected, EachWayReadsTheWholeConfigurationInPageOrder) {
    struct Case {
        Way way;
        const char* name;
        Pages pages;
    };
    const Pages withoutBaudRate{"speed level table", "sensor types", "system parameters",
                                "index map", "version"};
    // The library reads the versions as it opens the system and answers the
    // version page from what it read.
    const Case cases[] = {
        {Way::Library, "library", {"version", "speed level table", "sensor types",
                                   "system parameters", "index map"}},
        {Way::Serial, "serial", {"speed level table", "sensor types", "baud rate",
                                 "system parameters", "index map", "version"}},
        {Way::Network, "network", withoutBaudRate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearRecords();
        connectTo(*window, locatorOf(c.way));
        EXPECT_EQ(status(*window), "Connected.");
        EXPECT_EQ(bar(*window), kConnectedBar);
        EXPECT_TRUE(showsLed("RoundGreenOn"));
        EXPECT_FALSE(showsLed("RoundNeutralOff"));
        EXPECT_TRUE(child<QSpinBox>(*window, "closedLoopMaxFrequency")->isEnabled());
        EXPECT_EQ(sent(c.way), c.pages);
        EXPECT_EQ(speedLevelTable()->rowCount(), controller.model.speedLevelTableSize());
        EXPECT_EQ(systemParameters()->listedChannels(), (QList<uint32_t>{0, 1, 2}));
        const QString report = versionText();
        EXPECT_FALSE(report.isEmpty());
        EXPECT_TRUE(dialogs.boxes().empty());

        // A page's change, and only that, enables Write.
        speedLevelTable()->item(0, 0)->setText("5");
        EXPECT_EQ(bar(*window), "connectButton readButton writeButton readXMLButton "
                                "writeXMLButton | Disconnect");

        button(*window, "connectButton")->click();
        EXPECT_EQ(status(*window), "Disonnected.");
        EXPECT_EQ(bar(*window), kDisconnectedBar);
        EXPECT_TRUE(showsLed("RoundNeutralOff"));
        EXPECT_EQ(speedLevelTable()->rowCount(), 0);
        EXPECT_EQ(child<QComboBox>(*window, "channelIndex")->count(), 0);
        EXPECT_TRUE(systemParameters()->listedChannels().isEmpty());
        EXPECT_EQ(child<QTableWidget>(*window, "indexMapTable")->rowCount(), 0);
        EXPECT_EQ(versionText(), report);
        EXPECT_EQ(locator(*window)->currentText(), locatorOf(c.way));
    }
}

TEST_F(Connected, ReadAsksOnceWhenAPageHoldsChangesAndAbortChangesNothing) {
    connectTo(*window, locatorOf(Way::Network));
    ASSERT_EQ(status(*window), "Connected.");
    const Pages everyPage{"speed level table", "sensor types", "system parameters", "index map",
                          "version"};
    clearRecords();
    button(*window, "readButton")->click();
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_EQ(sent(Way::Network), everyPage);
    EXPECT_EQ(status(*window), "Configuration read.");

    speedLevelTable()->item(0, 0)->setText("5");
    indexMapBox(*window, 0)->setCurrentIndex(1);
    clearRecords();
    dialogs.answerBox(1);
    button(*window, "readButton")->click();
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    const vxgui::MessageBoxRequest& box = dialogs.boxes().front();
    EXPECT_EQ(box.icon, QMessageBox::Question);
    EXPECT_EQ(box.title, "Read Configuration");
    EXPECT_EQ(box.text, "Changes made to the current configuration will be lost.\nContinue?");
    EXPECT_EQ(box.buttons, (QStringList{"&Continue", "&Abort"}));
    EXPECT_EQ(box.defaultButton, 0);
    EXPECT_EQ(box.parent, nullptr);
    EXPECT_TRUE(controller.text.commandTexts().empty());
    EXPECT_EQ(speedLevelTable()->item(0, 0)->text(), "5");
    EXPECT_EQ(indexMapBox(*window, 0)->currentIndex(), 1);
    EXPECT_TRUE(button(*window, "writeButton")->isEnabled());

    dialogs.answerBox(0);
    button(*window, "readButton")->click();
    EXPECT_EQ(dialogs.boxes().size(), 2u);
    EXPECT_EQ(sent(Way::Network), everyPage);
    EXPECT_EQ(speedLevelTable()->item(0, 0)->text(),
              QString::number(controller.model.speedLevel(0)[0]));
    EXPECT_EQ(indexMapBox(*window, 0)->currentIndex(), 0);
    EXPECT_EQ(bar(*window), kConnectedBar);
}

TEST_F(Connected, WriteCallsThePagesInOrderAndStaysDisabled) {
    connectTo(*window, locatorOf(Way::Network));
    ASSERT_EQ(status(*window), "Connected.");
    speedLevelTable()->item(0, 0)->setText("5");
    indexMapBox(*window, 0)->setCurrentIndex(1);
    clearRecords();
    button(*window, "writeButton")->click();
    EXPECT_EQ(sent(Way::Network),
              (Pages{"speed level table", "system parameters", "index map"}));
    EXPECT_EQ(status(*window), "Configuration written.");
    EXPECT_EQ(bar(*window), kConnectedBar);
    EXPECT_EQ(controller.model.speedLevel(0)[0], 5);
    EXPECT_EQ(controller.model.indexMapEntry(0), 1);
    EXPECT_EQ(controller.model.indexMapEntry(1), 0);
    EXPECT_TRUE(dialogs.boxes().empty());
}

// The line goes during a Read, Connect's or the button's, whichever way
// the system was opened and with either generation: a box says so, no
// "Configuration read.", and the window goes back to Connect rather than
// claim a half-read system.
TEST_F(Connected, ALineLostDuringAReadEndsTheConnection) {
    struct Case {
        Way way;
        bool button;  // the Read button's Read, after a Connect that read
        const char* status;
        bool secondGeneration = false;  // through the library only
        int code = 10;                  // the status that showed the loss
        // The box of the page that met the loss, before the window's own.
        const char* pageError = nullptr;
    };
    const Case cases[] = {
        {Way::Network, false, "Connect failed! Error 10"}, {Way::Network, true, "Disonnected."},
        {Way::Serial, false, "Connect failed! Error 10"},  {Way::Serial, true, "Disonnected."},
        {Way::Library, false, "Connect failed! Error 10"}, {Way::Library, true, "Disonnected."},
        // Its first request after a Connect is the sensor type's.
        {Way::Library, true, "Disonnected.", true, 7, "Error reading sensor type. Code: 7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.way)
                                        << (c.button ? " button" : " connect")
                                        << (c.secondGeneration ? " second generation" : ""));
        // A pulled serial line stays pulled: a controller and a window each.
        Controller peer{threeChannelSystem()};
        std::unique_ptr<SecondGeneration> second;
        if (c.secondGeneration) second = std::make_unique<SecondGeneration>();
        const QString system = second                 ? second->locator()
                               : c.way == Way::Library ? peer.libraryLocator()
                               : c.way == Way::Serial  ? peer.serialLocator()
                                                       : peer.directLocator();
        auto loseTheLine = [&] {
            if (second)
                second->sim->endpoint().addFault(vxsim::Gen2Fault::disconnect(
                    {vxsim::gen2::kCommandStart, vxsim::gen2::command::kReadProperty}, 1));
            else if (c.way == Way::Library)
                peer.binary.addFault(
                    vxsim::Fault::disconnect({-1, gen1::kReadTuningParameter, -1}, 1));
            else
                peer.text.addFault(vxsim::TextFault::disconnect("RTP1,5", 1));
        };
        auto tool = std::make_unique<QMXConfiguration>();
        dialogs.clear();
        if (c.button) {
            connectTo(*tool, system);
            ASSERT_EQ(status(*tool), "Connected.");
            loseTheLine();
            button(*tool, "readButton")->click();
        } else {
            loseTheLine();
            connectTo(*tool, system);
        }
        std::vector<QString> errors;
        for (const vxgui::MessageBoxRequest& box : dialogs.boxes())
            if (box.title == "Error") errors.push_back(box.text);
        std::vector<QString> expected;
        if (c.pageError) expected.push_back(QString::fromLatin1(c.pageError));
        expected.push_back(
            QStringLiteral("Connection lost while reading the configuration. Code: %1").arg(c.code));
        EXPECT_EQ(errors, expected);
        EXPECT_EQ(status(*tool), c.status);
        EXPECT_EQ(bar(*tool), kDisconnectedBar);
        EXPECT_EQ(tool->findChild<SystemParametersConfig*>()->table(), nullptr);
        EXPECT_EQ(child<QTableWidget>(*tool, "speedLevelTable")->rowCount(), 0);
    }
}

// The port's output held (as by XOFF or CTS) for 15 s: the Read's first
// write gives up within its bound and the window shows the lost line, where
// it used to stay frozen until the line resumed. Needs the 5 s bound.
TEST_F(Connected, AWriteOnAHeldLineEndsAsALostLineWithinItsBound) {
    connectTo(*window, controller.serialLocator());
    ASSERT_EQ(status(*window), "Connected.");
    const int host = controller.pty.hostFd();
    ASSERT_EQ(::tcflow(host, TCOOFF), 0);
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread resume([&] {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait_for(lock, std::chrono::seconds(15), [&] { return finished; });
        ::tcflow(host, TCOON);
    });
    dialogs.clear();
    const auto start = std::chrono::steady_clock::now();
    button(*window, "readButton")->click();
    const auto took = std::chrono::steady_clock::now() - start;
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
    }
    done.notify_all();
    resume.join();

    // 5 s without progress, plus the line time of a kernel buffer step.
    EXPECT_GE(took, std::chrono::milliseconds(5000));
    EXPECT_LT(took, std::chrono::milliseconds(8000));
    std::vector<QString> errors;
    for (const vxgui::MessageBoxRequest& box : dialogs.boxes())
        if (box.title == "Error") errors.push_back(box.text);
    // The page that met the loss, then the window's box; no later page asks.
    EXPECT_EQ(errors, (std::vector<QString>{
                          QStringLiteral("Error reading speed level table. Code: 8"),
                          QStringLiteral("Connection lost while reading the configuration. Code: 8")}));
    EXPECT_EQ(status(*window), "Disonnected.");
    EXPECT_EQ(bar(*window), kDisconnectedBar);
    EXPECT_TRUE(button(*window, "connectButton")->isEnabled());
}

TEST_F(Connected, WriteSaysWrittenOnlyWhenEveryPageWrote) {
    connectTo(*window, locatorOf(Way::Network));
    ASSERT_EQ(status(*window), "Connected.");
    speedLevelTable()->item(0, 0)->setText("5");
    indexMapBox(*window, 0)->setCurrentIndex(1);
    controller.text.addFault(vxsim::TextFault::error("SLTC64", 3, 1));
    button(*window, "writeButton")->click();
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes().front().text,
              "Error writing speed level table. Code: 3\nThe system should be reset.");
    EXPECT_NE(status(*window), "Configuration written.");
    // The pages after the failing one still wrote.
    EXPECT_EQ(controller.model.indexMapEntry(0), 1);
}

}  // namespace
