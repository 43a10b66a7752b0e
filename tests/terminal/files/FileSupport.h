#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>

#include "ScriptedDialogs.h"

namespace filetest {

// The document's text with the attributes of every element in name order:
// their order is the writer's choice.
inline QString canonical(const QString& text) {
    static const QRegularExpression tag(R"(<(\w+)((?:\s+\w+="[^"]*")*)\s*(/?)>)");
    static const QRegularExpression attribute(R"(\w+="[^"]*")");
    QString result;
    int last = 0;
    for (auto tags = tag.globalMatch(text); tags.hasNext();) {
        const QRegularExpressionMatch match = tags.next();
        result += text.mid(last, match.capturedStart() - last);
        QStringList attributes;
        for (auto found = attribute.globalMatch(match.captured(2)); found.hasNext();)
            attributes << found.next().captured();
        std::sort(attributes.begin(), attributes.end());
        result += '<' + match.captured(1);
        for (const QString& a : attributes) result += ' ' + a;
        result += match.captured(3) + '>';
        last = match.capturedEnd();
    }
    return result + text.mid(last);
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The boxes a check showed: each checked as the file error box, its text
// kept.
inline QStringList errorBoxTexts(const vxgui::ScriptedDialogs& dialogs) {
    QStringList texts;
    for (const vxgui::MessageBoxRequest& box : dialogs.boxes()) {
        const bool errorBox = box.icon == QMessageBox::Critical && box.title == "Error" &&
                              box.buttons == QStringList{"Darn"} && box.parent == nullptr;
        texts << (errorBox ? box.text : "not the error box: " + box.text);
    }
    return texts;
}

// Runs `save` in a child process whose files may not grow beyond `limit`
// bytes (SIGXFSZ ignored, so a write past it fails with EFBIG). Gives
// "saved" or "failed" and the texts of the boxes shown, joined by "|".
inline QString saveUnderFileSizeLimit(rlim_t limit, const std::function<bool()>& save) {
    int fds[2];
    if (::pipe(fds) != 0) return QStringLiteral("no pipe");
    const pid_t child = ::fork();
    if (child < 0) return QStringLiteral("no child");
    if (child == 0) {
        ::close(fds[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        vxgui::ScriptedDialogs dialogs;
        const bool saved = save();
        const QByteArray report = (QStringList{saved ? "saved" : "failed"} + errorBoxTexts(dialogs))
                                      .join('|')
                                      .toUtf8();
        const bool sent = ::write(fds[1], report.constData(), report.size()) == report.size();
        ::_exit(sent ? 0 : 1);
    }
    ::close(fds[1]);
    QByteArray report;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("child failed");
    return QString::fromUtf8(report);
}

}  // namespace filetest
