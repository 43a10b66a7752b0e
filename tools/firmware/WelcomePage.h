#pragma once

#include <memory>

#include "QMXWizardPage.h"

namespace Ui {
class WelcomePage;
}

// The wizard's first page: what to do before it starts.
class WelcomePage : public QMXWizardPage {
    Q_OBJECT

public:
    static constexpr const char* kWatermark = ":/QMXFirmwareUploader/images/background.jpg";

    explicit WelcomePage(QWidget* parent = nullptr);
    ~WelcomePage() override;

private:
    std::unique_ptr<Ui::WelcomePage> ui_;
};
