#pragma once

#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <memory>

#include "TextPort.h"

namespace vxplatform {
class SerialPort;
}

// A serial port opened by its COM name ("COM3"), raw 8N1 at any rate and
// without flow control. While it is open, its thread reads: every wake-up
// takes what the port holds and emits it as one text, a character per byte
// (0 to 255). Everything but the reader runs in the owner's thread.
class SerialPort : public QThread, public TextPort {
    Q_OBJECT

public:
    enum OpenResult : int {
        Opened = 0,
        AlreadyOpen = 1,
        Unavailable = 2,        // missing, busy or not permitted
        NotATerminal = 129,
        SettingsRefused = 130,  // the rate or the line settings
        NoReaderWakeUp = 131,   // the means to stop the reader cannot be made
    };

    explicit SerialPort(QObject* parent = nullptr);
    // Closes an open port, waiting for the reader to end.
    ~SerialPort() override;

    // The rate of the next open; an open port keeps its rate.
    void setBaudRate(int rate);
    int baudRate() const { return baudRate_; }

    int open(const QString& name);
    // Wakes and joins the reader, then closes the port; nothing when closed.
    void close();
    bool isOpen() const { return open_; }

    // The text as Latin-1 (a character above 255 as "?"), all of it; false
    // when the port is closed, its reader has ended on a hang-up or failure,
    // or the line does not take the bytes within 5 s.
    bool write(const QString& text) override;

    // The serial ports present, each by the COM name that reaches it, or by
    // its device path when none does.
    static QStringList listComPorts();

signals:
    void receivedString(QString data);

protected:
    void run() override;

private:
    std::unique_ptr<vxplatform::SerialPort> port_;
    bool open_ = false;
    int baudRate_ = 115200;
    // Set by the reader when the line ended under it.
    std::atomic<bool> lineLost_{false};
};
