#pragma once

#include <QString>
#include <QWidget>

class QAction;
class QHBoxLayout;
class QSpinBox;
class VXSlider;

// A named integer in the window's "Inputs" box, set with a spin box and
// optionally a slider; a change of the value may click a short-cut button.
// The window owns and deletes it.
class DataInput : public QWidget {
    Q_OBJECT

public:
    explicit DataInput(QWidget* parent = nullptr);

    QString name() const { return name_; }
    void setName(const QString& name);
    int value() const;
    void setValue(int value);
    int minValue() const;
    void setMinValue(int value);
    int maxValue() const;
    void setMaxValue(int value);
    int defaultValue() const { return defaultValue_; }
    void setDefaultValue(int value) { defaultValue_ = value; }
    bool hasSlider() const;
    void setHasSlider(bool on);
    bool sendAsBinary() const { return sendAsBinary_; }
    void setSendAsBinary(bool on) { sendAsBinary_ = on; }
    int binaryFormat() const { return binaryFormat_; }
    void setBinaryFormat(int format) { binaryFormat_ = format; }
    bool callShortCut() const { return callShortCut_; }
    void setCallShortCut(bool on) { callShortCut_ = on; }
    int shortCutToCall() const { return shortCutToCall_; }
    void setShortCutToCall(int number) { shortCutToCall_ = number; }

signals:
    // `force` false: the window confirms first.
    void remove(DataInput* button, bool force);
    void propertiesChanged();
    void activateShortCut(int number);

public slots:
    void editProperties();
    void removeSelf();
    void valueChanged(int value);

private slots:
    void showMenu(const QPoint& position);

private:
    QString name_;
    bool callShortCut_ = false;
    bool sendAsBinary_ = false;
    int defaultValue_ = 0;
    int shortCutToCall_ = 0;
    int binaryFormat_ = 0;
    QHBoxLayout* layout_;
    QSpinBox* spinBox_;
    VXSlider* slider_;
    QAction* removeAction_;
    QAction* propertiesAction_;
};
