#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class ShortCutButtonProperties;
}

// The name and the text of one short-cut button, new or existing.
class ShortCutButtonProperties : public QDialog {
    Q_OBJECT

public:
    explicit ShortCutButtonProperties(QWidget* parent = nullptr);
    ~ShortCutButtonProperties() override;

    QString buttonName() const;
    void setButtonName(const QString& name);
    QString textToSend() const;
    void setTextToSend(const QString& text);

private:
    std::unique_ptr<Ui::ShortCutButtonProperties> ui_;
};
