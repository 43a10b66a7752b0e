#include "SendPipeline.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

#include "TerminalConfiguration.h"
#include "TextPort.h"

namespace {

struct BinaryWidth {
    int format;
    int64_t lowest;
    int64_t highest;
    int bytes;
};

constexpr BinaryWidth kBinaryWidths[] = {
    {Binary8Bit, -128, 255, 1},
    {Binary16Bit, -32768, 65535, 2},
    {Binary24Bit, -8388608, 16777215, 3},
    {Binary32Bit, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 4},
};

constexpr int kWholeReference = 1;
constexpr int kReferenceDigits = 2;
constexpr int kEscapeDigits = 1;
constexpr int kOctal = 8;

// Stands in the search text for a character inserted for a binary value:
// no reference can contain it.
constexpr QChar kInsertedMark(0xFFFF);

const QRegularExpression& referencePattern() {
    static const QRegularExpression pattern(QStringLiteral(R"((\$\(?(\d+)\)?))"));
    return pattern;
}

const QRegularExpression& escapePattern() {
    static const QRegularExpression pattern(QStringLiteral(R"(\\([0-7]{3}))"));
    return pattern;
}

}  // namespace

SendPipeline::SendPipeline(SendWindow& window, TextPort& serialPort, TextPort& ethernetPort)
    : window_(window),
      serial_{serialPort, QStringLiteral("Serial write failed!")},
      ethernet_{ethernetPort, QStringLiteral("Ethernet write failed!")} {}

void SendPipeline::sendString(const QString& text, int target) {
    if (target == CopyToSendLine) {
        window_.setSendLineText(text);
        return;
    }
    if (target != Send || !window_.sendLineEnabled()) return;

    const SendSettings settings = window_.sendSettings();
    QString line = text;
    if (settings.sendInitialString) line.prepend(settings.initialString);
    if (settings.sendTerminalString) line.append(settings.terminalString);
    bool raw = false;
    line = substituteInputValues(line, window_.inputValues(), raw);
    line = replaceOctalEscapes(line, raw);

    Road& road = settings.connectionType == SerialConnection ? serial_ : ethernet_;
    if (!road.port.write(line))
        window_.showStatus(road.failure);
    else if (!raw)
        window_.showStatus(line);
}

QString SendPipeline::substituteInputValues(const QString& text, const QVector<InputValue>& inputs,
                                            bool& raw) {
    QString result = text;
    // The text as the search sees it: the same, but with every character
    // inserted for a binary value masked. Each search starts at the
    // beginning again, so a decimal value may complete a new reference with
    // what stands before it.
    QString searched = text;
    for (;;) {
        const QRegularExpressionMatch match = referencePattern().match(searched);
        if (!match.hasMatch()) break;
        bool fits = false;
        int index = match.captured(kReferenceDigits).toInt(&fits);
        if (!fits) index = 0;

        QString value;
        bool binary = false;
        if (index >= 0 && index < inputs.size()) {
            const InputValue& input = inputs[index];
            binary = input.sendAsBinary;
            if (binary)
                encodeBinaryValue(input.value, input.binaryFormat, value);
            else
                value = QString::number(input.value);
        }
        raw = raw || binary;
        const int start = match.capturedStart(kWholeReference);
        const int length = match.capturedLength(kWholeReference);
        result.replace(start, length, value);
        searched.replace(start, length, binary ? QString(value.size(), kInsertedMark) : value);
    }
    return result;
}

void SendPipeline::encodeBinaryValue(int32_t value, int binaryFormat, QString& output) {
    output.clear();
    for (const BinaryWidth& width : kBinaryWidths) {
        if (width.format != binaryFormat) continue;
        const int64_t clamped = std::clamp<int64_t>(value, width.lowest, width.highest);
        const auto bits = static_cast<uint32_t>(clamped);
        for (int i = 0; i < width.bytes; ++i)
            output.append(QChar(static_cast<ushort>((bits >> (8 * i)) & 0xFF)));
    }
}

QString SendPipeline::replaceOctalEscapes(const QString& text, bool& raw) {
    QString result = text;
    // Every replacement shortens the text, so the search ends.
    for (;;) {
        const QRegularExpressionMatch match = escapePattern().match(result);
        if (!match.hasMatch()) break;
        const int code = match.captured(kEscapeDigits).toInt(nullptr, kOctal);
        result.replace(match.capturedStart(), match.capturedLength(),
                       QChar(static_cast<ushort>(code)));
        raw = true;
    }
    return result;
}
