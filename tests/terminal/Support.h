#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QString>
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

// Entries of a /proc folder: the threads or the descriptors of the process.
inline size_t entryCount(const char* folder) {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++count;
    }
    return count;
}
inline size_t threadCount() { return entryCount("/proc/self/task"); }
inline size_t descriptorCount() { return entryCount("/proc/self/fd"); }

// A configuration home of the test's own (XDG_CONFIG_HOME) while it lives,
// with its COM-name folder made.
class ConfigHome {
public:
    ConfigHome() : old_(qgetenv(kVariable)), hadOld_(qEnvironmentVariableIsSet(kVariable)) {
        qputenv(kVariable, home_.path().toLocal8Bit());
        comFolder_ = QString::fromStdString(vxplatform::comPortFolder());
        QDir().mkpath(comFolder_);
    }
    ~ConfigHome() {
        if (hadOld_)
            qputenv(kVariable, old_);
        else
            qunsetenv(kVariable);
    }
    ConfigHome(const ConfigHome&) = delete;
    ConfigHome& operator=(const ConfigHome&) = delete;

    // COM<number> as a link to `target`; gives the name.
    QString linkCom(int number, const std::string& target) const {
        const QString name = QStringLiteral("COM%1").arg(number);
        QFile::link(QString::fromStdString(target), comFolder_ + '/' + name);
        return name;
    }
    // COM<number> as a plain file.
    QString fileCom(int number) const {
        const QString name = QStringLiteral("COM%1").arg(number);
        QFile file(comFolder_ + '/' + name);
        file.open(QIODevice::WriteOnly);
        file.write("not a device\n");
        return name;
    }
    QString path() const { return home_.path(); }

private:
    static constexpr const char* kVariable = "XDG_CONFIG_HOME";
    QTemporaryDir home_;
    QByteArray old_;
    bool hadOld_;
    QString comFolder_;
};

// Collects what a port emits, delivered in this thread as the window gets it.
class Received : public QObject {
public:
    template <typename Port>
    explicit Received(Port& port) {
        connect(&port, &Port::receivedString, this, [this](const QString& text) { texts << text; });
    }
    bool waitCount(int count) {
        return waitFor([&] { return texts.size() >= count; });
    }
    // Everything so far as one text.
    QString joined() const { return texts.join(QString()); }

    QStringList texts;
};

// The window as the send pipeline sees it.
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
