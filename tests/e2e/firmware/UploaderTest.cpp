// The firmware uploader's wizard on a real X server, driven through its
// pages as a person drives it, against a simulated system with its
// bootloader: the update configuration that the simulator's generator
// wrote, over TCP, the USB driver double and a pseudo-terminal; and runs
// that the system interrupts, each followed by a second run that finds the
// damage and completes the update.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "QMXFirmwareUploadWizard.h"
#include "ScriptedDialogs.h"
#include "TableModel.h"
#include "UpdateOutcome.h"
#include "e2e/programs/Screens.h"
#include "firmware/bootloader/BootTestSupport.h"
#include "firmware/files/FilesTestSupport.h"
#include "sim/UpdateFolder.h"

namespace {

using namespace std::chrono_literals;
using boottest::Way;
using State = vxsim::BootloaderSystem::State;
using vxsim::BootFault;

const QString kTitle = QStringLiteral("QMX Firmware Uploader v3.3.9");
// Each file the generator writes: its header frame and four data frames.
constexpr uint16_t kDataFrames = 4;
constexpr uint16_t kFileFrames = kDataFrames + 1;

// Runs the event loop until `condition` holds or `deadline` passes.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QTest::qWait(5);
    }
    return true;
}

// The highest value each of the update page's bars showed.
class BarWatch {
public:
    explicit BarWatch(QWidget& page) {
        for (const char* name : {"overallProgress", "currentProgress"}) {
            auto* bar = page.findChild<QProgressBar*>(QString::fromLatin1(name));
            EXPECT_NE(bar, nullptr) << name;
            if (!bar) continue;
            highest_[name] = bar->value();
            QObject::connect(bar, &QProgressBar::valueChanged, bar,
                             [this, name](int value) { highest_[name] = std::max(highest_[name], value); });
        }
    }
    int highest(const char* name) const { return highest_.at(name); }

private:
    std::map<std::string, int> highest_;
};

// A system of two kinds of module, two of one kind (updated through their
// group address), in its application; the folder the generator wrote as
// the current directory; the uploader's window.
class Uploader : public usbtest::UsbTest {
protected:
    void SetUp() override {
        UsbTest::SetUp();
        previous_ = QDir::currentPath();
        ASSERT_EQ(vxsim::writeUpdateFolder(dir.path(), files), "");
        ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path())));
    }
    void TearDown() override {
        wizard.reset();
        sim.reset();
        updateOutcome = {};
        QDir::setCurrent(previous_);
        UsbTest::TearDown();
    }

    std::string serve(Way way) {
        sim = std::make_unique<vxsim::BootSimulator>(vxsim::SystemSetup::standard(3, false), modules,
                                                     State::Application);
        return boottest::serve(*sim, way);
    }

    // A new window, shown; `pictures` names its screenshots, empty for none.
    void open(const QString& pictures = {}) {
        wizard = std::make_unique<QMXFirmwareUploadWizard>();
        wizard->updateSystem().connection().setPauseLimit(0ms);
        wizard->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(wizard.get(), 5000));
        pictures_ = pictures;
    }
    void picture(const char* page) {
        if (pictures_.isEmpty()) return;
        e2e::saveScreen(*wizard, pictures_ + QLatin1Char('-') + QLatin1String(page), kTitle);
    }
    QAbstractButton* button(QWizard::WizardButton which) const { return wizard->button(which); }
    // The page's forward button, as a person clicks it.
    void forward() {
        QAbstractButton* next = button(QWizard::NextButton);
        QAbstractButton* commit = button(QWizard::CommitButton);
        (commit->isVisible() ? commit : next)->click();
    }

    // Welcome, configuration selection and connect pages with `locator`
    // typed, then the controller table.
    void toTable(const std::string& locator) {
        ASSERT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kWelcome);
        picture("welcome");
        forward();
        ASSERT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kConfigSelection);
        picture("configuration");
        forward();
        ASSERT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kConnect);
        wizard->findChild<QComboBox*>("locator")->setEditText(QString::fromStdString(locator));
        picture("connect");
        forward();
        ASSERT_TRUE(waitFor([&] { return wizard->currentId() == QMXFirmwareUploadWizard::kControllerTable; }, 30s))
            << dialogs.boxTexts().size();
        ASSERT_TRUE(waitFor([&] { return !wizard->taskRunning(); }, 30s));
        picture("table");
    }
    // The table's rows by module name: installed firmware and update mark.
    std::map<QString, std::pair<QString, bool>> table() const {
        auto* page = qobject_cast<ConfigurationPage*>(wizard->page(QMXFirmwareUploadWizard::kControllerTable));
        TableModel* model = page ? page->model() : nullptr;
        EXPECT_NE(model, nullptr);
        std::map<QString, std::pair<QString, bool>> rows;
        if (!model) return rows;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString name = model->index(row, TableModel::kName).data().toString();
            rows[name] = {model->index(row, TableModel::kCurrent).data().toString(),
                          model->index(row, TableModel::kUpdate).data(Qt::CheckStateRole).toInt() == Qt::Checked};
        }
        return rows;
    }
    // From the table: Start confirmed, the update run to its end, the
    // result page shown; gives its title.
    QString update() {
        dialogs.answerBox(0);  // &Start
        forward();
        EXPECT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kUpdate);
        BarWatch bars(*wizard->currentPage());
        EXPECT_TRUE(waitFor([&] { return wizard->currentPage()->isComplete(); }, 90s));
        overall = bars.highest("overallProgress");
        current = bars.highest("currentProgress");
        picture("update");
        forward();
        EXPECT_EQ(wizard->currentId(), QMXFirmwareUploadWizard::kResult);
        picture("result");
        return wizard->currentPage()->title();
    }
    QString resultMessage() const { return wizard->currentPage()->findChild<QLabel*>("resultMessage")->text(); }
    size_t startCommands() const {
        size_t count = 0;
        for (const vxsim::Bytes& frame : sim->bootloader().hostFrames())
            if (frame.size() == 5 && frame.back() == vxsim::boot::kStartApplication) ++count;
        return count;
    }
    // The frames that reached the pair of kind 2: all to their group
    // address, each reaching both; as many as one file has.
    void expectPairSharedOneTransfer() const {
        size_t pairFrames = 0;
        for (const vxsim::FrameWrite& write : sim->bootloader().frameWrites()) {
            if (vxsim::bootKindIndex(write.modules.empty() ? write.address : write.modules.front()) != 2) continue;
            ++pairFrames;
            EXPECT_EQ(write.address, 0x2000);
            EXPECT_EQ(write.modules, (std::vector<uint16_t>{0x2001, 0x2002}));
        }
        EXPECT_EQ(pairFrames, size_t{kFileFrames});
    }
    // Whether every module holds the generator's newer firmware of its kind.
    bool allNew() const {
        for (const vxsim::BootModule& old : modules) {
            const auto now = sim->bootloader().module(old.word);
            if (!now || !now->valid || now->version2 != newVersion(old.word)) return false;
        }
        return true;
    }
    uint8_t newVersion(uint16_t word) const {
        for (const vxsim::UpdateFile& file : files)
            if (file.recipe.kindIndex == vxsim::bootKindIndex(word)) return file.recipe.version2;
        return 0;
    }

    const std::vector<vxsim::BootModule> modules = boottest::threeModules();
    const std::vector<vxsim::UpdateFile> files = vxsim::newerFirmware(modules, kDataFrames);
    fwtest::TempDir dir;
    std::unique_ptr<vxsim::BootSimulator> sim;
    vxgui::ScriptedDialogs dialogs;
    std::unique_ptr<QMXFirmwareUploadWizard> wizard;
    int overall = 0;
    int current = 0;

private:
    QString previous_;
    QString pictures_;
};

class UploaderCarriers : public Uploader, public ::testing::WithParamInterface<Way> {};

TEST_P(UploaderCarriers, UpdatesEveryModuleAndStartsTheApplication) {
    const std::string locator = serve(GetParam());
    open(GetParam() == Way::Tcp ? QStringLiteral("uploader") : QString());
    ASSERT_NO_FATAL_FAILURE(toTable(locator));
    const auto rows = table();
    ASSERT_EQ(rows.size(), modules.size());
    for (const auto& [name, row] : rows) EXPECT_TRUE(row.second) << name.toStdString() << " not marked";
    sim->bootloader().clearHostFrames();
    EXPECT_EQ(update(), "Update complete") << dialogs.boxTexts().size();
    EXPECT_EQ(overall, 100);
    EXPECT_EQ(current, 100);
    EXPECT_TRUE(allNew());
    expectPairSharedOneTransfer();
    EXPECT_EQ(startCommands(), 1u);
    EXPECT_TRUE(sim->bootloader().waitForState(State::Application, 5s));
    ASSERT_TRUE(e2e::closeAsWindowManager(*wizard));
}

INSTANTIATE_TEST_SUITE_P(Ways, UploaderCarriers, ::testing::Values(Way::Tcp, Way::Usb, Way::Pty),
                         [](const auto& info) { return std::string(boottest::wayName(info.param)); });

struct Interruption {
    const char* name;
    std::vector<BootFault> faults;
};

class UploaderInterrupted : public Uploader, public ::testing::WithParamInterface<Interruption> {};

TEST_P(UploaderInterrupted, FailsKeepsTheBootloaderAndTheNextRunCompletes) {
    const std::string locator = serve(Way::Tcp);
    open(GetParam().faults.front().kind == BootFault::Kind::Reset ? QStringLiteral("uploader-interrupted")
                                                                   : QString());
    ASSERT_NO_FATAL_FAILURE(toTable(locator));
    for (const BootFault& fault : GetParam().faults) sim->bootloader().addFault(fault);
    sim->bootloader().clearHostFrames();
    EXPECT_EQ(update(), "Update failed");
    EXPECT_EQ(resultMessage(), "The QMX might be in an unusable state.Please contact Veltrax.");
    ASSERT_FALSE(dialogs.boxTexts().empty());
    EXPECT_TRUE(dialogs.boxTexts().back().startsWith("Update failed: ")) << dialogs.boxTexts().back().toStdString();
    EXPECT_EQ(startCommands(), 0u);
    EXPECT_EQ(sim->bootloader().state(), State::Bootloader);
    ASSERT_TRUE(e2e::closeAsWindowManager(*wizard));
    wizard.reset();
    updateOutcome = {};
    sim->bootloader().clearFaults();

    // The next run meets the system in its bootloader: every module is
    // valid with old or new firmware or damaged, and each damaged one offered.
    open();
    dialogs.clear();
    ASSERT_NO_FATAL_FAILURE(toTable(locator));
    size_t damaged = 0;
    for (const auto& [name, row] : table()) {
        if (row.first != "damaged") continue;
        ++damaged;
        EXPECT_TRUE(row.second) << name.toStdString() << " damaged and not offered";
    }
    for (const vxsim::BootModule& old : modules) {
        const auto now = sim->bootloader().module(old.word);
        ASSERT_TRUE(now.has_value());
        if (now->valid) {
            EXPECT_TRUE(now->version2 == old.version2 || now->version2 == newVersion(old.word)) << old.word;
        }
    }
    if (GetParam().faults.front().kind == BootFault::Kind::Reset) {
        EXPECT_GT(damaged, 0u);
    }
    EXPECT_EQ(update(), "Update complete");
    EXPECT_TRUE(allNew());
    EXPECT_EQ(startCommands(), 1u);
    ASSERT_TRUE(e2e::closeAsWindowManager(*wizard));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UploaderInterrupted,
    ::testing::Values(Interruption{"ResetInTheImage", {BootFault::reset(2)}},
                      Interruption{"RefusedFrame", {BootFault::refuse(vxsim::boot::kFrameDamaged, 1)}},
                      Interruption{"DamagedOnTheWay", {BootFault::corrupt(1)}},
                      Interruption{"DroppedFrame", {BootFault::silent(BootFault::kFirmwareFrame, 1)}},
                      Interruption{"FallsSilent", {BootFault::silent(BootFault::kAnyFrame)}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
