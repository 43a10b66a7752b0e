#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class OperationDialogClass;
}

// The modal progress dialog of one operation: its name, its percent done and
// "Abort". Only the operation's code ends it (done(code) from the worker):
// "Abort", the window's close button and Escape all ask the worker to stop
// and keep the dialog open, so that the window never goes on while the
// worker still runs.
class OperationDialog : public QDialog {
    Q_OBJECT

public:
    explicit OperationDialog(QWidget* parent = nullptr);
    ~OperationDialog() override;

signals:
    void abortClicked();

public slots:
    void setOperationName(QString text);
    void setProgress(int progress);
    // Escape and the toolkit's other ways to reject the dialog.
    void reject() override;

private slots:
    void on_abortButton_clicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::OperationDialogClass> form_;
};
