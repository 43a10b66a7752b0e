#pragma once

#include <QPushButton>
#include <QString>

class QAction;

// A button that carries a command text: a click sends it, its menu copies it
// into the send line, edits the button or asks for its removal. The window
// owns and deletes it.
class ShortCutButton : public QPushButton {
    Q_OBJECT

public:
    // What the window does with the text of `send`.
    enum Target : int { ToSendLine = 0, SendNow = 1 };

    explicit ShortCutButton(QWidget* parent = nullptr);

    QString textToSend() const { return textToSend_; }
    void setTextToSend(const QString& text) { textToSend_ = text; }

signals:
    // `force` false: the window confirms first.
    void remove(ShortCutButton* button, bool force);
    void send(QString text, int target);
    void propertiesChanged();

public slots:
    void editProperties();
    void removeSelf();
    void buttonClicked();
    void copyToSend();

private:
    QAction* removeAction_;
    QAction* copyAction_;
    QAction* propertiesAction_;
    QString textToSend_;
};
