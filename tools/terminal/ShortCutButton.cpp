#include "ShortCutButton.h"

#include <QAction>

#include "Dialogs.h"
#include "ShortCutButtonProperties.h"

ShortCutButton::ShortCutButton(QWidget* parent)
    : QPushButton(parent),
      removeAction_(new QAction(QStringLiteral("Remove Button"), this)),
      copyAction_(new QAction(QStringLiteral("Copy to 'Send'"), this)),
      propertiesAction_(new QAction(QStringLiteral("Properties..."), this)) {
    addAction(propertiesAction_);
    addAction(copyAction_);
    addAction(removeAction_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(propertiesAction_, &QAction::triggered, this, &ShortCutButton::editProperties);
    connect(copyAction_, &QAction::triggered, this, &ShortCutButton::copyToSend);
    connect(removeAction_, &QAction::triggered, this, &ShortCutButton::removeSelf);
    connect(this, &QPushButton::clicked, this, &ShortCutButton::buttonClicked);
}

void ShortCutButton::editProperties() {
    ShortCutButtonProperties dialog;
    dialog.setButtonName(text());
    dialog.setTextToSend(textToSend_);
    if (vxgui::execDialog(dialog) != QDialog::Accepted) return;
    setText(dialog.buttonName());
    textToSend_ = dialog.textToSend();
    emit propertiesChanged();
}

void ShortCutButton::removeSelf() { emit remove(this, false); }
void ShortCutButton::buttonClicked() { emit send(textToSend_, SendNow); }
void ShortCutButton::copyToSend() { emit send(textToSend_, ToSendLine); }
