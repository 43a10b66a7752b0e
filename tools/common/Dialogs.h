#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

// The one way the tools show message boxes, file dialogs and modal dialogs.
// By default each shows exactly the box or dialog asked for and waits for the
// user; a test installs scripted answers instead (ScriptedDialogs), so that
// no test runs a nested event loop. GUI thread only.
namespace vxgui {

// A message box: buttons by their texts, in order; the answer is the index
// of the button pressed.
struct MessageBoxRequest {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QStringList buttons;
    int defaultButton = -1;  // -1: none named
    int escapeButton = -1;   // -1: none named
    QWidget* parent = nullptr;
};

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    QWidget* parent = nullptr;
    QString caption;
    QString directory;
    QString filter;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The index of the button pressed; -1 when the box was closed otherwise.
    virtual int messageBox(const MessageBoxRequest& request) = 0;
    // The file chosen, or an empty text when the user cancelled.
    virtual QString fileName(const FileDialogRequest& request) = 0;
    // Runs a dialog modally; its result code.
    virtual int exec(QDialog& dialog) = 0;
};

// The dialogs in force: the innermost installed override, else the ones
// that show themselves.
Dialogs& dialogs();

// While it lives, `override` answers in place of the dialogs in force.
class DialogsOverride {
public:
    explicit DialogsOverride(Dialogs& override);
    ~DialogsOverride();
    DialogsOverride(const DialogsOverride&) = delete;
    DialogsOverride& operator=(const DialogsOverride&) = delete;

private:
    Dialogs* previous_;
};

// Shorthands for the common boxes; each returns the index of the button
// pressed.
int critical(QWidget* parent, const QString& title, const QString& text,
             const QStringList& buttons);
int information(QWidget* parent, const QString& title, const QString& text,
                const QStringList& buttons);
int question(QWidget* parent, const QString& title, const QString& text,
             const QStringList& buttons, int defaultButton = 0, int escapeButton = -1);
QString openFileName(QWidget* parent, const QString& caption, const QString& directory,
                     const QString& filter);
QString saveFileName(QWidget* parent, const QString& caption, const QString& directory,
                     const QString& filter);
int execDialog(QDialog& dialog);

}  // namespace vxgui
