#pragma once

#include <QString>

#include <string>

#include <memory>

#include "QMXWizardPage.h"

namespace Ui {
class ConnectPage;
}

// Chooses the port of the controller system, connects to it and brings it
// into the bootloader, where the following pages find it.
class ConnectPage : public QMXWizardPage {
    Q_OBJECT
    // Behind the wizard field kPreserveField; nothing in the program sets
    // it, so the field reads false.
    Q_PROPERTY(bool preserveConfiguration MEMBER preserveConfiguration_)

public:
    // The wizard field that asks to keep the system's settings across the
    // update.
    static constexpr const char* kPreserveField = "preserveConfig";

    explicit ConnectPage(QWidget* parent = nullptr);
    ~ConnectPage() override;

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;
    void setLocatorText(const QString& locator);

private slots:
    void on_refreshButton_clicked();
    void on_locator_editTextChanged(QString);
    void progressChanged(int currentProgress, int overallProgress);
    void taskChanged(QString task);

private:
    // Runs `task` and waits; false after showing `prefix` and its error.
    bool runStep(UploadManagerTask task, const QString& prefix);
    // Shows the connect display and locks everything that would reach the
    // update system from this thread while a task runs, or undoes both.
    void setBusy(bool busy);
    bool fail();

    std::unique_ptr<Ui::ConnectPage> ui_;
    bool busy_ = false;
    bool preserveConfiguration_ = false;
};
