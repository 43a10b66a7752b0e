#pragma once

#include <memory>

#include "QMXWizardPage.h"

class FirmwareDelegate;
class QTableView;
class TableModel;

namespace Ui {
class ConfigurationPage;
}

// The controllers of the connected system, their firmware and their update
// marks. The wizard's commit page: leaving it forward starts the update.
class ConfigurationPage : public QMXWizardPage {
    Q_OBJECT

public:
    explicit ConfigurationPage(QWidget* parent = nullptr);
    ~ConfigurationPage() override;

    void initializePage() override;
    bool isComplete() const override;
    void cleanupPage() override;
    bool validatePage() override;

    // The table as built at the last entry; null before it.
    TableModel* model() const { return model_.get(); }
    QTableView* tableView() const;

protected:
    // Control held on the table marks whole kinds.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Puts a table in place of the one shown (none: an empty view).
    void showTable(std::unique_ptr<TableModel> model, std::unique_ptr<FirmwareDelegate> delegate);

    std::unique_ptr<Ui::ConfigurationPage> form_;
    std::unique_ptr<TableModel> model_;
    std::unique_ptr<FirmwareDelegate> delegate_;
};
