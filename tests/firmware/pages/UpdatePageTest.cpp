#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include "DataBlockSequence.h"
#include "PagesTestSupport.h"
#include "sim/Bootloader.h"

namespace {

using pagestest::kLine1;
using pagestest::module;
using pagestest::PagesTest;
using pagestest::recipe;
using pagestest::State;
using vxsim::BootFault;

const QString kUpdated = QStringLiteral("The firmware update completed successfully.");
const QString kReconfigure = QStringLiteral(
    "Please note that you might have to reconfigure the system, e.g. setting sensor types and performing "
    "calibration.");
const QString kPowerCycle = QStringLiteral(
    "The system could not be reset automatically. Please restart the QMX with a power down/power up cycle.\n");

// Modules of kind 2 and 3, each with a newer file, so both are marked.
class UpdatePageTest : public PagesTest {
protected:
    void bringUpTwo(State state = State::Bootloader) {
        bringUp({module(0x2001, 3), module(0x3001, 3)},
                {{"two.fw6", recipe(2, 3, kLine1, 5)}, {"three.fw6", recipe(3, 3, kLine1, 6)}}, state);
    }
    // The texts the worker announced, each with the text the page showed
    // just before it.
    void followTexts() {
        QObject::connect(&thread, &UploadManagerThread::taskChanged, wizard.get(), [this](const QString& task) {
            before.push_back(child<QLabel>(perform, "postUpdateAction")->text());
            tasks.push_back(task);
        });
    }
    QString resultMessage() { return child<QLabel>(result, "resultMessage")->text(); }
    // The module's firmware as the simulated bootloader keeps it.
    std::string installed(uint16_t word) {
        const auto m = sim->bootloader().module(word);
        return m ? std::to_string(m->version1) + "." + std::to_string(m->version2) : "gone";
    }

    std::vector<QString> tasks;
    std::vector<QString> before;
};

TEST_F(UpdatePageTest, UpdateMovesTheBarsAndEndsInTheApplication) {
    bringUpTwo();
    openTable();
    followTexts();
    QProgressBar* overall = child<QProgressBar>(perform, "overallProgress");
    QProgressBar* current = child<QProgressBar>(perform, "currentProgress");
    QSignalSpy overallValues(overall, &QProgressBar::valueChanged);
    QSignalSpy currentValues(current, &QProgressBar::valueChanged);
    sim->bootloader().clearHostFrames();
    runUpdate();

    EXPECT_EQ(perform->title(), "Performing Update");
    EXPECT_EQ(perform->subTitle(), "Please wait until the update completes.");
    EXPECT_TRUE(wizard->testOption(QWizard::NoCancelButton));
    EXPECT_EQ(wizard->button(QWizard::CommitButton)->text(), wizard->buttonText(QWizard::NextButton));
    EXPECT_FALSE(child<QProgressBar>(perform, "postUpdateProgress")->isVisible());
    // The overall bar only grows; the controller bar fills once per file.
    std::vector<int> overallSeen;
    std::vector<int> currentSeen;
    for (const QList<QVariant>& value : overallValues) overallSeen.push_back(value[0].toInt());
    for (const QList<QVariant>& value : currentValues) currentSeen.push_back(value[0].toInt());
    EXPECT_GT(overallSeen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(overallSeen.begin(), overallSeen.end()));
    EXPECT_EQ(overallSeen.back(), 100);
    EXPECT_EQ(std::count(currentSeen.begin(), currentSeen.end(), 100), 2);
    EXPECT_EQ(currentSeen.back(), 100);
    ASSERT_GE(tasks.size(), 3u);
    EXPECT_EQ(tasks.front(), "Updating...");
    EXPECT_EQ(before.front(), "") << "cleared at entry";
    // Each task text stays until the next; "Resetting..." comes between the
    // update and the return to the application.
    const auto entering = std::find(tasks.begin(), tasks.end(), "Entering application state...");
    ASSERT_NE(entering, tasks.end());
    const size_t reset = static_cast<size_t>(entering - tasks.begin());
    for (size_t i = 1; i < tasks.size(); ++i)
        EXPECT_EQ(before[i], i == reset ? QString("Resetting...") : tasks[i - 1]) << i;
    EXPECT_EQ(child<QLabel>(perform, "postUpdateAction")->text(), tasks.back());
    EXPECT_EQ(commandsSent(vxsim::boot::kStartApplication), 1u);
    EXPECT_EQ(sim->bootloader().state(), State::Application);
    EXPECT_EQ(installed(0x2001), std::to_string(kLine1) + ".5");
    EXPECT_EQ(installed(0x3001), std::to_string(kLine1) + ".6");
    EXPECT_TRUE(dialogs.boxTexts().size() == 1u) << "only the question";

    EXPECT_EQ(updateOutcome.updateStatus, UpdateOutcome::kSucceeded);
    EXPECT_EQ(updateOutcome.resetStatus, UpdateOutcome::kSucceeded);
    EXPECT_EQ(updateOutcome.restoreStatus, UpdateOutcome::kNotSet);
    wizard->next();
    ASSERT_EQ(wizard->currentPage(), result);
    EXPECT_EQ(result->title(), "Update complete");
    EXPECT_EQ(result->subTitle(), kUpdated);
    EXPECT_EQ(resultMessage(), kReconfigure);
}

struct Failure {
    const char* name;
    std::function<void(vxsim::BootSimulator&)> fault;
    QString box;  // empty: none
    int updateStatus;
    int resetStatus;
    QString title;
    QString message;
    bool inBootloader;
};

TEST_F(UpdatePageTest, FailuresReachTheResultPage) {
    const Failure kFailures[] = {
        {"refused frame",
         [](vxsim::BootSimulator& s) { s.bootloader().addFault(BootFault::refuse(vxsim::boot::kFrameDamaged)); },
         "Update failed: error while sending frame: crc error", 1, 0, "Update failed",
         "The QMX might be in an unusable state.Please contact Veltrax.", true},
        {"no return to the application",
         [](vxsim::BootSimulator& s) {
             s.bootloader().addFault(BootFault::replace(vxsim::boot::kStartApplication, {0x08, 0x00, 0x21}));
         },
         "", 2, 1, "Update complete", kPowerCycle + kReconfigure, false},
    };
    for (const Failure& f : kFailures) {
        SCOPED_TRACE(f.name);
        wizard.reset();
        update.reset();
        sim.reset();
        updateOutcome = {};
        dialogs.clear();
        bringUpTwo();
        openTable();
        f.fault(*sim);
        sim->bootloader().clearHostFrames();
        runUpdate();
        std::vector<QString> boxes = dialogs.boxTexts();
        ASSERT_FALSE(boxes.empty());
        boxes.erase(boxes.begin());  // the question
        EXPECT_EQ(boxes, f.box.isEmpty() ? std::vector<QString>{} : std::vector<QString>{f.box});
        if (!f.box.isEmpty()) {
            EXPECT_EQ(dialogs.boxes().back().title, "Error");
            EXPECT_EQ(dialogs.boxes().back().icon, QMessageBox::Critical);
        }
        EXPECT_EQ(updateOutcome.updateStatus, f.updateStatus);
        EXPECT_EQ(updateOutcome.resetStatus, f.resetStatus);
        EXPECT_EQ(updateOutcome.restoreStatus, 0);
        EXPECT_EQ(sim->bootloader().state() == State::Bootloader, f.inBootloader);
        EXPECT_EQ(commandsSent(vxsim::boot::kStartApplication), f.updateStatus == UpdateOutcome::kFailed ? 0u : 1u)
            << "a return tried only after a good update";
        wizard->next();
        ASSERT_EQ(wizard->currentPage(), result);
        EXPECT_EQ(result->title(), f.title);
        EXPECT_EQ(resultMessage(), f.message);
    }
}

TEST_F(UpdatePageTest, ADamagedModuleWithoutFirmwareIsNamedOnTheResultPage) {
    // Kind 3's module is damaged and the configuration holds nothing for it.
    bringUp({module(0x2001, 3), module(0x3001, 3, kLine1, 3, 17, false)}, {{"two.fw6", recipe(2, 3, kLine1, 5)}});
    openTable();
    ASSERT_EQ(mark(0), Qt::Checked);
    ASSERT_EQ(mark(1), Qt::Unchecked);
    runUpdate();
    EXPECT_EQ(installed(0x2001), std::to_string(kLine1) + ".5");
    wizard->next();
    ASSERT_EQ(wizard->currentPage(), result);
    EXPECT_EQ(result->title(), "Update complete");
    EXPECT_EQ(result->subTitle(), kUpdated);
    // The system does not start its application with a damaged module.
    EXPECT_EQ(resultMessage(), kPowerCycle + kReconfigure +
                                   "\nThese modules were not updated and remain damaged: ROT (0x3001)(3).");
}

TEST_F(UpdatePageTest, MarkedWithoutSelectionSendsNothing) {
    // The second module's variant has no file: Control marks it all the same.
    bringUp({module(0x2001, 3), module(0x2002, 4)}, {{"old.fw6", recipe(2, 3, kLine1, 2)}});
    openTable();
    clickMark(0, true);
    ASSERT_EQ(mark(1), Qt::Checked);
    sim->bootloader().clearHostFrames();
    runUpdate();
    ASSERT_EQ(dialogs.boxTexts().size(), 2u);
    EXPECT_EQ(dialogs.boxTexts()[1], "Update failed: no firmware selected");
    EXPECT_TRUE(sim->bootloader().hostFrames().empty());
    EXPECT_EQ(updateOutcome.updateStatus, UpdateOutcome::kFailed);
}

// With the field set: the configuration saved before the update in the
// current directory, then changed on the system.
class WriteBackTest : public UpdatePageTest {
protected:
    void SetUp() override {
        UpdatePageTest::SetUp();
        bringUpTwo(State::Application);
        vxsim::ControllerModel& model = sim->model();
        for (size_t c = 0; c < model.channelCount(); ++c) model.setSensorType(c, static_cast<uint8_t>(3 + c));
        saved = types();
        vxdata::DataBlockSequence blocks;
        ASSERT_EQ(update->readConfiguration(blocks), "");
        ASSERT_TRUE(blocks.write(UploadManagerThread::kConfigurationFile)) << blocks.lastError();
        for (size_t c = 0; c < model.channelCount(); ++c) model.setSensorType(c, 1);
        ASSERT_NE(types(), saved);
        ASSERT_EQ(update->enterState(3), "");
        openTable(true);
        start->setPreserve(true);
        followTexts();
    }
    std::vector<uint8_t> types() const {
        std::vector<uint8_t> out;
        for (size_t c = 0; c < sim->model().channelCount(); ++c) out.push_back(sim->model().sensorType(c));
        return out;
    }
    // Runs `action` on the worker thread as each "Connecting..." begins.
    void onConnecting(std::function<void(int)> action) {
        QObject::connect(&thread, &UploadManagerThread::taskChanged, wizard.get(),
                         [this, action](const QString& task) {
                             if (task == "Connecting...") action(connects++);
                         },
                         Qt::DirectConnection);
    }

    std::vector<uint8_t> saved;
    std::atomic<int> connects{0};
};

TEST_F(WriteBackTest, FailedWriteIsRetriedAndRestoresTheSettings) {
    // The first write finds no file; it is back by the second connect.
    const QString file = QString::fromLatin1(UploadManagerThread::kConfigurationFile);
    ASSERT_TRUE(QFile::rename(file, file + ".kept"));
    onConnecting([file](int n) {
        if (n == 1) QFile::rename(file + ".kept", file);
    });
    QProgressBar* bar = child<QProgressBar>(perform, "postUpdateProgress");
    QSignalSpy barValues(bar, &QProgressBar::valueChanged);
    runUpdate({0});  // Retry

    ASSERT_EQ(dialogs.boxes().size(), 2u);
    const vxgui::MessageBoxRequest& box = dialogs.boxes()[1];
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.text, "Error writing system configuration: could not open file\nRetry?");
    EXPECT_EQ(box.buttons, (QStringList{"Retry", "Cancel"}));
    EXPECT_EQ(box.defaultButton, 0);
    EXPECT_EQ(box.escapeButton, -1);
    EXPECT_EQ(connects.load(), 2);
    EXPECT_EQ(types(), saved);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_GT(barValues.count(), 1);
    EXPECT_EQ(std::count(tasks.begin(), tasks.end(), "Writing system configuration..."), 2);
    EXPECT_EQ(updateOutcome.updateStatus, UpdateOutcome::kSucceeded);
    EXPECT_EQ(updateOutcome.resetStatus, UpdateOutcome::kSucceeded);
    EXPECT_EQ(updateOutcome.restoreStatus, UpdateOutcome::kSucceeded);
    wizard->next();
    EXPECT_EQ(resultMessage(),
              "The system configuration was successfully preserved.\n"
              "Please note that driver channels must still be calibrated.");
}

TEST_F(WriteBackTest, UnreachableSystemIsRetriedUntilCancel) {
    // Once back in its application the system answers nothing.
    onConnecting([this](int) { sim->bootloader().setSilent(true); });
    runUpdate({0, 1});  // Retry, then Cancel

    ASSERT_EQ(dialogs.boxes().size(), 3u) << dialogs.boxTexts().back().toStdString();
    for (size_t i = 1; i < 3; ++i) {
        const vxgui::MessageBoxRequest& box = dialogs.boxes()[i];
        EXPECT_EQ(box.icon, QMessageBox::Information);
        EXPECT_EQ(box.title, "Manual Reset");
        EXPECT_EQ(box.text, "Could not connect to system. Retry?");
        EXPECT_EQ(box.buttons, (QStringList{"Retry", "Cancel"}));
        EXPECT_EQ(box.defaultButton, 0);
        EXPECT_EQ(box.escapeButton, -1);
    }
    EXPECT_EQ(connects.load(), 2);
    EXPECT_NE(types(), saved);
    EXPECT_EQ(updateOutcome.resetStatus, UpdateOutcome::kSucceeded);
    EXPECT_EQ(updateOutcome.restoreStatus, UpdateOutcome::kFailed);
    wizard->next();
    EXPECT_EQ(resultMessage(),
              "The update secceeded, but the system configuration could not be preserved.\n"
              "You must reconfigure the system manually.");
}

struct Outcome {
    UpdateOutcome outcome;
    const char* title;
    const char* subtitle;
    QString message;
};

TEST(UpdateResultPage, TextsFollowTheOutcome) {
    const char* const kComplete = "Update complete";
    const char* const kDone = "The firmware update completed successfully.";
    const QString kNotPreserved =
        "The update secceeded, but the system configuration could not be preserved.\n";
    const Outcome kOutcomes[] = {
        {{1, 2, 2, {}}, "Update failed", "The firmware update failed to complete!",
         "The QMX might be in an unusable state.Please contact Veltrax."},
        {{2, 2, 0, {}}, kComplete, kDone, kReconfigure},
        {{2, 1, 0, {}}, kComplete, kDone, kPowerCycle + kReconfigure},
        {{0, 0, 0, {}}, kComplete, kDone, kPowerCycle + kReconfigure},
        {{2, 2, 1, {}}, kComplete, kDone, kNotPreserved + "You must reconfigure the system manually."},
        {{2, 1, 1, {}}, kComplete, kDone,
         kNotPreserved + "Please restart the QMX with a power down/power up cycle and reconfigure it manually."},
        {{2, 1, 2, {}}, kComplete, kDone,
         "The system configuration was successfully preserved.\nPlease note that driver channels must still be "
         "calibrated."},
    };
    UpdateResultPage page;
    EXPECT_EQ(page.title(), kComplete);
    EXPECT_FALSE(page.pixmap(QWizard::WatermarkPixmap).isNull());
    auto* message = page.findChild<QLabel*>("resultMessage");
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->wordWrap());
    EXPECT_EQ(message->text(),
              "The firmware update completed successfully. Please restart the QMX with a power down/power up cycle.");
    for (const Outcome& o : kOutcomes) {
        updateOutcome = o.outcome;
        page.initializePage();
        EXPECT_EQ(page.title(), o.title);
        EXPECT_EQ(page.subTitle(), o.subtitle);
        EXPECT_EQ(message->text(), o.message) << o.outcome.updateStatus << o.outcome.resetStatus
                                              << o.outcome.restoreStatus;
    }
    updateOutcome = {};
}

}  // namespace
