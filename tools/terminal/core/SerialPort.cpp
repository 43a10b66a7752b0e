#include "SerialPort.h"

#include <QByteArray>
#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <string>

#include "platform/ComPortNames.h"
#include "platform/SerialPort.h"
#include "platform/SerialPortSource.h"

namespace {

using std::chrono::milliseconds;
using vxplatform::SerialStatus;

// A line that takes nothing for this long (held back by a device that
// never drains) fails the write instead of freezing the window.
constexpr milliseconds kWriteTimeout{5000};
constexpr milliseconds kWithoutLimit{-1};
constexpr milliseconds kWithoutWaiting{0};
constexpr int kReadChunk = 4096;
constexpr char kUnmappable = '?';

int openResultOf(int error) {
    switch (error) {
    case 0:
        return SerialPort::Opened;
    case ENOTTY:
        return SerialPort::NotATerminal;
    case EINVAL:
        return SerialPort::SettingsRefused;
    default:
        return SerialPort::Unavailable;
    }
}

QByteArray latin1(const QString& text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (int i = 0; i < text.size(); ++i) {
        const ushort code = text[i].unicode();
        bytes[i] = code > 0xFF ? kUnmappable : static_cast<char>(code);
    }
    return bytes;
}

}  // namespace

SerialPort::SerialPort(QObject* parent)
    : QThread(parent), port_(std::make_unique<vxplatform::SerialPort>()) {}

SerialPort::~SerialPort() { close(); }

void SerialPort::setBaudRate(int rate) { baudRate_ = rate; }

int SerialPort::open(const QString& name) {
    if (open_) return AlreadyOpen;
    // A wake-up that could not be made before may be made now.
    if (!port_->interruptible()) port_ = std::make_unique<vxplatform::SerialPort>();
    if (!port_->interruptible()) return NoReaderWakeUp;
    const std::string path = vxplatform::comPortPath(latin1(name).toStdString());
    if (path.empty()) return Unavailable;

    vxplatform::SerialSettings settings;
    // Rate 0 is refused by the device's settings, after the device opened.
    settings.baudRate = baudRate_ > 0 ? static_cast<uint32_t>(baudRate_) : 0;
    settings.xonXoff = false;
    if (const int result = openResultOf(port_->open(path, settings)); result != Opened)
        return result;

    lineLost_ = false;
    start();
    // Neither running nor finished: the thread could not be created.
    if (!isRunning() && !isFinished()) {
        port_->close();
        return NoReaderWakeUp;
    }
    open_ = true;
    return Opened;
}

void SerialPort::close() {
    if (!open_) return;
    port_->interrupt();
    wait();
    port_->close();
    open_ = false;
}

bool SerialPort::write(const QString& text) {
    if (!open_ || lineLost_) return false;
    const QByteArray bytes = latin1(text);
    return port_->write(bytes.constData(), static_cast<size_t>(bytes.size()), kWriteTimeout)
               .status == SerialStatus::Ok;
}

QStringList SerialPort::listComPorts() {
    QStringList names;
    for (const std::string& name : vxplatform::comPortNames(vxplatform::availableSerialPorts())) {
        qDebug("%s", name.c_str());
        names << QString::fromLatin1(name.c_str());
    }
    return names;
}

void SerialPort::run() {
    QByteArray chunk(kReadChunk, Qt::Uninitialized);
    for (;;) {
        auto result = port_->read(chunk.data(), static_cast<size_t>(chunk.size()), kWithoutLimit);
        if (result.status != SerialStatus::Ok) {
            // Interrupted is close(); anything else leaves a line that will
            // not come back by itself, so the reader ends rather than spin.
            if (result.status != SerialStatus::Interrupted) lineLost_ = true;
            return;
        }
        QByteArray burst(chunk.constData(), static_cast<int>(result.count));
        // A full chunk may have left more behind: that belongs to this burst.
        while (result.count == static_cast<size_t>(chunk.size())) {
            result = port_->read(chunk.data(), static_cast<size_t>(chunk.size()), kWithoutWaiting);
            if (result.status != SerialStatus::Ok) break;
            burst.append(chunk.constData(), static_cast<int>(result.count));
        }
        emit receivedString(receivedText(burst, ReceivedForm::Latin1));
    }
}
