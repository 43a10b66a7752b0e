#include "SendPipeline.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <limits>

#include "TerminalConfiguration.h"
#include "TextPort.h"
#include "terminal/Support.h"

namespace {

QString chars(std::initializer_list<ushort> codes) {
    QString text;
    for (ushort code : codes) text.append(QChar(code));
    return text;
}

InputValue decimal(int32_t value) { return {value, false, Binary8Bit}; }
InputValue binary(int32_t value, int format) { return {value, true, format}; }

TEST(SendPipeline, InputReferences) {
    const QVector<InputValue> three = {decimal(5), decimal(-7), decimal(300)};
    const QVector<InputValue> six = {decimal(5), decimal(1), decimal(2),
                                     decimal(3), decimal(4), decimal(55)};
    const QVector<InputValue> own = {binary(12324, Binary16Bit)};  // 0x3024: "$0"
    const struct {
        QVector<InputValue> inputs;
        QString typed;
        QString expected;
        bool raw;
    } cases[] = {
        {three, "$0,$(1),$2)", "5,-7,300", false},
        {three, "$3", "", false},
        {three, "($1)", "(-7", false},
        {three, "$12", "", false},
        {three, "$(1)2", "-72", false},
        {three, "$007", "", false},
        {three, "$ and $x", "$ and $x", false},
        {three, "$99999999999", "5", false},
        // Each search starts at the beginning: "$" and 5 read as $5.
        {six, "$$0", "55", false},
        {{binary(4660, Binary16Bit)}, "$0", chars({0x34, 0x12}), true},
        {own, "$0", chars({0x24, 0x30}), true},
        {own, "$$0", chars({0x24, 0x24, 0x30}), true},
        // Inserted, 0x31 ("1") does not make "$" a reference.
        {{binary(0x31, Binary8Bit), decimal(9)}, "$$0", chars({0x24, 0x31}), true},
        {{binary(1, 4)}, "a$0b", "ab", true},
    };
    for (const auto& c : cases) {
        bool raw = false;
        EXPECT_EQ(SendPipeline::substituteInputValues(c.typed, c.inputs, raw), c.expected)
            << c.typed.toStdString();
        EXPECT_EQ(raw, c.raw) << c.typed.toStdString();
    }
}

TEST(SendPipeline, BinaryValuesClampedPerWidth) {
    const struct {
        int format;
        int32_t value;
        QString expected;
    } cases[] = {
        {Binary16Bit, 4660, chars({0x34, 0x12})},
        {Binary16Bit, 70000, chars({0xFF, 0xFF})},
        {Binary16Bit, -1, chars({0xFF, 0xFF})},
        {Binary16Bit, -40000, chars({0x00, 0x80})},
        {Binary8Bit, -200, chars({0x80})},
        {Binary8Bit, 300, chars({0xFF})},
        {Binary24Bit, 0x123456, chars({0x56, 0x34, 0x12})},
        {Binary24Bit, 1 << 24, chars({0xFF, 0xFF, 0xFF})},
        {Binary24Bit, -(1 << 23) - 1, chars({0x00, 0x00, 0x80})},
        {Binary32Bit, -2, chars({0xFE, 0xFF, 0xFF, 0xFF})},
        {Binary32Bit, std::numeric_limits<int32_t>::min(), chars({0, 0, 0, 0x80})},
        {4, 1, ""},
    };
    for (const auto& c : cases) {
        QString output = "old";
        SendPipeline::encodeBinaryValue(c.value, c.format, output);
        EXPECT_EQ(output, c.expected) << c.format << ": " << c.value;
    }
}

TEST(SendPipeline, OctalEscapes) {
    const struct {
        QString typed;
        QString expected;
        bool raw;
    } cases[] = {
        {R"(\101)", "A", true},        {R"(\012)", "\n", true},
        {R"(\8)", R"(\8)", false},     {R"(\01x)", R"(\01x)", false},
        {R"(ab\)", R"(ab\)", false},   {R"(\777)", chars({511}), true},
        {R"(\134101)", "A", true},     {R"(\1011)", "A1", true},
    };
    for (const auto& c : cases) {
        bool raw = false;
        EXPECT_EQ(SendPipeline::replaceOctalEscapes(c.typed, raw), c.expected)
            << c.typed.toStdString();
        EXPECT_EQ(raw, c.raw) << c.typed.toStdString();
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

TEST(SendPipeline, SendString) {
    using Status = std::optional<QString>;
    const SendSettings both{true, "A", true, R"(\012)", SerialConnection};
    const SendSettings none{false, "A", false, "Z", SerialConnection};
    const SendSettings network{true, ":", false, "Z", NetworkConnection};
    const struct {
        QString typed;
        int target;
        bool enabled;
        SendSettings settings;
        QVector<InputValue> inputs;
        bool succeeds;
        QStringList serial, ethernet;
        Status status;
        QString sendLine;
    } cases[] = {
        {"$0", SendPipeline::CopyToSendLine, false, both, {}, true, {}, {}, {}, "$0"},
        {"x", 2, true, both, {}, true, {}, {}, {}, "line"},
        {"x", SendPipeline::Send, false, both, {}, true, {}, {}, {}, "line"},
        {"x", SendPipeline::Send, true, both, {}, true, {"Ax\n"}, {}, {}, "line"},
        {"v=$0", SendPipeline::Send, true, network, {decimal(42)}, true, {}, {":v=42"},
         ":v=42", "line"},
        {"", SendPipeline::Send, true, {true, "$0", true, R"(\101)", SerialConnection},
         {decimal(3)}, true, {"3A"}, {}, {}, "line"},
        // 0x5C is a backslash: with the digits behind it, an escape.
        {"$(0)101", SendPipeline::Send, true, none, {binary(0x5C, Binary8Bit)}, true, {"A"}, {},
         {}, "line"},
        {"x", SendPipeline::Send, true, none, {}, false, {"x"}, {}, "Serial write failed!",
         "line"},
        {"x", SendPipeline::Send, true, network, {}, false, {}, {":x"}, "Ethernet write failed!",
         "line"},
        {"y", SendPipeline::Send, true, {false, "", false, "", 2}, {}, true, {}, {"y"}, "y",
         "line"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        terminaltest::FakeWindow window;
        window.enabled = c.enabled;
        window.settings = c.settings;
        window.inputs = c.inputs;
        RecordingPort serial, ethernet;
        serial.succeeds = ethernet.succeeds = c.succeeds;
        SendPipeline(window, serial, ethernet).sendString(c.typed, c.target);
        EXPECT_EQ(serial.written, c.serial);
        EXPECT_EQ(ethernet.written, c.ethernet);
        EXPECT_EQ(window.status, c.status);
        EXPECT_EQ(window.sendLine, c.sendLine);
    }
}

}  // namespace
