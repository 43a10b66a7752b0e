#pragma once

#include <QString>
#include <QStringList>

#include <array>

enum ConnectionType : int { SerialConnection = 0, NetworkConnection = 1 };

constexpr int kQuickLoadSlots = 8;

// What a send adds to the text and which port it goes to.
struct SendSettings {
    bool sendInitialString = false;
    QString initialString;
    bool sendTerminalString = false;
    QString terminalString;
    int connectionType = SerialConnection;
};

// The terminal's application settings as values; each starts as the
// settings dialog shows it when new.
struct ApplicationSettingsData {
    std::array<QString, kQuickLoadSlots> slotFiles;
    int connectionType = SerialConnection;
    QStringList baudRates = {QStringLiteral("9600"),  QStringLiteral("14400"),
                             QStringLiteral("19200"), QStringLiteral("38400"),
                             QStringLiteral("57600"), QStringLiteral("100000"),
                             QStringLiteral("115200")};
    int baudRateIndex = 0;
    // The number of the COM port: 3 for COM3.
    int comPort = 1;
    bool sendInitialString = true;
    QString initialString = QStringLiteral(":");
    bool sendTerminalString = true;
    // A backslash and 012: the send pipeline makes it a line feed.
    QString terminalString = QStringLiteral("\\012");
    QString networkIp = QStringLiteral("192.168.001.200");
    int networkPort = 5000;

    SendSettings sendSettings() const {
        return {sendInitialString, initialString, sendTerminalString, terminalString,
                connectionType};
    }

    bool operator==(const ApplicationSettingsData&) const = default;
};
