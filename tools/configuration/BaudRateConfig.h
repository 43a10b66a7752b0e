#pragma once

#include <QObject>

class QMXConnection;
namespace Ui {
class QMXConfigurationClass;
}

// The "Baud Rate" tab: the rate of the controller's RS-232 interface, read
// and written only over a direct serial connection. The spin box holds the
// rate; the page keeps no copy.
class BaudRateConfig : public QObject {
    Q_OBJECT

public:
    BaudRateConfig(QObject* parent, Ui::QMXConfigurationClass* form, QMXConnection* connection);

    // `connection` decides by its mode whether the page is active; the
    // commands go through the connection given at construction.
    void readFromController(QMXConnection* connection);
    // Only when modified and connected over a serial line. False when the
    // write failed (its box has been shown).
    bool writeToController(QMXConnection* connection);
    // At Disconnect: the rate page shown, the spin box disabled; the mark
    // stays.
    void clear();
    bool isModified() const { return modified_; }

signals:
    void baudRateModified();

private slots:
    void baudRate_valueChanged(int value);

private:
    void setModified(bool modified);

    Ui::QMXConfigurationClass* form_;
    QMXConnection* connection_;
    bool modified_ = false;
    bool updating_ = false;
};
