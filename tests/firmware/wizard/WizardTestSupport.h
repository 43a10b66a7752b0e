#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QTest>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "QMXWizardPage.h"
#include "UploadManagerThread.h"
#include "firmware/update/UpdateTestSupport.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace wizardtest {

using namespace std::chrono_literals;
using updatetest::State;
using updatetest::Way;

// Runs the event loop until `condition` holds or the deadline passes.
inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QTest::qWait(5);
    }
    return true;
}

// A page that lets the tests run tasks as the pages do.
class TaskPage : public QMXWizardPage {
public:
    using QMXWizardPage::runTask;
};

// An update system on a simulated system, the worker thread that serves
// it, and a temporary current directory for the files the tasks keep.
class WizardTest : public updatetest::UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        previousDirectory_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path())));
        update = std::make_unique<vxfw::UpdateSystem>();
        thread.setSystem(update.get());
    }
    void TearDown() override {
        thread.wait();
        QDir::setCurrent(previousDirectory_);
        UpdateTest::TearDown();
    }

    // A simulated system on `way` in `state`, with the update system's
    // locator set to it; gives the locator.
    std::string serve(Way way, State state) {
        const std::string locator = start(way, state, boottest::threeModules());
        thread.setSystem(update.get());
        update->setLocator(locator);
        return locator;
    }
    // Runs `task` from a page, waiting; gives the result and keeps the
    // texts announced in `announced`.
    std::string run(UploadManagerTask task) {
        TaskPage page;
        page.setSystem(update.get());
        page.setThread(&thread);
        QObject::connect(&thread, &UploadManagerThread::taskChanged, &page,
                         [this](const QString& text) { announced.push_back(text); });
        page.runTask(task, true);
        return thread.result();
    }
    // What the host sent the simulated system since the last call.
    vxsim::Bytes sent() {
        vxsim::SystemEndpoint& endpoint = sim->endpoint(boottest::carrierOf(way));
        vxsim::Bytes bytes = endpoint.received();
        endpoint.clearReceived();
        return bytes;
    }

    UploadManagerThread thread;
    std::vector<QString> announced;

private:
    QString previousDirectory_;
};

}  // namespace wizardtest
