#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QMXControl.h"
#include "Peers.h"
#include "QMXConnection.h"

namespace {

using connectiontest::Peers;

// An output the operation did not write.
constexpr int64_t kUntouched = 0x5A5A5A;

std::string out(std::initializer_list<int64_t> values) {
    std::string text;
    for (int64_t value : values) {
        if (!text.empty()) text += ',';
        text += value == kUntouched ? "-" : std::to_string(value);
    }
    return text;
}

struct Outcome {
    uint32_t status;
    std::string outputs;
};

using Call = std::function<Outcome(QMXConnection&)>;

struct Row {
    const char* operation;
    Call call;
    std::vector<std::string> commands;  // the direct modes' command lines
    uint32_t status;
    std::string outputs;  // sizes first, then values; "%L": the locator, "%N": its length
    std::optional<uint32_t> libraryStatus = std::nullopt;  // where the library way differs
    std::optional<std::string> libraryOutputs = std::nullopt;
};

// Readers for the rows: each starts its outputs untouched.
Call one(uint32_t (QMXConnection::*get)(uint32_t*)) {
    return [get](QMXConnection& c) {
        uint32_t v = kUntouched;
        const uint32_t s = (c.*get)(&v);
        return Outcome{s, out({v})};
    };
}

Call onChannel(uint32_t (QMXConnection::*get)(uint32_t, uint32_t*), uint32_t channel) {
    return [get, channel](QMXConnection& c) {
        uint32_t v = kUntouched;
        const uint32_t s = (c.*get)(channel, &v);
        return Outcome{s, out({v})};
    };
}

Call position(uint32_t channel) {
    return [channel](QMXConnection& c) {
        int32_t v = kUntouched;
        const uint32_t s = c.getPosition(channel, &v);
        return Outcome{s, out({v})};
    };
}

Call angle(uint32_t channel) {
    return [channel](QMXConnection& c) {
        uint32_t a = kUntouched;
        int32_t r = kUntouched;
        const uint32_t s = c.getAngle(channel, &a, &r);
        return Outcome{s, out({a, r})};
    };
}

Call firmware(uint32_t kind, uint32_t index) {
    return [kind, index](QMXConnection& c) {
        uint32_t v = kUntouched;
        const uint32_t s = c.getFirmwareVersion(kind, index, &v);
        return Outcome{s, out({v})};
    };
}

Call permissions(uint32_t channel, uint32_t capacity) {
    return [channel, capacity](QMXConnection& c) {
        uint8_t bytes[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        uint32_t size = capacity;
        const uint32_t s = c.getFeaturePermissions(channel, bytes, &size);
        std::string text = std::to_string(size) + ":";
        for (uint32_t i = 0; i < capacity; ++i) {
            const std::string byte = bytes[i] == 0xEE ? "-" : std::to_string(bytes[i]);
            text += (i ? "," : "") + byte;
        }
        return Outcome{s, text};
    };
}

Call tuning(uint32_t channel, uint32_t parameter) {
    return [channel, parameter](QMXConnection& c) {
        uint32_t v = kUntouched;
        const uint32_t s = c.readTuningParameter(channel, parameter, &v);
        return Outcome{s, out({v})};
    };
}

Call property(uint32_t channel) {
    return [channel](QMXConnection& c) {
        int32_t v = kUntouched;
        const uint32_t s = c.getChannelProperty(channel, 8, 22, 47, &v);
        return Outcome{s, out({v})};
    };
}

Call speedLevel(uint32_t index) {
    return [index](QMXConnection& c) {
        uint32_t a = kUntouched, b = kUntouched, d = kUntouched;
        const uint32_t s = c.readSpeedLevelTableEntry(index, &a, &b, &d);
        return Outcome{s, out({a, b, d})};
    };
}

Call indexMapEntry(uint8_t index) {
    return [index](QMXConnection& c) {
        uint8_t v = 0xEE;
        const uint32_t s = c.readIndexFromIndexMap(index, &v);
        return Outcome{s, v == 0xEE ? std::string("-") : std::to_string(v)};
    };
}

Call locator(uint32_t capacity) {
    return [capacity](QMXConnection& c) {
        char buffer[128] = "-";
        uint32_t size = capacity;
        const uint32_t s = c.getSystemLocator(buffer, &size);
        return Outcome{s, std::to_string(size) + ":" + buffer};
    };
}

// Operations with only a status.
Call status(std::function<uint32_t(QMXConnection&)> f) {
    return [f](QMXConnection& c) { return Outcome{f(c), ""}; };
}

const uint32_t kKey = 0x0816002F;  // component 8, sub-component 22, property 47

// In order: later rows see what earlier writes did, moves come last.
std::vector<Row> rows() {
    using C = QMXConnection;
    const std::string key = std::to_string(kKey);
    return {
        {"getNumberOfChannels", one(&C::getNumberOfChannels), {"GNC"}, 0, "3"},
        {"getChannelType", onChannel(&C::getChannelType, 0), {"GCT0"}, 0, "0"},
        {"getChannelType end effector", onChannel(&C::getChannelType, 2), {"GCT2"}, 0, "1"},
        {"getChannelSerialNumber", onChannel(&C::getChannelSerialNumber, 0), {"GSN0"}, 0, "8448"},
        {"getSensorType", onChannel(&C::getSensorType, 0), {"GST0"}, 0, "1"},
        {"getStatus", onChannel(&C::getStatus, 0), {"GS0"}, 0, "0"},
        {"getPosition", position(0), {"GP0"}, 0, "0"},
        {"getPosition rotary", position(1), {"GP1"}, 143, "-"},
        // The library knows the channel count; the controller names no such module.
        {"getPosition no channel", position(7), {"GP7"}, 128, "-", 6},
        {"getAngle", angle(1), {"GA1"}, 0, "0,0"},
        {"getAngle linear", angle(0), {"GA0"}, 143, "-,-"},
        {"getFirmwareVersion interface", firmware(1, 0), {"GIV"}, 0, out({0x02010010})},
        {"getFirmwareVersion channel", firmware(2, 0), {"GFV0"}, 0, out({0x0102000A})},
        {"getFirmwareVersion second", firmware(3, 0), {"GFV0"}, 0, out({0x01000014})},
        {"getFirmwareVersion end effector", firmware(9, 2), {"GFV2"}, 0, out({0x0102000C})},
        {"getFirmwareVersion other kind", firmware(4, 0), {}, 255, "-", 9},
        {"getFeaturePermissions", permissions(0, 4), {"GFP0,255", "GFP0,0", "GFP0,1", "GFP0,2"}, 0,
         "3:16,0,5,-"},
        {"getFeaturePermissions too small", permissions(0, 2), {"GFP0,255"}, 17, "0:-,-"},
        {"readTuningParameter", tuning(0, 7), {"RTP0,7"}, 0, "0"},
        {"getChannelProperty unknown", property(0), {"GCP0," + key}, 156, "-"},
        {"readSpeedLevelTableSize", one(&C::readSpeedLevelTableSize), {"SLTC32"}, 0, "4"},
        {"readSpeedLevelTableEntry 0", speedLevel(0), {"SLTC96"}, 0, "1,100,1000"},
        {"readSpeedLevelTableEntry 31", speedLevel(31), {"SLTC127"}, 0, "32,3200,1310"},
        {"readSpeedLevelTableEntry 32", speedLevel(32), {}, 9, "-,-,-"},
        {"readIndexFromIndexMap", indexMapEntry(5), {"IM0,5,5"}, 0, "5"},
        {"getBaudRate", one(&C::getBaudRate), {"GCB"}, 0, "115200", 255, "-"},
        {"getSystemLocator", locator(128), {}, 0, "%N:%L"},
        {"getSystemLocator too small", locator(5), {}, 23, "%N:-"},

        {"writeTuningParameter", status([](C& c) { return c.writeTuningParameter(0, 7, -12); }),
         {"WTP0,7,-12"}, 0, ""},
        {"readTuningParameter written", tuning(0, 7), {"RTP0,7"}, 0, "4294967284"},
        {"setChannelProperty", status([](C& c) { return c.setChannelProperty(0, 8, 22, 47, -5); }),
         {"SCP0," + key + ",-5"}, 0, ""},
        {"getChannelProperty", property(0), {"GCP0," + key}, 0, "-5"},
        {"setSensorType", status([](C& c) { return c.setSensorType(0, 1); }), {"SST0,1"}, 0, ""},
        {"setClosedLoopMaxFrequency",
         status([](C& c) { return c.setClosedLoopMaxFrequency(0, 5000); }), {"SCLF0,5000"}, 0, ""},
        {"writeSpeedLevelTableEntry",
         status([](C& c) { return c.writeSpeedLevelTableEntry(5, 7, 700, 1070); }),
         {"SLTC133,7,700,1070"}, 0, ""},
        {"readSpeedLevelTableEntry written", speedLevel(5), {"SLTC101"}, 0, "7,700,1070"},
        {"writeSpeedLevelTableEntry 32",
         status([](C& c) { return c.writeSpeedLevelTableEntry(32, 7, 700, 1070); }), {}, 9, ""},
        {"writeSpeedLevelTableSize 0", status([](C& c) { return c.writeSpeedLevelTableSize(0); }),
         {}, 9, ""},
        {"writeSpeedLevelTableSize 33", status([](C& c) { return c.writeSpeedLevelTableSize(33); }),
         {}, 9, ""},
        {"writeSpeedLevelTableSize 32", status([](C& c) { return c.writeSpeedLevelTableSize(32); }),
         {"SLTC64,32"}, 0, ""},
        {"readSpeedLevelTableSize written", one(&C::readSpeedLevelTableSize), {"SLTC32"}, 0, "32"},
        {"writeSpeedLevelTableToEEPROM",
         status([](C& c) { return c.writeSpeedLevelTableToEEPROM(); }), {"SLTC160"}, 0, ""},
        {"writeIndexToIndexMap", status([](C& c) { return c.writeIndexToIndexMap(5, 44); }),
         {"IM16,5,44"}, 0, ""},
        {"readIndexFromIndexMap written", indexMapEntry(5), {"IM0,5,5"}, 0, "44"},
        {"finalizeIndexMap", status([](C& c) { return c.finalizeIndexMap(); }), {"IM17,0,0"}, 0,
         ""},
        {"setBaudRate 4800", status([](C& c) { return c.setBaudRate(4800); }), {}, 9, ""},
        {"setBaudRate", status([](C& c) { return c.setBaudRate(115200); }), {"CB115200"}, 0, "",
         255},

        {"stop", status([](C& c) { return c.stop(0); }), {"S0"}, 0, ""},
        {"gotoPositionRelative", status([](C& c) { return c.gotoPositionRelative(0, 0, 0); }),
         {"MPR0,0,0"}, 0, ""},
        {"gotoPositionRelative rotary",
         status([](C& c) { return c.gotoPositionRelative(1, -5, 0); }), {"MPR1,-5,0"}, 143, ""},
        {"gotoAngleRelative", status([](C& c) { return c.gotoAngleRelative(1, 0, 0, 0); }),
         {"MAR1,0,0,0"}, 0, ""},
        {"stepMove", status([](C& c) { return c.stepMove(0, 0, 100, 1000); }),
         {"MST0,0,100,1000"}, 0, ""},
        {"findReferenceMark", status([](C& c) { return c.findReferenceMark(0, 0, 0, 0); }),
         {"FRM0,0,0,0"}, 0, ""},
        {"calibrateSensor", status([](C& c) { return c.calibrateSensor(0); }), {"CS0"}, 0, ""},
    };
}

std::string withLocator(std::string text, const std::string& locator) {
    for (size_t at = text.find("%L"); at != std::string::npos; at = text.find("%L"))
        text.replace(at, 2, locator);
    for (size_t at = text.find("%N"); at != std::string::npos; at = text.find("%N"))
        text.replace(at, 2, std::to_string(locator.size()));
    return text;
}

// One model, three connections: through the library (binary protocol) and
// directly over a serial line and TCP (textual protocol). Opened once.
class Operations : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        peers = new Peers;
        library = new QMXConnection;
        serial = new QMXConnection;
        network = new QMXConnection;
        ASSERT_EQ(library->openSystem(QString::fromStdString(peers->binaryServer.locator())), 0u);
        ASSERT_EQ(serial->openSystem(QString::fromStdString(peers->serialLocator())), 0u);
        ASSERT_EQ(network->openSystem(QString::fromStdString(peers->textServer.locator())), 0u);
    }
    static void TearDownTestSuite() {
        for (QMXConnection* connection : {library, serial, network}) {
            if (connection->mode() != QMXConnection::Closed) connection->closeSystem();
            delete connection;
        }
        delete peers;
    }
    void SetUp() override {
        ASSERT_EQ(library->mode(), QMXConnection::Library);
        ASSERT_EQ(serial->mode(), QMXConnection::Serial);
        ASSERT_EQ(network->mode(), QMXConnection::Network);
    }

    static Peers* peers;
    static QMXConnection* library;
    static QMXConnection* serial;
    static QMXConnection* network;
};

Peers* Operations::peers = nullptr;
QMXConnection* Operations::library = nullptr;
QMXConnection* Operations::serial = nullptr;
QMXConnection* Operations::network = nullptr;

TEST_F(Operations, SameOutcomeInEveryMode) {
    std::vector<std::string> operations;
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.operation);
        operations.push_back(row.operation);

        const size_t binaryBefore = peers->binary.requestCount();
        const Outcome viaLibrary = row.call(*library);
        EXPECT_EQ(viaLibrary.status, row.libraryStatus.value_or(row.status)) << "library";
        EXPECT_EQ(viaLibrary.outputs,
                  withLocator(row.libraryOutputs.value_or(row.outputs),
                              peers->binaryServer.locator()))
            << "library";
        // A refusal of the arguments sends nothing.
        if (row.status == VX_INVALID_PARAMETER) {
            EXPECT_EQ(peers->binary.requestCount(), binaryBefore);
        }

        for (QMXConnection* direct : {serial, network}) {
            const char* mode = direct == serial ? "serial" : "network";
            const std::string locator = direct == serial ? peers->serialLocator()
                                                         : peers->textServer.locator();
            peers->text.clearRecords();
            const Outcome outcome = row.call(*direct);
            EXPECT_EQ(outcome.status, row.status) << mode;
            EXPECT_EQ(outcome.outputs, withLocator(row.outputs, locator)) << mode;
            EXPECT_EQ(peers->text.commandTexts(), row.commands) << mode;
        }
    }
    // Every operation of the connection has a row.
    std::sort(operations.begin(), operations.end());
    std::vector<std::string> names;
    for (const std::string& operation : operations) {
        const std::string name = operation.substr(0, operation.find(' '));
        if (names.empty() || names.back() != name) names.push_back(name);
    }
    EXPECT_EQ(names.size(), 32u);
}

TEST_F(Operations, ClosedConnectionSendsNothing) {
    QMXConnection closed;
    peers->text.clearRecords();
    const size_t binaryBefore = peers->binary.requestCount();
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.operation);
        const Outcome outcome = row.call(closed);
        EXPECT_EQ(outcome.status, VX_NOT_INITIALIZED);
        // Nothing written: past a size (left as it was), only untouched values.
        const std::string values = outcome.outputs.substr(outcome.outputs.find(':') + 1);
        EXPECT_EQ(values.find_first_not_of("-,"), std::string::npos) << outcome.outputs;
    }
    EXPECT_EQ(closed.closeSystem(), VX_NOT_INITIALIZED);
    EXPECT_TRUE(peers->text.commands().empty());
    EXPECT_EQ(peers->text.received(), "");
    EXPECT_EQ(peers->binary.requestCount(), binaryBefore);
}

}  // namespace
