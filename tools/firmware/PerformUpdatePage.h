#pragma once

#include <memory>

#include "QMXWizardPage.h"

namespace Ui {
class PerformUpdatePage;
}

// Runs the update of the marked controllers on the worker thread while it
// shows the progress, then brings the system back into its application and,
// when the configuration is to be kept, writes it back. The outcome goes to
// updateOutcome.
class PerformUpdatePage : public QMXWizardPage {
    Q_OBJECT

public:
    explicit PerformUpdatePage(QWidget* parent = nullptr);
    ~PerformUpdatePage() override;

    void initializePage() override;
    bool isComplete() const override;

public slots:
    void progressChanged(int currentProgress, int overallProgress);
    void taskChanged(QString task);

private slots:
    void updateFinished();

private:
    // Which bar the worker's progress moves.
    enum Phase { kNoBar = 0, kUpdateBars = 1, kWriteBar = 2 };

    // Reconnects and writes the saved configuration back, asking on each
    // failure; false when the user gives up.
    bool writeConfigurationBack();
    void followThread(bool follow);
    QString resultText() const;

    std::unique_ptr<Ui::PerformUpdatePage> form_;
    bool complete_ = false;
    int phase_ = kNoBar;
};
