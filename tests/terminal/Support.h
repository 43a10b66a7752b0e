#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "SendPipeline.h"
#include "platform/ComPortNames.h"

namespace terminaltest {

using namespace std::chrono_literals;

// Runs the event loop until `condition` holds or the deadline passes.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds deadline = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QTest::qWait(5);
    }
    return true;
}

// The threads or the descriptors of the process.
inline size_t entryCount(const char* folder) {
    const std::filesystem::directory_iterator entries(folder);
    return static_cast<size_t>(std::distance(begin(entries), end(entries)));
}
inline size_t threadCount() { return entryCount("/proc/self/task"); }
inline size_t descriptorCount() { return entryCount("/proc/self/fd"); }

// XDG_CONFIG_HOME is a folder of the test's own while this lives; COM names
// are made in it.
class ConfigHome {
public:
    ConfigHome() : old_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", home_.path().toLocal8Bit());
        QDir().mkpath(folder_ = QString::fromStdString(vxplatform::comPortFolder()));
    }
    ~ConfigHome() { qputenv("XDG_CONFIG_HOME", old_); }

    // COM<number> as a link to `target`, or as a plain file without one.
    QString com(int number, const std::string& target = {}) const {
        const QString name = QStringLiteral("COM%1").arg(number);
        const QString entry = folder_ + '/' + name;
        if (!target.empty()) QFile::link(QString::fromStdString(target), entry);
        if (QFile file(entry); target.empty() && file.open(QIODevice::WriteOnly)) file.write("x");
        return name;
    }
    QString path() const { return home_.path(); }

private:
    QTemporaryDir home_;
    QByteArray old_;
    QString folder_;
};

// What a port emits, delivered in this thread as the window gets it.
class Received : public QObject {
public:
    template <typename Port>
    explicit Received(Port& port) {
        connect(&port, &Port::receivedString, this, [this](const QString& text) { texts << text; });
    }
    bool waitCount(int count) {
        return waitFor([&] { return texts.size() >= count; });
    }
    QString joined() const { return texts.join(QString()); }

    QStringList texts;
};

struct FakeWindow : SendWindow {
    bool sendLineEnabled() const override { return enabled; }
    void setSendLineText(const QString& text) override { sendLine = text; }
    QVector<InputValue> inputValues() const override { return inputs; }
    SendSettings sendSettings() const override { return settings; }
    void showStatus(const QString& text) override { status = text; }

    bool enabled = true;
    QString sendLine = QStringLiteral("line");
    QVector<InputValue> inputs;
    SendSettings settings;
    std::optional<QString> status;
};

}  // namespace terminaltest
