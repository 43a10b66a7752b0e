#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "firmware/FirmwareTestSupport.h"
#include "QMXAsciiProtocol.h"
#include "SystemConnection.h"
#include "sim/ControllerModel.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"
#include "sim/TextEndpoint.h"

using namespace std::chrono_literals;

namespace {

using fwtest::throwsUpdate;
using vxfw::QMXAsciiProtocol;
using vxsim::ControllerModel;
using Tuning = ControllerModel::Table;

enum class Carrier { Tcp, Serial };

std::string carrierName(const ::testing::TestParamInfo<Carrier>& info) {
    return info.param == Carrier::Tcp ? "Tcp" : "Serial";
}

// The textual personality of one simulated system, reached over TCP or a
// pseudo-terminal.
class AsciiProtocolTest : public ::testing::TestWithParam<Carrier> {
protected:
    static constexpr uint32_t kReplyTimeoutMs = 3000;

    void SetUp() override {
        pty.serve(text);
        connection.setPauseLimit(0ms);
        connection.openPort(GetParam() == Carrier::Tcp ? server.locator()
                                                       : "serial:" + pty.devicePath());
        connection.setTimeout(kReplyTimeoutMs);
        protocol.setPort(&connection);
    }

    ControllerModel model{vxsim::SystemSetup::standard(3, false)};
    vxsim::TextEndpoint text{model};
    vxsim::TcpServer server{text};
    vxsim::Pty pty;
    vxfw::SystemConnection connection;
    QMXAsciiProtocol protocol;
};

TEST_P(AsciiProtocolTest, EachOperationSendsItsCommandAndReadsItsReply) {
    model.setSensorType(1, 5);
    model.setSensorEnabled(2);
    model.setSynchronous(false);
    model.setTableValue(1, Tuning::Tuning, 2, 18000);
    model.setTableValue(0, Tuning::Tuning, 4, 7);
    model.setTableValue(1, Tuning::Tuning, 5, 1);
    model.setTableValue(0, Tuning::Tuning, 6, -42);
    using P = QMXAsciiProtocol;
    struct Case {
        const char* sent;
        std::function<int64_t(P&)> call;
        int64_t result;
    };
    const Case cases[] = {
        {":GNC\n", [](P& p) { return p.getNumberOfChannels(); }, 3},
        {":GST1\n", [](P& p) { return p.getSensorType(1); }, 5},
        {":GSE\n", [](P& p) { return p.getSensorEnabled(); }, 2},
        {":RTP1,2\n", [](P& p) { return p.getClosedLoopMaxFrequency(1); }, 18000},
        {":RTP0,4\n", [](P& p) { return p.getDynamicAmplitudeDetection(0); }, 1},
        {":RTP2,5\n", [](P& p) { return p.getDistanceCodeInverted(2); }, 0},
        {":RTP0,6\n", [](P& p) { return p.getPhysicalScaleOffset(0); }, -42},
        {":SST0,12\n", [](P& p) { p.setSensorType(0, 12); return 0; }, 0},
        {":SSE0\n", [](P& p) { p.setSensorEnabled(0); return 0; }, 0},
        {":SCM0\n", [](P& p) { p.setCommunicationMode(); return 0; }, 0},
        {":WTP2,6,-1500\n", [](P& p) { p.writeTuningParameter(2, 6, -1500); return 0; }, 0},
        {":RTP2,6\n", [](P& p) { return p.readTuningParameter(2, 6); }, -1500},
        {":WTP0,2,20000\n", [](P& p) { p.setClosedLoopMaxFrequency(0, 20000); return 0; }, 0},
        {":WTP1,4,1\n", [](P& p) { p.setDynamicAmplitudeDetection(1, true); return 0; }, 0},
        {":WTP1,5,0\n", [](P& p) { p.setDistanceCodeInverted(1, false); return 0; }, 0},
        {":WTP1,6,123456\n", [](P& p) { p.setPhysicalScaleOffset(1, 123456); return 0; }, 0},
        {"", [](P& p) { return p.isHCMPresent(); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent);
        text.clearRecords();
        int64_t result = -1;
        EXPECT_NO_THROW(result = c.call(protocol));
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(text.received(), c.sent);
    }
    EXPECT_EQ(model.sensorType(0), 12);
    EXPECT_EQ(model.sensorEnabled(), 0);
    EXPECT_TRUE(model.synchronous());
    EXPECT_EQ(model.tableValue(0, Tuning::Tuning, 2), 20000);
    EXPECT_EQ(model.tableValue(1, Tuning::Tuning, 4), 1);
    EXPECT_EQ(model.tableValue(1, Tuning::Tuning, 5), 0);
    EXPECT_EQ(model.tableValue(1, Tuning::Tuning, 6), 123456);

    // The hand-control operations send nothing and leave their outputs.
    text.clearRecords();
    uint32_t type = 77, size = 88;
    uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    protocol.readHCMEepromType(type, size);
    protocol.readHCMConfigBlock(0, block);
    protocol.writeHCMConfigBlock(0, block);
    EXPECT_EQ(type, 77u);
    EXPECT_EQ(size, 88u);
    EXPECT_EQ(block[7], 8);

    protocol.reset();
    EXPECT_EQ(text.received(), ":R\n");
    EXPECT_EQ(model.sensorEnabled(), 1);
}

TEST_P(AsciiProtocolTest, RepliesOfTheWrongFormAndTheirEdges) {
    struct Case {
        const char* what;
        const char* command;
        std::string reply;
        std::function<int64_t(QMXAsciiProtocol&)> call;
        int32_t code;  // 0: the call returns `result`
        int64_t result = 0;
    };
    const auto channels = [](QMXAsciiProtocol& p) { return p.getNumberOfChannels(); };
    const auto setMode = [](QMXAsciiProtocol& p) { p.setSensorEnabled(1); return 0; };
    const auto setType = [](QMXAsciiProtocol& p) { p.setSensorType(0, 12); return 0; };
    const auto readFrequency = [](QMXAsciiProtocol& p) { return p.readTuningParameter(0, 2); };
    const auto writeOffset = [](QMXAsciiProtocol& p) {
        p.writeTuningParameter(2, 6, -1500);
        return 0;
    };
    const Case cases[] = {
        {"acknowledgement with a trailing blank", "SSE", ":E-1,0 \n", setMode,
         vxfw::kProtocolError},
        {"acknowledgement E-1,00", "SCM", ":E-1,00\n",
         [](QMXAsciiProtocol& p) { p.setCommunicationMode(); return 0; }, vxfw::kProtocolError},
        {"N alone", "GNC", ":N\n", channels, 0, 0},
        {"N12x", "GNC", ":N12x\n", channels, 0, 12},
        {"junk before the colon", "GNC", "xx:N3\n", channels, 0, 3},
        {"beyond 32 bits", "GNC", ":N99999999999\n", channels, vxfw::kProtocolError},
        {"just beyond 32 bits", "GNC", ":N2147483648\n", channels, vxfw::kProtocolError},
        {"the lowest 32-bit number", "GNC", ":N-2147483648\n", channels, 0,
         std::numeric_limits<int32_t>::min()},
        {"CR before the line feed, value", "GNC", ":N3\r\n", channels, 0, 3},
        {"CR before the line feed, acknowledgement", "SSE", ":E-1,0\r\n", setMode,
         vxfw::kProtocolError},
        {"wrong channel", "GST", ":ST2,7\n",
         [](QMXAsciiProtocol& p) { return p.getSensorType(3); }, vxfw::kProtocolError},
        {"too few fields", "GST", ":ST1\n",
         [](QMXAsciiProtocol& p) { return p.getSensorType(1); }, vxfw::kProtocolError},
        {"14 body bytes", "RTP", ":TP0,2,12345678\n", readFrequency, 0, 12345678},
        {"15 body bytes", "RTP", ":TP0,2,123456789\n", readFrequency, vxfw::kBufferFull},
        {"wrong parameter", "RTP", ":TP0,4,1\n", readFrequency, vxfw::kProtocolError},
        {"system acknowledgement to a channel command", "SST", ":E-1,0\n", setType,
         vxfw::kProtocolError},
        {"the controller's error", "SST", ":E0,5\n", setType, vxfw::kProtocolError},
        {"empty fields skipped", "SST", ":E0,,0\n", setType, 0, 0},
        {"channel acknowledgement to a system command", "SSE", ":E0,0\n", setMode,
         vxfw::kProtocolError},
        {"30 body bytes after WTP", "WTP", ":E2,0," + std::string(25, '9') + "\n", writeOffset,
         0, 0},
        {"31 body bytes after WTP", "WTP", ":E2,0," + std::string(26, '9') + "\n", writeOffset,
         vxfw::kBufferFull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        text.clearFaults();
        text.addFault(vxsim::TextFault::replace(c.command, c.reply));
        if (c.code == 0) {
            int64_t result = -1;
            EXPECT_NO_THROW(result = c.call(protocol));
            EXPECT_EQ(result, c.result);
        } else {
            EXPECT_TRUE(throwsUpdate([&] { c.call(protocol); }, c.code));
        }
        // The line feed that a full buffer left behind is skipped as noise
        // before the next reply.
    }
}

TEST_P(AsciiProtocolTest, NoReplyIsATimeoutAndNoPortSendsNothing) {
    text.addFault(vxsim::TextFault::silent("GNC", 1));
    connection.setTimeout(300);
    const auto took = fwtest::timed([&] {
        EXPECT_TRUE(throwsUpdate([&] { protocol.getNumberOfChannels(); }, vxfw::kTimeout));
    });
    EXPECT_GE(took, 300ms);
    connection.setTimeout(kReplyTimeoutMs);
    EXPECT_EQ(protocol.getNumberOfChannels(), 3);

    connection.close();
    text.clearRecords();
    EXPECT_TRUE(throwsUpdate([&] { protocol.getNumberOfChannels(); }, vxfw::kPortNotOpen));
    QMXAsciiProtocol unbound;
    EXPECT_TRUE(throwsUpdate([&] { unbound.setSensorEnabled(1); }, vxfw::kPortNotOpen));
    EXPECT_EQ(text.received(), "");
}

INSTANTIATE_TEST_SUITE_P(Carriers, AsciiProtocolTest,
                         ::testing::Values(Carrier::Tcp, Carrier::Serial), carrierName);

}  // namespace
