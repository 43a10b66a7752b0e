#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QSpinBox;
class QWidget;

// One row of the system parameters page: a tuning parameter or a channel
// property, shown as one global value widget and one widget per listed
// channel. The widgets belong to the table; the row only refers to them.
class SystemParameter : public QObject {
    Q_OBJECT

public:
    enum Mode : int32_t { Tuning = 0, Property = 1 };

    struct PropertyKey {
        uint32_t component = 0;
        uint32_t subcomponent = 0;
        uint32_t property = 0;
    };

    // The accessible descriptions that tell a value widget's kind.
    static const QString kSpinBox;
    static const QString kComboBox;

    explicit SystemParameter(const QString& name) : name_(name) {}

    void setGlobalSpinBox(QSpinBox* box);
    void setGlobalComboBox(QComboBox* box);
    void addChannelSpinBox(QSpinBox* box);
    void addChannelComboBox(QComboBox* box);
    void setSeparateValuesBox(QCheckBox* box);

    int value() const;
    void setValue(int value);
    int channelValue(int position) const;
    void setChannelValue(int position, int value);
    // The value the controller gets for the channel at `position`: its own
    // when the row holds separate values, else the global one.
    int effectiveValue(int position) const;
    int channelCount() const;

    QWidget* globalWidget() const;
    QWidget* channelWidget(int position) const;
    QCheckBox* separateValuesBox() const { return separateValuesBox_; }
    void updateSeparateValues();

    Mode mode() const { return mode_; }
    void setMode(Mode mode) { mode_ = mode; }
    int32_t type() const { return type_; }
    void setType(int32_t type) { type_ = type; }
    PropertyKey propertyKey() const { return key_; }
    void setPropertyKey(const PropertyKey& key) { key_ = key; }
    QString name() const { return name_; }
    bool isGlobal() const { return global_; }
    void setGlobal(bool global) { global_ = global; }
    void setNotifyModified(bool notify) { notifyModified_ = notify; }

signals:
    void systemParameterModified();

public slots:
    void separateValuesChanged(int state);
    void valueChanged(int value);

private:
    Mode mode_ = Tuning;
    int32_t type_ = 0;
    PropertyKey key_;
    bool global_ = false;
    bool comboBoxes_ = false;
    QCheckBox* separateValuesBox_ = nullptr;
    QSpinBox* globalSpinBox_ = nullptr;
    QList<QSpinBox*> channelSpinBoxes_;
    QComboBox* globalComboBox_ = nullptr;
    QList<QComboBox*> channelComboBoxes_;
    bool notifyModified_ = false;
    QString name_;
};
