#pragma once

#include <memory>

#include "QMXWizardPage.h"

namespace Ui {
class UpdateResultPage;
}

// The last page: how the update ended, from updateOutcome.
class UpdateResultPage : public QMXWizardPage {
    Q_OBJECT

public:
    explicit UpdateResultPage(QWidget* parent = nullptr);
    ~UpdateResultPage() override;

    void initializePage() override;

private:
    std::unique_ptr<Ui::UpdateResultPage> form_;
};
