#include "QMXWizardPage.h"

QMXWizardPage::QMXWizardPage(QWidget* parent) : QWizardPage(parent) {}

void QMXWizardPage::runTask(UploadManagerTask task, bool wait) {
    // Connected only while the task runs, so that another page's task does
    // not end this page's wait.
    connect(thread_, &QThread::finished, this, &QMXWizardPage::threadFinished);
    thread_->startTask(task);
    if (wait) loop_.exec();
}

void QMXWizardPage::threadFinished() {
    loop_.exit(0);
    disconnect(thread_, &QThread::finished, this, &QMXWizardPage::threadFinished);
    emit taskDone();
}
