#pragma once

#include <QDialog>
#include <QString>

#include <deque>
#include <functional>
#include <vector>

#include "Dialogs.h"

namespace vxgui {

// Dialogs for tests: while it lives it answers every box and dialog from
// its script, records what was asked, and shows nothing. Unscripted boxes
// answer with their default button (else the first), unscripted file
// dialogs with a cancel, unscripted modal dialogs with a rejection.
class ScriptedDialogs : public Dialogs {
public:
    ScriptedDialogs() : override_(*this) {}

    // Answers for the next boxes, file dialogs and modal dialogs, in order.
    // A modal dialog's answer may fill the dialog before it returns.
    void answerBox(int button) { boxAnswers_.push_back(button); }
    void answerFile(const QString& name) { fileAnswers_.push_back(name); }
    void answerDialog(std::function<int(QDialog&)> answer) {
        dialogAnswers_.push_back(std::move(answer));
    }

    const std::vector<MessageBoxRequest>& boxes() const { return boxes_; }
    const std::vector<FileDialogRequest>& fileRequests() const { return fileRequests_; }
    // The window titles of the modal dialogs run, in order.
    const std::vector<QString>& dialogTitles() const { return dialogTitles_; }
    // The texts of the boxes shown, in order.
    std::vector<QString> boxTexts() const {
        std::vector<QString> texts;
        for (const MessageBoxRequest& box : boxes_) texts.push_back(box.text);
        return texts;
    }
    void clear() {
        boxes_.clear();
        fileRequests_.clear();
        dialogTitles_.clear();
    }

    int messageBox(const MessageBoxRequest& request) override {
        boxes_.push_back(request);
        if (boxAnswers_.empty()) return request.defaultButton >= 0 ? request.defaultButton : 0;
        const int answer = boxAnswers_.front();
        boxAnswers_.pop_front();
        return answer;
    }

    QString fileName(const FileDialogRequest& request) override {
        fileRequests_.push_back(request);
        if (fileAnswers_.empty()) return QString();
        const QString answer = fileAnswers_.front();
        fileAnswers_.pop_front();
        return answer;
    }

    int exec(QDialog& dialog) override {
        dialogTitles_.push_back(dialog.windowTitle());
        if (dialogAnswers_.empty()) return QDialog::Rejected;
        auto answer = std::move(dialogAnswers_.front());
        dialogAnswers_.pop_front();
        return answer(dialog);
    }

private:
    DialogsOverride override_;
    std::deque<int> boxAnswers_;
    std::deque<QString> fileAnswers_;
    std::deque<std::function<int(QDialog&)>> dialogAnswers_;
    std::vector<MessageBoxRequest> boxes_;
    std::vector<FileDialogRequest> fileRequests_;
    std::vector<QString> dialogTitles_;
};

}  // namespace vxgui
