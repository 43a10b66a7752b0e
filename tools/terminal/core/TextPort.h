#pragma once

#include <QByteArray>
#include <QString>

// What the send pipeline writes to: the serial port or the TCP port.
class TextPort {
public:
    virtual ~TextPort() = default;
    // Writes the whole text in the port's byte form; false when it failed.
    virtual bool write(const QString& text) = 0;
};

// The text of one burst of received bytes, every byte of it: a NUL byte is a
// character like any other (a lone one is what the window's "Auto Clear"
// looks for), so nothing after it is lost. The serial line speaks Latin-1,
// TCP UTF-8. Qt's QByteArray overloads stop at the first NUL: the size is
// passed.
enum class ReceivedForm { Latin1, Utf8 };
inline QString receivedText(const QByteArray& burst, ReceivedForm form) {
    return form == ReceivedForm::Latin1 ? QString::fromLatin1(burst.constData(), burst.size())
                                        : QString::fromUtf8(burst.constData(), burst.size());
}
