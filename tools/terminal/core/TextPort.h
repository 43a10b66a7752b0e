#pragma once

#include <QString>

// What the send pipeline writes to: the serial port or the TCP port.
class TextPort {
public:
    virtual ~TextPort() = default;
    // Writes the whole text in the port's byte form; false when it failed.
    virtual bool write(const QString& text) = 0;
};
