#pragma once

#include <QString>
#include <QVector>

#include <cstdint>

#include "TerminalSettings.h"

class TextPort;

// What one data input gives a send: its value at that moment and how it is
// sent.
struct InputValue {
    int32_t value = 0;
    bool sendAsBinary = false;
    int binaryFormat = 0;
};

// What a send reads and changes of the terminal window.
class SendWindow {
public:
    virtual ~SendWindow() = default;
    // Enabled exactly while a port is open.
    virtual bool sendLineEnabled() const = 0;
    virtual void setSendLineText(const QString& text) = 0;
    // Every data input, index 0 first.
    virtual QVector<InputValue> inputValues() const = 0;
    virtual SendSettings sendSettings() const = 0;
    // A status-bar message that stays until the next.
    virtual void showStatus(const QString& text) = 0;
};

// The one road by which text leaves the terminal: the initial and terminal
// strings are added, input references replaced by their values, octal
// escapes by their characters, and the result written to the port that the
// connection type selects, with the outcome in the status bar.
class SendPipeline {
public:
    enum Target : int { CopyToSendLine = 0, Send = 1 };

    SendPipeline(SendWindow& window, TextPort& serialPort, TextPort& ethernetPort);

    void sendString(const QString& text, int target);

    // "$" n, "$(" n ")" and the like replaced by the value of input n;
    // `raw` is set when a binary value went in. Characters inserted for a
    // binary value are never read as a reference again.
    static QString substituteInputValues(const QString& text, const QVector<InputValue>& inputs,
                                         bool& raw);
    // `output` becomes the value's bytes in `binaryFormat`, least
    // significant first, a character per byte; empty for an unknown format.
    static void encodeBinaryValue(int32_t value, int binaryFormat, QString& output);
    // A backslash and three octal digits replaced by the character of that
    // code; `raw` is set when one was.
    static QString replaceOctalEscapes(const QString& text, bool& raw);

private:
    struct Road {
        TextPort& port;
        QString failure;
    };

    SendWindow& window_;
    Road serial_;
    Road ethernet_;
};
