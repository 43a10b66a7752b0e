#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class QMXLocatorSelect;
}

// Lets the user choose or type the locator of the device to connect to. The
// list is filled only when the user asks for it ("refresh List"), since the
// search reaches every interface.
class QMXLocatorSelect : public QDialog {
    Q_OBJECT

public:
    explicit QMXLocatorSelect(QWidget* parent = nullptr);
    ~QMXLocatorSelect() override;

    QString selectedLocator() const { return locator_; }

private slots:
    void on_locatorRefresh_clicked();
    void on_locatorConnect_clicked();

private:
    std::unique_ptr<Ui::QMXLocatorSelect> form_;
    QString locator_;
};
