#include "Dialogs.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFileDialog>
#include <QPushButton>

namespace vxgui {

namespace {

// The dialogs that show themselves and wait for the user.
class ShownDialogs : public Dialogs {
public:
    int messageBox(const MessageBoxRequest& request) override {
        QMessageBox box(request.icon, request.title, request.text, QMessageBox::NoButton,
                        request.parent);
        QList<QPushButton*> buttons;
        for (const QString& text : request.buttons)
            buttons.append(box.addButton(text, QMessageBox::ActionRole));
        if (request.defaultButton >= 0 && request.defaultButton < buttons.size())
            box.setDefaultButton(buttons[request.defaultButton]);
        if (request.escapeButton >= 0 && request.escapeButton < buttons.size())
            box.setEscapeButton(buttons[request.escapeButton]);
        box.exec();
        return buttons.indexOf(qobject_cast<QPushButton*>(box.clickedButton()));
    }

    QString fileName(const FileDialogRequest& request) override {
        if (request.kind == FileDialogRequest::Kind::Save)
            return QFileDialog::getSaveFileName(request.parent, request.caption,
                                                request.directory, request.filter);
        return QFileDialog::getOpenFileName(request.parent, request.caption, request.directory,
                                            request.filter);
    }

    int exec(QDialog& dialog) override { return dialog.exec(); }
};

ShownDialogs& shown() {
    static ShownDialogs instance;
    return instance;
}

Dialogs* installed = nullptr;

int box(QMessageBox::Icon icon, QWidget* parent, const QString& title, const QString& text,
        const QStringList& buttons, int defaultButton, int escapeButton) {
    MessageBoxRequest request;
    request.icon = icon;
    request.title = title;
    request.text = text;
    request.buttons = buttons;
    request.defaultButton = defaultButton;
    request.escapeButton = escapeButton;
    request.parent = parent;
    return dialogs().messageBox(request);
}

QString file(FileDialogRequest::Kind kind, QWidget* parent, const QString& caption,
             const QString& directory, const QString& filter) {
    return dialogs().fileName({kind, parent, caption, directory, filter});
}

}  // namespace

Dialogs& dialogs() { return installed ? *installed : shown(); }

DialogsOverride::DialogsOverride(Dialogs& override) : previous_(installed) {
    installed = &override;
}

DialogsOverride::~DialogsOverride() { installed = previous_; }

int critical(QWidget* parent, const QString& title, const QString& text,
             const QStringList& buttons) {
    return box(QMessageBox::Critical, parent, title, text, buttons, -1, -1);
}

int information(QWidget* parent, const QString& title, const QString& text,
                const QStringList& buttons) {
    return box(QMessageBox::Information, parent, title, text, buttons, -1, -1);
}

int question(QWidget* parent, const QString& title, const QString& text,
             const QStringList& buttons, int defaultButton, int escapeButton) {
    return box(QMessageBox::Question, parent, title, text, buttons, defaultButton, escapeButton);
}

QString openFileName(QWidget* parent, const QString& caption, const QString& directory,
                     const QString& filter) {
    return file(FileDialogRequest::Kind::Open, parent, caption, directory, filter);
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& directory,
                     const QString& filter) {
    return file(FileDialogRequest::Kind::Save, parent, caption, directory, filter);
}

int execDialog(QDialog& dialog) { return dialogs().exec(dialog); }

}  // namespace vxgui
