#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "UsbTestSupport.h"
#include "ftdi/FtdiDriver.h"
#include "ftdi/UsbProbe.h"
#include "sim/Gen2Simulator.h"

namespace usbtest {
namespace {

using vxsim::Bytes;
using vxsim::Gen2Fault;
using vxsim::Gen2Match;
namespace gen2 = vxsim::gen2;
using Clock = std::chrono::steady_clock;

constexpr char kSearchAll[] = "iface-type usb\ninclude-all";

// The two requests on the wire, CRC included.
const Bytes kHandshakeRequest = {0xA4, 0x0D, 0x00, 0x00, 0x74, 0x4C, 0x65, 0x56,
                                 0x00, 0x00, 0x00, 0x00, 0xEA, 0x20, 0x6A, 0x8F};
const Bytes kInfoRequest = {0xA4, 0x05, 0x00, 0x05, 0x2A, 0x67, 0xEC, 0x95};

const Gen2Match kHandshake{gen2::kSystemStart, gen2::sysframe::kHandshake};
const Gen2Match kInfo{gen2::kSystemStart, gen2::sysframe::kInfoRequest};
const std::vector<uint8_t> kEarlierIds = {7};

vxsim::FtdiAdapter qmx2() { return {"P1", "Veltrax QMX2", 0x7001}; }

// The FIFO channel of a sensor module's two-channel high-speed chip.
vxsim::FtdiAdapter fifoSensor() {
    return {"FT12A", "Veltrax Sensor A", 0x7002, {}, VXFTDI_TYPE_DUAL_HS, VXFTDI_FLAG_HIGH_SPEED};
}

Bytes systemFrame(uint8_t type, const Bytes& payload) {
    return gen2::encodeFrame(gen2::kSystemStart, type, payload);
}

Bytes handshakeReply(uint8_t start = gen2::kSystemStart) {
    return gen2::encodeFrame(start, gen2::sysframe::kHandshakeReply,
                             gen2::Fields().u32(gen2::kHandshakeMagic).u16(0).bytes());
}

Bytes readyWithStatus(uint16_t status) {
    return systemFrame(gen2::sysframe::kReadyWithStatus, gen2::Fields().u16(status).bytes());
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A handshake reply whose length field claims 254 bytes, all present: read
// as the length says, it would pass for a good reply.
Bytes overlongHandshakeReply() {
    Bytes frame = {gen2::kSystemStart, 0xFE, 0x00, gen2::sysframe::kHandshakeReply,
                   0x74, 0x4C, 0x65, 0x56, 0x00, 0x00};
    frame.resize(3 + 0xFE, 0x00);
    return frame;
}

std::vector<std::string> protocolIdsOf(const std::vector<std::map<std::string, std::string>>& found) {
    std::vector<std::string> ids;
    for (const auto& record : found)
        ids.push_back(record.count("protocol-id") ? record.at("protocol-id") : "-");
    return ids;
}

struct ProbeOutcome {
    int result = -1;
    std::vector<uint8_t> ids;
};

// Probes the adapter with `serial` as the search does, its entry holding
// `earlier` protocol ids beforehand.
ProbeOutcome probeDirectly(const std::string& serial, const std::vector<uint8_t>& earlier) {
    std::lock_guard<std::mutex> lock(vxio::usbListMutex());
    const vxio::FtdiDriver* driver = vxio::bindFtdiDriver();
    if (!driver) {
        ADD_FAILURE() << "the driver double is not bound";
        return {};
    }
    vxio::UsbDeviceList& list = vxio::UsbDeviceList::instance();
    EXPECT_EQ(VX_IO_OK, list.scan(*driver, true));
    for (size_t i = 0; i < list.entries().size(); ++i) {
        vxio::UsbDeviceEntry& entry = list.entries()[i];
        if (vxio::nodeSerial(entry.node) != serial) continue;
        entry.protocolIds = earlier;
        const int result = vxio::probeUsbAdapter(*driver, i, entry);
        return {result, entry.protocolIds};
    }
    ADD_FAILURE() << serial << " is not listed";
    return {};
}

class UsbProbeTest : public UsbTest {
protected:
    void expectClosed(int adapter) {
        EXPECT_EQ(0, ftdi().openHandleCount());
        const VxFtdiLineState line = lineState(adapter);
        EXPECT_EQ(line.opens, line.closes);
    }

    vxsim::Gen2Simulator sim_;
};

TEST_F(UsbProbeTest, KnownProductsGetTheirIdsWithoutProbeTraffic) {
    plug(Adapter().sn("Q1").desc("Veltrax QMX-I"));
    plug(Adapter().sn("Z3").desc("Veltrax ZBU-3D"));
    ftdi().clearCallLog();

    const auto found = records(enumerate(9999, kSearchAll).text);
    EXPECT_EQ((std::vector<std::string>{"146", "147"}), protocolIdsOf(found));
    // The search's own chip-id reads are all the driver sees of them.
    EXPECT_EQ((std::vector<std::string>{"FT_Open(0)", "FTID_GetChipIDFromHandle()", "FT_Close()",
                                        "FT_Open(1)", "FTID_GetChipIDFromHandle()", "FT_Close()"}),
              calls({"FT_Open", "FT_EE_UASize", "FT_EE_UARead", "FT_Write", "FT_Read",
                     "FTID_GetChipIDFromHandle", "FT_Close"}));
    EXPECT_EQ("usb:sn:Q1", enumerate(9999, "iface-type usb\nonly-locator\nfind-protocol-id 146").text);
}

TEST_F(UsbProbeTest, SearchListsOneRecordPerIdTheControllerAnswersWith) {
    const int adapter = sim_.attachUsb(qmx2()).adapter();

    // Silent after the handshake: the info window closes empty.
    const auto began = Clock::now();
    auto found = records(enumerate(9999, kSearchAll).text);
    EXPECT_GE(Clock::now() - began, std::chrono::milliseconds(100));
    EXPECT_EQ((std::vector<std::string>{"-"}), protocolIdsOf(found));
    EXPECT_EQ("", enumerate(9999, "iface-type usb\nonly-locator\nfind-protocol-id 32").text);

    // The requests on the wire, and the line the adapter was probed on.
    const auto requests = sim_.endpoint().requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(kHandshakeRequest, requests[0].bytes);
    EXPECT_EQ(kInfoRequest, requests[1].bytes);
    const VxFtdiLineState line = lineState(adapter);
    EXPECT_EQ(12000000u, line.baudRate);
    EXPECT_EQ(0x0100, line.flowControl);
    EXPECT_EQ(100u, line.readTimeout);
    EXPECT_EQ(100u, line.writeTimeout);
    EXPECT_EQ(2, line.latency);

    sim_.endpoint().setInfoReply({Bytes{32, 33}});
    found = records(enumerate(9999, kSearchAll).text);
    EXPECT_EQ((std::vector<std::string>{"32", "33"}), protocolIdsOf(found));
    ASSERT_EQ(2u, found.size());
    found[0].erase("protocol-id");
    found[1].erase("protocol-id");
    EXPECT_EQ(found[0], found[1]) << "the records differ in their protocol id only";
    EXPECT_EQ("usb:sn:P1", enumerate(9999, "iface-type usb\nonly-locator\nfind-protocol-id 33").text);

    // A failed probe keeps the ids, also across a rescan.
    sim_.endpoint().setHandshakeReply({0x11223344, 0, false});
    EXPECT_EQ((std::vector<std::string>{"32", "33"}),
              protocolIdsOf(records(enumerate(9999, std::string(kSearchAll) + "\nforce-rescan").text)));

    EXPECT_TRUE(sim_.endpoint().rejected().empty());
    expectClosed(adapter);
}

TEST_F(UsbProbeTest, SensorInFifoModeAnswersWithItsReadyFrame) {
    const int adapter = sim_.attachUsb(fifoSensor()).adapter();
    sim_.endpoint().setInfoReply({std::nullopt, true});
    ftdi().clearCallLog();

    const auto found = records(enumerate(9999, kSearchAll).text);
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ("180", found[0].at("protocol-id"));
    EXPECT_EQ("FT12", found[0].at("device-sn"));
    EXPECT_EQ((std::vector<std::string>{"FT_SetBitMode(255,0)", "FT_SetBitMode(255,64)",
                                        "FT_SetUSBParameters(65536,65536)", "FT_Write(16)",
                                        "FT_Write(8)"}),
              calls({"FT_SetBaudRate", "FT_SetBitMode", "FT_SetUSBParameters", "FT_Write"}));
    expectClosed(adapter);
}

TEST_F(UsbProbeTest, AdapterWithoutLineSettingsIsOnlyReadFrom) {
    const int adapter = plug(Adapter().sn("U1").desc("Some Adapter"));
    ftdi().clearCallLog();

    const auto found = records(enumerate(9999, kSearchAll).text);
    EXPECT_EQ((std::vector<std::string>{"-"}), protocolIdsOf(found));
    EXPECT_EQ((std::vector<std::string>{"FT_Open(0)", "FT_EE_UASize()", "FT_EE_UARead(64)",
                                        "FT_Close()", "FT_Open(0)", "FTID_GetChipIDFromHandle()",
                                        "FT_Close()"}),
              calls({"FT_Open", "FT_EE_UASize", "FT_EE_UARead", "FT_SetBaudRate", "FT_SetTimeouts",
                     "FT_Purge", "FT_Write", "FT_Read", "FTID_GetChipIDFromHandle", "FT_Close"}));
    uint8_t written[16];
    EXPECT_EQ(0u, ftdi().takeWritten(adapter, written, sizeof written));
    EXPECT_EQ("", enumerate(9999, "iface-type usb\nonly-locator\nfind-protocol-id 146").text);
    expectClosed(adapter);
}

struct ProbeCase {
    const char* name;
    std::function<void(vxsim::Gen2Simulator&)> setUp;
    int result;
    std::vector<uint8_t> ids;
    size_t requests;  // what the controller received
    vxsim::FtdiAdapter adapter = qmx2();
};

void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }

class UsbProbeOutcomeTest : public UsbProbeTest,
                            public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(UsbProbeOutcomeTest, ResultAndIdsFollowTheExchange) {
    const ProbeCase& c = GetParam();
    const int adapter = sim_.attachUsb(c.adapter).adapter();
    if (c.setUp) c.setUp(sim_);

    const ProbeOutcome outcome = probeDirectly(c.adapter.serial, kEarlierIds);
    EXPECT_EQ(c.result, outcome.result);
    EXPECT_EQ(c.ids, outcome.ids);
    EXPECT_EQ(c.requests, sim_.endpoint().requests().size());
    EXPECT_TRUE(sim_.endpoint().rejected().empty());
    expectClosed(adapter);
}

void infoIds(vxsim::Gen2Simulator& sim, Bytes ids) { sim.endpoint().setInfoReply({std::move(ids)}); }

INSTANTIATE_TEST_SUITE_P(
    Exchanges, UsbProbeOutcomeTest,
    ::testing::Values(
        ProbeCase{"InfoReplyReplacesTheIds", [](auto& s) { infoIds(s, {0x20, 0x21}); }, 0,
                  {0x20, 0x21}, 2},
        ProbeCase{"SilenceAfterTheHandshakeLeavesNoIds", nullptr, 0, {}, 2},
        ProbeCase{"FramesBeforeTheHandshakeReplyAreSkipped",
                  [](auto& s) {
                      s.endpoint().addFault(Gen2Fault::replace(
                          kHandshake, systemFrame(gen2::sysframe::kReady, {}) + handshakeReply()));
                      infoIds(s, {0x20});
                  },
                  0, {0x20}, 2},
        ProbeCase{"ReadyFrameOfAnotherStatusIsSkipped",
                  [](auto& s) {
                      s.endpoint().addFault(Gen2Fault::replace(
                          kInfo, readyWithStatus(1) + systemFrame(gen2::sysframe::kInfoReply, {1, 0x21})));
                  },
                  0, {0x21}, 2},
        ProbeCase{"FifoStatusFromAnotherProductIsSkipped",
                  [](auto& s) { s.endpoint().setInfoReply({std::nullopt, true}); }, 0, {}, 2},
        ProbeCase{"FifoSensor", [](auto& s) { s.endpoint().setInfoReply({std::nullopt, true}); }, 0,
                  {0xB4}, 2, fifoSensor()},
        ProbeCase{"WrongMagic",
                  [](auto& s) { s.endpoint().setHandshakeReply({0x11223344, 0, false}); },
                  VX_IO_OPEN_FAILED, kEarlierIds, 1},
        ProbeCase{"HandshakeRefused",
                  [](auto& s) { s.endpoint().setHandshakeReply({gen2::kHandshakeMagic, 1, false}); },
                  VX_IO_OPEN_FAILED, kEarlierIds, 1},
        ProbeCase{"HandshakeReplyWithoutStatus",
                  [](auto& s) { s.endpoint().addFault(Gen2Fault::shorten(kHandshake, 2)); },
                  VX_IO_OPEN_FAILED, kEarlierIds, 1},
        ProbeCase{"InfoCountBeyondTheFrame",
                  [](auto& s) {
                      s.endpoint().addFault(
                          Gen2Fault::replace(kInfo, systemFrame(gen2::sysframe::kInfoReply, {9, 0x20})));
                  },
                  VX_IO_OPEN_FAILED, kEarlierIds, 2},
        ProbeCase{"ReadyFrameWithoutStatus",
                  [](auto& s) {
                      s.endpoint().addFault(Gen2Fault::replace(
                          kInfo, {gen2::kSystemStart, 0x01, 0x00, gen2::sysframe::kReadyWithStatus}));
                  },
                  VX_IO_OPEN_FAILED, kEarlierIds, 2},
        ProbeCase{"SilenceBeforeTheHandshakeReply",
                  [](auto& s) { s.endpoint().addFault(Gen2Fault::drop(kHandshake)); },
                  VX_IO_READ_ERROR, kEarlierIds, 1},
        ProbeCase{"CommandStartByte",
                  [](auto& s) {
                      s.endpoint().addFault(
                          Gen2Fault::replace(kHandshake, handshakeReply(gen2::kCommandStart)));
                  },
                  VX_IO_READ_ERROR, kEarlierIds, 1},
        ProbeCase{"ZeroLength",
                  [](auto& s) {
                      s.endpoint().addFault(Gen2Fault::replace(kHandshake, {gen2::kSystemStart, 0, 0}));
                  },
                  VX_IO_READ_ERROR, kEarlierIds, 1},
        ProbeCase{"LengthAbove253",
                  [](auto& s) {
                      s.endpoint().addFault(Gen2Fault::replace(kHandshake, overlongHandshakeReply()));
                  },
                  VX_IO_READ_ERROR, kEarlierIds, 1},
        ProbeCase{"DeviceLostInTheInfoWindow",
                  [](auto& s) { s.endpoint().addFault(Gen2Fault::disconnect(kInfo)); },
                  VX_IO_TIMEOUT, kEarlierIds, 2},
        ProbeCase{"HandshakeCannotBeSent",
                  [](auto& s) { ftdi().setWriteLimit(s.usb().adapter(), 0); }, VX_IO_WRITE_ERROR,
                  kEarlierIds, 0},
        ProbeCase{"UserAreaUnreadable",
                  [](auto&) { ftdi().failCall("FT_EE_UARead", VXFTDI_OTHER_ERROR, 1); },
                  VX_IO_OPEN_FAILED, kEarlierIds, 0},
        ProbeCase{"InvalidRecordKind", nullptr, VX_IO_INVALID_OPTION, kEarlierIds, 0,
                  {"P2", "Veltrax QMX2", 0x7003, record(2)}},
        ProbeCase{"AdapterHeldElsewhere", nullptr, VX_IO_OPEN_FAILED, kEarlierIds, 0,
                  {"P3", "Veltrax QMX2", 0x7004, {}, 0, VXFTDI_FLAG_OPENED}}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

TEST_F(UsbProbeTest, FramesWithoutEndBeforeTheHandshakeReplyEndAtADeadline) {
    const int adapter = sim_.attachUsb(qmx2()).adapter();
    sim_.endpoint().addFault(Gen2Fault::drop(kHandshake));
    std::mutex mutex;
    std::condition_variable stop;
    bool done = false;
    // Another frame well within every read time-out, for as long as the
    // probe listens.
    std::thread chatter([&] {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stop.wait_for(lock, 10ms, [&] { return done; }))
            sim_.endpoint().sendToHost(systemFrame(gen2::sysframe::kReady, {}));
    });
    ftdi().clearCallLog();
    const auto began = Clock::now();
    const ProbeOutcome outcome = probeDirectly("P1", kEarlierIds);
    const auto took = Clock::now() - began;
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    stop.notify_all();
    chatter.join();

    EXPECT_EQ(VX_IO_READ_ERROR, outcome.result);
    EXPECT_EQ(kEarlierIds, outcome.ids);
    EXPECT_LT(took, std::chrono::milliseconds(1500));
    EXPECT_GT(calls({"FT_Read"}).size(), 4u) << "frames of another type were read and skipped";
    expectClosed(adapter);
}

}  // namespace
}  // namespace usbtest
