#pragma once

#include <QString>
#include <QVector>

enum BinaryFormat : int { Binary8Bit = 0, Binary16Bit = 1, Binary24Bit = 2, Binary32Bit = 3 };

struct ShortCutButtonRecord {
    QString name;
    // Stored as typed: input references and escapes are resolved when sent.
    QString textToSend;

    bool operator==(const ShortCutButtonRecord&) const = default;
};

struct DataInputRecord {
    QString name;
    int minValue = 0;
    int defaultValue = 0;
    int maxValue = 0;
    bool hasSlider = false;
    bool sendAsBinary = false;
    int binaryFormat = Binary8Bit;
    bool callShortCut = false;
    // Counted from 0 in button order.
    int shortCutToCall = 0;

    bool operator==(const DataInputRecord&) const = default;
};

// A terminal configuration: the short-cut buttons and the data inputs, each
// in window order.
struct TerminalConfiguration {
    QVector<ShortCutButtonRecord> buttons;
    QVector<DataInputRecord> inputs;

    bool operator==(const TerminalConfiguration&) const = default;
};
