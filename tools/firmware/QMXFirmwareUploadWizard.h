#pragma once

#include <QWizard>

#include <atomic>

#include "ConfigurationPage.h"
#include "ConnectPage.h"
#include "PerformUpdatePage.h"
#include "UpdateConfigSelectionPage.h"
#include "UpdateResultPage.h"
#include "UploadManagerThread.h"
#include "WelcomePage.h"
#include "UpdateSystem.h"

// The uploader's one window: six pages from connecting a controller system
// to the end of its firmware update, the update system they share and the
// worker thread that talks to the controllers.
class QMXFirmwareUploadWizard : public QWizard {
    Q_OBJECT

public:
    enum PageId { kWelcome, kConfigSelection, kConnect, kControllerTable, kUpdate, kResult };

    explicit QMXFirmwareUploadWizard(QWidget* parent = nullptr);
    // Waits for a running task: the thread and the update system under it
    // go only after it.
    ~QMXFirmwareUploadWizard() override;

    // True from the start of a task until its end has reached the pages;
    // meanwhile the window neither closes nor ends.
    bool taskRunning() const;

    vxfw::UpdateSystem& updateSystem() { return system_; }
    UploadManagerThread& uploadThread() { return thread_; }

    // Finish and Cancel; refused while a task runs.
    void done(int result) override;

protected:
    // The window's close control: refused while a task runs, else the
    // window settings are saved.
    void closeEvent(QCloseEvent* event) override;

private:
    QString locatorText() const;

    // Declared in the order of construction; destroyed in reverse, the
    // thread first.
    WelcomePage welcome_;
    UpdateConfigSelectionPage configSelection_;
    ConnectPage connect_;
    ConfigurationPage controllerTable_;
    PerformUpdatePage update_;
    UpdateResultPage result_;
    vxfw::UpdateSystem system_;
    UploadManagerThread thread_;
    // Tasks that started and whose end the GUI thread has not seen yet.
    std::atomic<int> unseenTasks_{0};
};
