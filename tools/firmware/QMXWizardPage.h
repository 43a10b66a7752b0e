#pragma once

#include <QEventLoop>
#include <QWizardPage>

#include "UploadManagerThread.h"

namespace vxfw {
class UpdateSystem;
}

// The base of the uploader's pages: the update system and the worker
// thread, which the wizard hands to every page, and one task at a time run
// on that thread, waited for in the page's own event loop so that the
// window keeps repainting and showing progress.
class QMXWizardPage : public QWizardPage {
    Q_OBJECT

public:
    explicit QMXWizardPage(QWidget* parent = nullptr);

    virtual void setSystem(vxfw::UpdateSystem* system) { system_ = system; }
    virtual void setThread(UploadManagerThread* thread) { thread_ = thread; }

signals:
    // A task started by runTask has ended; its result is in the thread.
    void taskDone();

public slots:
    virtual void threadFinished();

protected:
    // Starts `task` on the worker thread; with `wait`, returns once it has
    // ended, else at once (taskDone() tells the end).
    void runTask(UploadManagerTask task, bool wait);

    vxfw::UpdateSystem* updateSystem() const { return system_; }
    UploadManagerThread* uploadThread() const { return thread_; }

private:
    vxfw::UpdateSystem* system_ = nullptr;
    UploadManagerThread* thread_ = nullptr;
    QEventLoop loop_;
};
