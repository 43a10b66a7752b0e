#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>

#include "ScriptedDialogs.h"
#include "ShortCutButton.h"
#include "ShortCutButtonProperties.h"

namespace {

QAction* action(QWidget& widget, const QString& text) {
    for (QAction* candidate : widget.actions())
        if (candidate->text() == text) return candidate;
    return nullptr;
}

TEST(ShortCutButtonTest, MenuOffersItsActionsInOrder) {
    ShortCutButton button;
    QStringList texts;
    for (QAction* entry : button.actions()) texts << entry->text();
    EXPECT_EQ(texts, (QStringList{"Properties...", "Copy to 'Send'", "Remove Button"}));
    EXPECT_EQ(button.contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_TRUE(button.text().isEmpty());
    EXPECT_TRUE(button.textToSend().isEmpty());
}

TEST(ShortCutButtonTest, ClickSendsAndCopyFillsTheSendLine) {
    struct Row {
        QString text;
        bool copy;
        int target;
    };
    const Row table[] = {{"1MA100", false, 1}, {"", false, 1}, {"1MA100", true, 0}, {"", true, 0}};
    for (const Row& row : table) {
        ShortCutButton button;
        button.setTextToSend(row.text);
        QSignalSpy sends(&button, &ShortCutButton::send);
        QSignalSpy clicks(&button, &QPushButton::clicked);
        if (row.copy)
            action(button, "Copy to 'Send'")->trigger();
        else
            button.click();
        ASSERT_EQ(sends.count(), 1) << row.text.toStdString();
        EXPECT_EQ(sends.at(0).at(0).toString(), row.text);
        EXPECT_EQ(sends.at(0).at(1).toInt(), row.target);
        EXPECT_EQ(clicks.count(), row.copy ? 0 : 1);
    }
}

TEST(ShortCutButtonTest, RemoveAsksTheWindowWithoutForce) {
    ShortCutButton button;
    QSignalSpy removals(&button, &ShortCutButton::remove);
    action(button, "Remove Button")->trigger();
    ASSERT_EQ(removals.count(), 1);
    EXPECT_EQ(removals.at(0).at(0).value<ShortCutButton*>(), &button);
    EXPECT_FALSE(removals.at(0).at(1).toBool());
}

TEST(ShortCutButtonTest, EditingChangesOnlyWhenAccepted) {
    struct Row {
        int result;
        QString newName;
        QString newText;
        QString name;
        QString text;
        int emitted;
    };
    const Row table[] = {
        {QDialog::Rejected, "Other", "2MA5", "Home", "1OR", 0},
        {QDialog::Accepted, "Home", "1OR", "Home", "1OR", 1},
        {QDialog::Accepted, "Other", "2MA5", "Other", "2MA5", 1},
    };
    for (const Row& row : table) {
        vxgui::ScriptedDialogs dialogs;
        ShortCutButton button;
        button.setText("Home");
        button.setTextToSend("1OR");
        QString shownName, shownText;
        dialogs.answerDialog([&](QDialog& dialog) {
            auto& properties = dynamic_cast<ShortCutButtonProperties&>(dialog);
            shownName = properties.buttonName();
            shownText = properties.textToSend();
            properties.setButtonName(row.newName);
            properties.setTextToSend(row.newText);
            return row.result;
        });
        QSignalSpy changes(&button, &ShortCutButton::propertiesChanged);
        action(button, "Properties...")->trigger();
        EXPECT_EQ(dialogs.dialogTitles(), std::vector<QString>{"ShortCutButtonProperties"});
        EXPECT_EQ(shownName, "Home");
        EXPECT_EQ(shownText, "1OR");
        EXPECT_EQ(button.text(), row.name);
        EXPECT_EQ(button.textToSend(), row.text);
        EXPECT_EQ(changes.count(), row.emitted);
    }
}

TEST(ShortCutButtonTest, UntouchedPropertiesNameAShortCut) {
    ShortCutButtonProperties properties;
    EXPECT_EQ(properties.buttonName(), "Short cut");
    EXPECT_TRUE(properties.textToSend().isEmpty());
    EXPECT_EQ(properties.size(), QSize(272, 103));
}

}  // namespace
