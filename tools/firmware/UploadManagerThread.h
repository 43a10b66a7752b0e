#pragma once

#include <QMetaType>
#include <QString>
#include <QThread>

#include <atomic>
#include <string>

#include "UpdateSystem.h"

// What the worker thread runs next; codes outside 1 to 6 run nothing.
enum class UploadManagerTask : int {
    None = 0,
    Connect = 1,
    ReadConfiguration = 2,
    WriteConfiguration = 3,
    EnterApplication = 4,
    EnterBootloader = 5,
    Update = 6,
};
Q_DECLARE_METATYPE(UploadManagerTask)

// The one thread on which the uploader talks to the controllers: each
// startTask runs one task of the update system and ends, and its progress
// and task texts leave as signals, which reach the pages queued.
class UploadManagerThread : public QThread, public vxfw::ProgressCallBackClass {
    Q_OBJECT

public:
    // The file in the current directory that keeps a system's settings
    // across an update.
    static constexpr const char* kConfigurationFile = "QMXConfig";

    explicit UploadManagerThread(QObject* parent = nullptr);
    ~UploadManagerThread() override;

    // Registers this thread as the system's progress callback.
    void setSystem(vxfw::UpdateSystem* system);
    // The error text of the last task run, empty when it succeeded. Read it
    // once finished() has been delivered.
    std::string result() const { return result_; }

    void progress(int current, int overall) override;
    void task(const std::string& text) override;

signals:
    void progressChanged(int current, int overall);
    void taskChanged(const QString& task);

public slots:
    // Runs `task` on the thread; while a task still runs, nothing starts.
    void startTask(UploadManagerTask task);

protected:
    void run() override;

private slots:
    // Hides QThread::start: a task starts the thread, nothing else does.
    void start(Priority priority = InheritPriority);

private:
    vxfw::UpdateSystem* system_ = nullptr;
    // Atomic: a page may store a code while an earlier task still runs.
    std::atomic<int> task_{static_cast<int>(UploadManagerTask::None)};
    std::string result_;
};
