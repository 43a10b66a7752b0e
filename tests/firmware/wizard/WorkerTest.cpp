#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>

#include <string>
#include <vector>

#include "WizardTestSupport.h"
#include "DataBlockSequence.h"
#include "UpdateException.h"

namespace {

using namespace wizardtest;

const QString kApplication = QStringLiteral("Entering application state...");
const std::string kNoPort = vxfw::UpdateException(vxfw::kPortNotOpen).text();

TEST_F(WizardTest, CodesOutsideTheTableKeepTheResultAndAnnounceNothing) {
    EXPECT_EQ(run(UploadManagerTask::Connect), "no port locator given");
    EXPECT_EQ(announced, std::vector<QString>{QStringLiteral("Connecting...")});
    for (int code : {0, 7}) {
        SCOPED_TRACE(code);
        announced.clear();
        EXPECT_EQ(run(static_cast<UploadManagerTask>(code)), "no port locator given");
        EXPECT_TRUE(announced.empty());
    }
}

TEST_F(WizardTest, AnnouncementComesBeforeTheWork) {
    serve(Way::Tcp, State::Bootloader);
    // Taken on the worker thread as the text leaves, before the task sends.
    std::vector<size_t> sentAtAnnouncement;
    QObject::connect(
        &thread, &UploadManagerThread::taskChanged, &thread,
        [&] { sentAtAnnouncement.push_back(sim->endpoint(vxsim::Carrier::Tcp).received().size()); },
        Qt::DirectConnection);
    EXPECT_EQ(run(UploadManagerTask::Connect), "");
    ASSERT_EQ(sentAtAnnouncement.size(), 1u);
    EXPECT_EQ(sentAtAnnouncement[0], 0u);
    EXPECT_FALSE(sent().empty());
    EXPECT_EQ(update->getState(), 3);
}

TEST_F(WizardTest, ReadConfigurationKeepsTheSettingsInTheCurrentDirectory) {
    // A failing read leaves an earlier file as it was.
    fwtest::writeFile(dir / "QMXConfig", "earlier");
    EXPECT_EQ(run(UploadManagerTask::ReadConfiguration), kNoPort);
    EXPECT_EQ(fwtest::readFile(dir / "QMXConfig"), "earlier");

    serve(Way::Tcp, State::Application);
    ASSERT_EQ(run(UploadManagerTask::Connect), "");
    EXPECT_EQ(run(UploadManagerTask::ReadConfiguration), "");
    vxdata::DataBlockSequence kept;
    ASSERT_TRUE(kept.read(dir / "QMXConfig")) << kept.lastError();
    EXPECT_EQ(kept.count(), 3u);
    EXPECT_EQ(announced.back(), QStringLiteral("Reading system configuration..."));

    // A file that cannot be written gives the write's error.
    ASSERT_TRUE(QDir(QString::fromStdString(dir.path())).removeRecursively() &&
                QDir().mkpath(QString::fromStdString(dir / "QMXConfig")));
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path())));
    vxdata::DataBlockSequence blocks;
    ASSERT_FALSE(blocks.write("QMXConfig"));
    EXPECT_EQ(run(UploadManagerTask::ReadConfiguration), blocks.lastError());
}

TEST_F(WizardTest, WriteConfigurationWithoutTheFileSendsNothing) {
    serve(Way::Tcp, State::Application);
    ASSERT_EQ(run(UploadManagerTask::Connect), "");
    sent();
    EXPECT_EQ(run(UploadManagerTask::WriteConfiguration), "could not open file");
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(announced.back(), QStringLiteral("Writing system configuration..."));

    // With the file, the settings go back.
    ASSERT_EQ(run(UploadManagerTask::ReadConfiguration), "");
    sent();
    EXPECT_EQ(run(UploadManagerTask::WriteConfiguration), "");
    EXPECT_FALSE(sent().empty());
}

TEST_F(WizardTest, EnterBootloaderSendsNothingInTheBootloader) {
    serve(Way::Tcp, State::Bootloader);
    ASSERT_EQ(run(UploadManagerTask::Connect), "");
    sent();
    EXPECT_EQ(run(UploadManagerTask::EnterBootloader), "");
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(announced.back(), QStringLiteral("Entering bootloader state..."));
}

TEST_F(WizardTest, EnterBootloaderFromTheApplication) {
    serve(Way::Tcp, State::Application);
    ASSERT_EQ(run(UploadManagerTask::Connect), "");
    EXPECT_EQ(run(UploadManagerTask::EnterBootloader), "");
    EXPECT_EQ(update->getState(), 3);
    EXPECT_EQ(sim->bootloader().state(), State::Bootloader);
}

TEST_F(WizardTest, EnterApplicationAnnouncesItsOutcome) {
    struct Case {
        const char* name;
        bool connected;
        State state;
        std::string result;
        const char* suffix;
    };
    const Case kCases[] = {
        {"from the bootloader", true, State::Bootloader, "", " Done."},
        {"already there", true, State::Application, "", " Done."},
        {"not connected", false, State::Application, "not connected", " Failed."},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        serve(Way::Tcp, c.state);
        if (c.connected) {
            ASSERT_EQ(run(UploadManagerTask::Connect), "");
        }
        announced.clear();
        EXPECT_EQ(run(UploadManagerTask::EnterApplication), c.result);
        EXPECT_EQ(announced, (std::vector<QString>{kApplication, kApplication + QLatin1String(c.suffix)}));
        if (c.connected) {
            EXPECT_EQ(sim->bootloader().state(), State::Application);
        }
    }
}

TEST_F(WizardTest, EachTaskEndsItsPageOnce) {
    TaskPage page;
    page.setSystem(update.get());
    page.setThread(&thread);
    QSignalSpy done(&page, &QMXWizardPage::taskDone);
    page.runTask(UploadManagerTask::Connect, true);
    EXPECT_EQ(done.count(), 1);
    page.runTask(UploadManagerTask::Connect, true);
    EXPECT_EQ(done.count(), 2);
    // Without waiting the page learns of the end through its signal.
    page.runTask(UploadManagerTask::Connect, false);
    EXPECT_TRUE(done.wait(5000));
    EXPECT_EQ(done.count(), 3);
    EXPECT_FALSE(done.wait(100));
    // Another page's task does not end this one's.
    TaskPage other;
    other.setSystem(update.get());
    other.setThread(&thread);
    other.runTask(UploadManagerTask::Connect, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(done.count(), 3);
}

TEST_F(WizardTest, ProgressAndTextsReachTheGuiThread) {
    serve(Way::Tcp, State::Application);
    ASSERT_EQ(run(UploadManagerTask::Connect), "");
    std::vector<std::pair<int, int>> steps;
    bool onGuiThread = true;
    QObject::connect(&thread, &UploadManagerThread::progressChanged, &thread, [&](int current, int overall) {
        onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
        steps.emplace_back(current, overall);
    });
    EXPECT_EQ(run(UploadManagerTask::ReadConfiguration), "");
    EXPECT_TRUE(onGuiThread);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), std::make_pair(100, 100));
}

}  // namespace
