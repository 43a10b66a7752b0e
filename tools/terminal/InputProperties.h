#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class InputProperties;
}

// The properties of one data input, new or existing. It does not check that
// the minimum, default and maximum are in order.
class InputProperties : public QDialog {
    Q_OBJECT

public:
    explicit InputProperties(QWidget* parent = nullptr);
    ~InputProperties() override;

    QString inputName() const;
    void setInputName(const QString& name);
    int minValue() const;
    void setMinValue(int value);
    int maxValue() const;
    void setMaxValue(int value);
    int defaultValue() const;
    void setDefaultValue(int value);
    bool hasSlider() const;
    void setHasSlider(bool on);
    bool sendAsBinary() const;
    void setSendAsBinary(bool on);
    int binaryFormat() const;
    void setBinaryFormat(int format);
    bool callShortCut() const;
    void setCallShortCut(bool on);
    int shortCutToCall() const;
    void setShortCutToCall(int number);

private:
    std::unique_ptr<Ui::InputProperties> ui_;
};
