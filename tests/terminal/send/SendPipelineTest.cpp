#include "SendPipeline.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>

#include "TerminalConfiguration.h"
#include "TextPort.h"
#include "terminal/Support.h"

namespace {

using terminaltest::FakeWindow;

// A text of characters given by their codes.
QString chars(std::initializer_list<ushort> codes) {
    QString text;
    for (ushort code : codes) text.append(QChar(code));
    return text;
}

InputValue decimal(int32_t value) { return {value, false, Binary8Bit}; }
InputValue binary(int32_t value, int format) { return {value, true, format}; }

const QVector<InputValue> kThreeInputs = {decimal(5), decimal(-7), decimal(300)};

TEST(InputPass, ReferencesInTheirForms) {
    struct Case {
        const char* typed;
        QString expected;
    };
    const Case cases[] = {
        {"$0,$(1),$2)", "5,-7,300"},
        {"$3", ""},
        {"($1)", "(-7"},
        {"$12", ""},
        {"$(1)2", "-72"},
        {"$007", ""},
        {"$00", "5"},
        {"$(2", "300"},
        {"$", "$"},
        {"$x$", "$x$"},
        {"a$$1b", "a$-7b"},
        {"$99999999999", "5"},
        {"$2147483647", ""},
        {"-$0-", "-5-"},
    };
    for (const Case& c : cases) {
        bool raw = false;
        EXPECT_EQ(SendPipeline::substituteInputValues(QString::fromLatin1(c.typed), kThreeInputs,
                                                      raw),
                  c.expected)
            << c.typed;
        EXPECT_FALSE(raw) << c.typed;
    }
}

TEST(InputPass, DecimalValuesMayFormNewReferencesBinaryValuesNever) {
    struct Case {
        const char* name;
        QVector<InputValue> inputs;
        QString typed;
        QString expected;
        bool raw;
    };
    QVector<InputValue> sixInputs = {decimal(5), decimal(1), decimal(2),
                                     decimal(3), decimal(4), decimal(55)};
    const Case cases[] = {
        // The search starts again at the beginning: "$" and 5 read as $5.
        {"decimal restart", sixInputs, "$$0", "55", false},
        {"restart twice", {decimal(1), decimal(0)}, "$$$1", "0", false},
        {"binary 4660", {binary(4660, Binary16Bit)}, "$0", chars({0x34, 0x12}), true},
        // 12324 is 0x3024: the bytes read "$0", its own reference.
        {"own reference", {binary(12324, Binary16Bit)}, "$0", chars({0x24, 0x30}), true},
        {"own reference with a dollar before",
         {binary(12324, Binary16Bit)},
         "$$0",
         chars({0x24, 0x24, 0x30}),
         true},
        // 0x31 is "1": inserted, it does not complete "$" into $1.
        {"inserted digit",
         {binary(0x31, Binary8Bit), decimal(9)},
         "$$0",
         chars({0x24, 0x31}),
         true},
        {"binary then decimal",
         {binary(0x24, Binary8Bit), decimal(7)},
         "$0$1",
         chars({0x24, '7'}),
         true},
        {"beyond the inputs is not raw", {binary(1, Binary8Bit)}, "$1", "", false},
        {"unknown format inserts nothing", {binary(1, 4)}, "a$0b", "ab", true},
    };
    for (const Case& c : cases) {
        bool raw = false;
        EXPECT_EQ(SendPipeline::substituteInputValues(c.typed, c.inputs, raw), c.expected)
            << c.name;
        EXPECT_EQ(raw, c.raw) << c.name;
    }
}

TEST(BinaryValues, ClampedPerWidthLeastSignificantByteFirst) {
    struct Case {
        int format;
        int32_t value;
        QString expected;
    };
    const int32_t lowest = std::numeric_limits<int32_t>::min();
    const int32_t highest = std::numeric_limits<int32_t>::max();
    const Case cases[] = {
        {Binary16Bit, 4660, chars({0x34, 0x12})},
        {Binary16Bit, 70000, chars({0xFF, 0xFF})},
        {Binary16Bit, -1, chars({0xFF, 0xFF})},
        {Binary16Bit, -40000, chars({0x00, 0x80})},
        {Binary8Bit, -200, chars({0x80})},
        {Binary8Bit, 300, chars({0xFF})},
        {Binary8Bit, -1, chars({0xFF})},
        {Binary8Bit, 0, chars({0x00})},
        {Binary24Bit, 0x123456, chars({0x56, 0x34, 0x12})},
        {Binary24Bit, 16777216, chars({0xFF, 0xFF, 0xFF})},
        {Binary24Bit, -8388609, chars({0x00, 0x00, 0x80})},
        {Binary32Bit, -2, chars({0xFE, 0xFF, 0xFF, 0xFF})},
        {Binary32Bit, lowest, chars({0x00, 0x00, 0x00, 0x80})},
        {Binary32Bit, highest, chars({0xFF, 0xFF, 0xFF, 0x7F})},
        {4, 1, QString()},
        {-1, 1, QString()},
    };
    for (const Case& c : cases) {
        QString output = QStringLiteral("old");
        SendPipeline::encodeBinaryValue(c.value, c.format, output);
        EXPECT_EQ(output, c.expected) << "format " << c.format << " value " << c.value;
    }
}

TEST(EscapePass, ThreeOctalDigitsAfterABackslash) {
    struct Case {
        const char* typed;
        QString expected;
        bool raw;
    };
    const Case cases[] = {
        {R"(\101)", "A", true},
        {R"(\012)", "\n", true},
        {R"(\8)", R"(\8)", false},
        {R"(\01x)", R"(\01x)", false},
        {R"(ab\)", R"(ab\)", false},
        {R"(\777)", chars({511}), true},
        {R"(\000)", chars({0}), true},
        // The first replacement makes a backslash, which opens the next.
        {R"(\134101)", "A", true},
        {R"(\\101)", R"(\A)", true},
        {R"(\1011)", "A1", true},
    };
    for (const Case& c : cases) {
        bool raw = false;
        EXPECT_EQ(SendPipeline::replaceOctalEscapes(QString::fromLatin1(c.typed), raw), c.expected)
            << c.typed;
        EXPECT_EQ(raw, c.raw) << c.typed;
    }
}

struct RecordingPort : TextPort {
    bool write(const QString& text) override {
        written << text;
        return succeeds;
    }
    QStringList written;
    bool succeeds = true;
};

TEST(SendString, TargetStringsPassesPortAndStatus) {
    struct Case {
        const char* name;
        QString typed;
        int target = SendPipeline::Send;
        bool enabled = true;
        SendSettings settings;
        QVector<InputValue> inputs;
        bool writeSucceeds = true;
        QStringList serialWrites;
        QStringList ethernetWrites;
        std::optional<QString> status;
        QString sendLine = QStringLiteral("line");
    };
    const SendSettings both{true, "A", true, R"(\012)", SerialConnection};
    const SendSettings plain{false, "A", false, "Z", SerialConnection};
    const SendSettings initialOnly{true, ":", false, "Z", NetworkConnection};
    const SendSettings otherType{false, "", false, "", 2};
    const Case cases[] = {
        {"copy, even while closed", "x $0", SendPipeline::CopyToSendLine, false, both, {}, true,
         {}, {}, std::nullopt, "x $0"},
        {"other targets do nothing", "x", 2, true, both, {}, true, {}, {}, std::nullopt},
        {"negative target", "x", -1, true, both, {}, true, {}, {}, std::nullopt},
        {"closed", "x", SendPipeline::Send, false, both, {}, true, {}, {}, std::nullopt},
        {"escape in the terminal string leaves the status", "x", SendPipeline::Send, true, both,
         {}, true, {"Ax\n"}, {}, std::nullopt},
        {"plain send shows the final text", "v=$0", SendPipeline::Send, true, initialOnly,
         {decimal(42)}, true, {}, {":v=42"}, QString(":v=42")},
        {"passes see the added strings", "", SendPipeline::Send, true,
         {true, "$0", true, R"(\101)", SerialConnection}, {decimal(3)}, true, {"3A"}, {},
         std::nullopt},
        {"binary value leaves the status", "$0", SendPipeline::Send, true, plain,
         {binary(65, Binary8Bit)}, true, {"A"}, {}, std::nullopt},
        // 0x5C is a backslash: with the digits behind it, an escape.
        {"binary backslash meets digits", "$(0)101", SendPipeline::Send, true, plain,
         {binary(0x5C, Binary8Bit)}, true, {"A"}, {}, std::nullopt},
        {"serial failure", "x", SendPipeline::Send, true, plain, {}, false, {"x"}, {},
         QString("Serial write failed!")},
        {"ethernet failure", "x", SendPipeline::Send, true, initialOnly, {}, false, {}, {":x"},
         QString("Ethernet write failed!")},
        {"any type but serial is the network", "y", SendPipeline::Send, true, otherType, {}, true,
         {}, {"y"}, QString("y")},
        {"an empty plain send shows the empty text", "", SendPipeline::Send, true, plain, {},
         true, {""}, {}, QString("")},
    };
    for (const Case& c : cases) {
        FakeWindow window;
        window.enabled = c.enabled;
        window.settings = c.settings;
        window.inputs = c.inputs;
        RecordingPort serial, ethernet;
        serial.succeeds = ethernet.succeeds = c.writeSucceeds;
        SendPipeline pipeline(window, serial, ethernet);
        pipeline.sendString(c.typed, c.target);
        EXPECT_EQ(serial.written, c.serialWrites) << c.name;
        EXPECT_EQ(ethernet.written, c.ethernetWrites) << c.name;
        EXPECT_EQ(window.status, c.status) << c.name;
        EXPECT_EQ(window.sendLine, c.sendLine) << c.name;
    }
}

}  // namespace
