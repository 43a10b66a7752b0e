#pragma once

#include <QString>

#include <memory>

#include "QMXWizardPage.h"

namespace Ui {
class UpdateConfigSelectionPage;
}

// Chooses the update configuration, the default one in the current
// directory or a file of the user's, and loads it into the update system.
class UpdateConfigSelectionPage : public QMXWizardPage {
    Q_OBJECT

public:
    static constexpr const char* kDefaultFile = "update.xml";

    explicit UpdateConfigSelectionPage(QWidget* parent = nullptr);
    ~UpdateConfigSelectionPage() override;

    void initializePage() override;
    bool validatePage() override;
    void setConfigurationFile(const QString& fileName);

private slots:
    void on_browseConfigFileButton_clicked();

private:
    std::unique_ptr<Ui::UpdateConfigSelectionPage> ui_;
};
