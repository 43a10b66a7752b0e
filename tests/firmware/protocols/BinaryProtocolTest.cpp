#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "firmware/FirmwareTestSupport.h"
#include "QMXBinaryProtocol.h"
#include "SystemConnection.h"
#include "io/ftdi/UsbTestSupport.h"
#include "sim/ControllerModel.h"
#include "sim/FtdiAttach.h"
#include "sim/Gen1Endpoint.h"
#include "sim/TcpServer.h"

using namespace std::chrono_literals;

namespace {

using fwtest::throwsUpdate;
using vxfw::QMXBinaryProtocol;
using vxsim::Bytes;
using vxsim::ControllerModel;
using vxsim::Fault;
using vxsim::gen1Packet;
using Tuning = ControllerModel::Table;

enum class Carrier { Tcp, Usb };

std::string carrierName(const ::testing::TestParamInfo<Carrier>& info) {
    return info.param == Carrier::Tcp ? "Tcp" : "Usb";
}

constexpr uint32_t kChipId = 777;
constexpr uint32_t kReplyTimeoutMs = 3000;
const Bytes kNoBlock(8, 0);

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes pattern(size_t count, uint8_t first) {
    Bytes bytes(count);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

// Channels 0x2001, 0x3001, 0x2002 and a hand control module of type 0x3D01.
vxsim::SystemSetup systemSetup() {
    vxsim::SystemSetup setup = vxsim::SystemSetup::standard(3, true);
    const uint16_t words[] = {0x2001, 0x3001, 0x2002};
    for (size_t i = 0; i < 3; ++i) setup.channels[i].moduleWord = words[i];
    setup.hcmEepromType = 0x3D01;
    return setup;
}

// One model behind both carriers: the Ethernet port greets each connection
// with the hello packet, the USB adapter shows one byte before the answer
// to a reset.
struct Peers {
    Peers() {
        server.setGreeting(vxsim::gen1Hello());
        usbEndpoint.setJunkAfterReset(true);
    }
    ControllerModel model{systemSetup()};
    vxsim::Gen1Endpoint tcpEndpoint{model};
    vxsim::Gen1Endpoint usbEndpoint{model};
    vxsim::TcpServer server{tcpEndpoint};
    vxsim::FtdiAttachment usb{usbEndpoint, {"VX000777", vxfw::USBPort::kProductName, kChipId}};
};

class BinaryProtocolTest : public usbtest::UsbTest, public ::testing::WithParamInterface<Carrier> {
protected:
    void SetUp() override {
        UsbTest::SetUp();
        peers = std::make_unique<Peers>();
        if (GetParam() == Carrier::Tcp) {
            connection.openPort(peers->server.locator());
            connection.setTimeout(kReplyTimeoutMs);
            // The greeting, which the connection handshake reads in the program.
            EXPECT_EQ(receive(3), vxsim::gen1Hello());
        } else {
            connection.openPort("usb:id:" + std::to_string(kChipId));
        }
        connection.setTimeout(kReplyTimeoutMs);
        protocol.setPort(&connection);
        ASSERT_EQ(protocol.getNumberOfChannels(), 3);
        endpoint().clearRequests();
    }
    void TearDown() override {
        connection.close();
        peers.reset();
        UsbTest::TearDown();
    }

    vxsim::Gen1Endpoint& endpoint() {
        return GetParam() == Carrier::Tcp ? peers->tcpEndpoint : peers->usbEndpoint;
    }
    ControllerModel& model() { return peers->model; }
    vxfw::StreamPortBase& port() {
        if (GetParam() == Carrier::Tcp) return connection.netPort();
        return connection.usbPort();
    }
    Bytes receive(size_t count) {
        Bytes bytes(count);
        connection.receive(static_cast<uint32_t>(count), bytes.data());
        return bytes;
    }

    std::unique_ptr<Peers> peers;
    vxfw::SystemConnection connection;
    QMXBinaryProtocol protocol;
};

TEST_P(BinaryProtocolTest, EachOperationSendsItsRequestAndDecodesItsAnswer) {
    ControllerModel& m = model();
    m.setSensorType(2, 7);
    m.setSensorEnabled(2);
    m.setSynchronous(false);
    m.setTableValue(0, Tuning::Tuning, 6, -1500);
    m.setTableValue(1, Tuning::Tuning, 6, -7);
    const Bytes block = pattern(8, 0xC0);
    m.writeImage(16, block.data(), block.size());
    const Bytes typeQuery = gen1Packet(0x0002, 0x2B, concat({{0x01}, Bytes(10, 0)}));
    using P = QMXBinaryProtocol;
    struct Case {
        const char* what;
        std::function<int64_t(P&)> call;
        std::vector<Bytes> requests;
        int64_t result;
    };
    const Case cases[] = {
        {"channel list", [](P& p) { return p.getNumberOfChannels(); },
         {gen1Packet(0x0008, 0x10)}, 3},
        {"communication mode", [](P& p) { p.setCommunicationMode(); return 0; },
         {gen1Packet(0x0008, 0x10), gen1Packet(0x0000, 0x32, {0x03, 0x00})}, 0},
        {"sensor type", [](P& p) { return p.getSensorType(2); },
         {gen1Packet(0x2002, 0x72, {0x01, 0x00})}, 7},
        {"set sensor type", [](P& p) { p.setSensorType(1, 9); return 0; },
         {gen1Packet(0x3001, 0x61, {0x09})}, 0},
        {"sensor mode", [](P& p) { return p.getSensorEnabled(); },
         {gen1Packet(0x2001, 0xA1, {0xFF})}, 2},
        {"set sensor mode: channels of class 2 only", [](P& p) { p.setSensorEnabled(0); return 0; },
         {gen1Packet(0x2001, 0x91, {0x00}), gen1Packet(0x2002, 0x91, {0x00})}, 0},
        {"read tuning", [](P& p) { return p.readTuningParameter(0, 6); },
         {gen1Packet(0x2001, 0x51, {0x06})}, -1500},
        {"scale offset", [](P& p) { return p.getPhysicalScaleOffset(1); },
         {gen1Packet(0x3001, 0x51, {0x06})}, -7},
        {"write tuning", [](P& p) { p.writeTuningParameter(2, 2, 1000); return 0; },
         {gen1Packet(0x2002, 0x55, {0x02, 0xE8, 0x03, 0x00, 0x00})}, 0},
        {"amplitude detection on", [](P& p) { p.setDynamicAmplitudeDetection(0, true); return 0; },
         {gen1Packet(0x2001, 0x55, {0x04, 0x01, 0x00, 0x00, 0x00})}, 0},
        {"module present", [](P& p) { return p.isHCMPresent(); }, {typeQuery}, 1},
        {"EEPROM type",
         [](P& p) {
             uint32_t type = 0, size = 0;
             p.readHCMEepromType(type, size);
             return int64_t{type} << 32 | size;
         },
         {typeQuery}, int64_t{0x3D01} << 32 | 2048},
        {"block read",
         [&](P& p) {
             Bytes data(8);
             p.readHCMConfigBlock(16, data.data());
             return data == block;
         },
         {gen1Packet(0x0002, 0x2B, concat({{0x10, 0x10, 0x00}, kNoBlock}))}, 1},
        {"block write", [&](P& p) { p.writeHCMConfigBlock(2040, block.data()); return 0; },
         {gen1Packet(0x0002, 0x2B, concat({{0x11, 0xF8, 0x07}, block}))}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        endpoint().clearRequests();
        connection.setTimeout(kReplyTimeoutMs);
        int64_t result = -1;
        EXPECT_NO_THROW(result = c.call(protocol));
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(endpoint().requests(), c.requests);
    }
    EXPECT_TRUE(m.synchronous());
    EXPECT_EQ(m.sensorType(1), 9);
    EXPECT_EQ(m.sensorEnabled(), 0);
    EXPECT_EQ(m.tableValue(2, Tuning::Tuning, 2), 1000);
    EXPECT_EQ(m.tableValue(0, Tuning::Tuning, 4), 1);
    const Bytes image = m.image();
    EXPECT_EQ(Bytes(image.end() - 8, image.end()), block);

    // Over USB the byte before the hello is dropped; over TCP there is none.
    endpoint().clearRequests();
    protocol.reset();
    EXPECT_EQ(endpoint().requests(), std::vector<Bytes>{gen1Packet(0x0008, 0x30)});
    EXPECT_EQ(m.sensorEnabled(), 1);
    EXPECT_EQ(port().timeout(), QMXBinaryProtocol::kResetTimeoutMs);
}

TEST_P(BinaryProtocolTest, AnswersOfTheWrongShapeAndRefusedArguments) {
    using vxsim::RequestMatch;
    struct Case {
        const char* what;
        std::vector<Fault> faults;
        std::function<int64_t(QMXBinaryProtocol&)> call;
        int32_t code;  // 0: the call returns `result`
        int64_t result = 0;
        size_t requests = 1;
    };
    const RequestMatch mode{0x0000, 0x32};
    const RequestMatch tuning{0x2001, 0x51};
    const RequestMatch list{0x0008, 0x10};
    const Bytes ack = gen1Packet(0x2001, 0xF0);
    const auto setMode = [](QMXBinaryProtocol& p) { p.setCommunicationMode(); return 0; };
    const auto frequency = [](QMXBinaryProtocol& p) { return p.readTuningParameter(0, 2); };
    const auto refused = [](std::function<void(QMXBinaryProtocol&)> call) {
        return [call](QMXBinaryProtocol& p) { call(p); return 0; };
    };
    const Case cases[] = {
        {"count 0, then a channel", {Fault::replace(list, gen1Packet(0x0008, 0x11, {0}))},
         [](QMXBinaryProtocol& p) {
             const int32_t count = p.getNumberOfChannels();
             EXPECT_TRUE(p.channels().empty());
             EXPECT_TRUE(throwsUpdate([&] { p.getSensorType(0); }, vxfw::kInvalidParameter));
             EXPECT_TRUE(throwsUpdate([&] { p.getSensorEnabled(); }, vxfw::kInvalidParameter));
             return count;
         },
         0, 0},
        {"three acknowledgements from any address",
         {Fault::replace(mode, concat({gen1Packet(0x0008, 0xF0), gen1Packet(0x1234, 0xF0),
                                       gen1Packet(0x0002, 0xF0)}))},
         setMode, 0, 0, 2},
        {"a refusal among the acknowledgements",
         {Fault::replace(mode, concat({ack, ack, gen1Packet(0x2002, 0xF1, {0x80})}))}, setMode,
         vxfw::kProtocolError, 0, 2},
        {"sensor mode without a channel of class 2",
         {Fault::replace(list, concat({gen1Packet(0x0008, 0x11, {1}),
                                       gen1Packet(0x0008, 0x12, {0x01, 0x30})}))},
         [](QMXBinaryProtocol& p) {
             p.getNumberOfChannels();
             p.setSensorEnabled(1);
             return 0;
         },
         0, 0},
        {"sensor type 256", {}, refused([](QMXBinaryProtocol& p) { p.setSensorType(0, 256); }),
         vxfw::kInvalidParameter, 0, 0},
        {"parameter 256 written", {},
         refused([](QMXBinaryProtocol& p) { p.writeTuningParameter(0, 256, 1); }),
         vxfw::kInvalidParameter, 0, 0},
        {"parameter 256 read", {},
         refused([](QMXBinaryProtocol& p) { p.readTuningParameter(0, 256); }),
         vxfw::kInvalidParameter, 0, 0},
        {"channel 3 of 3", {}, refused([](QMXBinaryProtocol& p) { p.getSensorType(3); }),
         vxfw::kInvalidParameter, 0, 0},
        {"channel -1", {}, refused([](QMXBinaryProtocol& p) { p.setSensorType(-1, 1); }),
         vxfw::kInvalidParameter, 0, 0},
        {"tuning payload 02 E8 03 00 00",
         {Fault::replace(tuning, gen1Packet(0x2001, 0x55, {0x02, 0xE8, 0x03, 0x00, 0x00}))},
         frequency, 0, 1000},
        {"tuning echo of another parameter",
         {Fault::replace(tuning, gen1Packet(0x2001, 0x55, {0x04, 0xE8, 0x03, 0x00, 0x00}))},
         frequency, vxfw::kProtocolError},
        {"tuning from another channel",
         {Fault::replace(tuning, gen1Packet(0x2002, 0x55, {0x02, 0xE8, 0x03, 0x00, 0x00}))},
         frequency, vxfw::kProtocolError},
        {"acknowledgement from another channel",
         {Fault::replace({0x2001, 0x61}, gen1Packet(0x2002, 0xF0))},
         refused([](QMXBinaryProtocol& p) { p.setSensorType(0, 1); }), vxfw::kProtocolError},
        {"module answers with any address",
         {Fault::replace({0x0002, 0x2B}, gen1Packet(0x1234, 0x2B, Bytes(11, 0)))},
         [](QMXBinaryProtocol& p) { return p.isHCMPresent(); }, 0, 1},
        {"module answers with another opcode",
         {Fault::replace({0x0002, 0x2B}, gen1Packet(0x0002, 0xF0))},
         [](QMXBinaryProtocol& p) { return p.isHCMPresent(); }, 0, 0},
        {"EEPROM type 02 3D",
         {Fault::replace({0x0002, 0x2B}, gen1Packet(0x0002, 0x2B, concat({{0x01, 0x02, 0x3D},
                                                                          Bytes(8, 0)})))},
         [](QMXBinaryProtocol& p) {
             uint32_t type = 0, size = 7;
             EXPECT_TRUE(throwsUpdate([&] { p.readHCMEepromType(type, size); },
                                      vxfw::kConfigurationError, "unknown configuration code"));
             EXPECT_EQ(size, 7u);
             return type;
         },
         0, 0x3D02},
        {"block from another module",
         {Fault::replace({0x0002, 0x2B, 0x10}, gen1Packet(0x0008, 0x2B, Bytes(11, 0)))},
         refused([](QMXBinaryProtocol& p) {
             uint8_t data[8];
             p.readHCMConfigBlock(0, data);
         }),
         vxfw::kProtocolError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        endpoint().clearFaults();
        ASSERT_EQ(protocol.getNumberOfChannels(), 3);
        for (const Fault& fault : c.faults) endpoint().addFault(fault);
        endpoint().clearRequests();
        connection.setTimeout(kReplyTimeoutMs);
        if (c.code == 0) {
            int64_t result = -1;
            EXPECT_NO_THROW(result = c.call(protocol));
            EXPECT_EQ(result, c.result);
        } else {
            EXPECT_TRUE(throwsUpdate([&] { c.call(protocol); }, c.code));
        }
        EXPECT_EQ(endpoint().requestCount(), c.requests);
    }
}

TEST_P(BinaryProtocolTest, NoHandControlModuleAnswersWithinATenthOfASecond) {
    endpoint().addFault(Fault::silent({0x0002, 0x2B}));
    bool present = true;
    const auto took = fwtest::timed([&] { present = protocol.isHCMPresent(); });
    EXPECT_FALSE(present);
    EXPECT_GE(took, 100ms);
    EXPECT_LT(took, 1000ms);
    EXPECT_EQ(port().timeout(), QMXBinaryProtocol::kHandControlTimeoutMs);
}

TEST_P(BinaryProtocolTest, TheWholeImageInBlocksIsTheSimulators) {
    const Bytes stored = pattern(2048, 3);
    model().writeImage(0, stored.data(), stored.size());
    uint32_t type = 0, size = 0;
    protocol.readHCMEepromType(type, size);
    EXPECT_EQ(port().timeout(), QMXBinaryProtocol::kHandControlTimeoutMs);
    // How long the blocks may take is the caller's choice; a loaded machine
    // gets more than the tenth of a second the type query left.
    connection.setTimeout(kReplyTimeoutMs);
    Bytes image(size);
    for (uint32_t offset = 0; offset < size; offset += QMXBinaryProtocol::kBlockSize)
        protocol.readHCMConfigBlock(offset, image.data() + offset);
    EXPECT_EQ(image, model().image());

    const Bytes written = pattern(2048, 101);
    for (uint32_t offset = 0; offset < size; offset += QMXBinaryProtocol::kBlockSize)
        protocol.writeHCMConfigBlock(offset, written.data() + offset);
    EXPECT_EQ(model().image(), written);

    // The slot requests serve the same image: 9 slots of 128 bytes.
    EXPECT_EQ(model().slot(1), Bytes(written.begin() + 128, written.begin() + 256));
    const Bytes slotRead = gen1Packet(0x0002, 0x1C, concat({{0x02, 0x01, 0x08, 0x00}, kNoBlock}));
    connection.send(static_cast<uint32_t>(slotRead.size()), slotRead.data());
    EXPECT_EQ(receive(15), gen1Packet(0x0002, 0x1C, concat({{0x02, 0x01, 0x08, 0x00},
                                                             Bytes(written.begin() + 136,
                                                                   written.begin() + 144)})));
    // A block beyond the image is refused.
    uint8_t data[8];
    EXPECT_TRUE(
        throwsUpdate([&] { protocol.readHCMConfigBlock(2048, data); }, vxfw::kProtocolError));
}

TEST_P(BinaryProtocolTest, TheProbeAfterALoneZeroGetsTheInterfaceStatus) {
    const uint8_t zero = 0x00;
    connection.send(1, &zero);
    connection.setTimeout(150);
    EXPECT_TRUE(throwsUpdate([&] { receive(1); }, vxfw::kTimeout));
    const uint8_t probe[] = {0x0F, 0x80};
    connection.send(2, probe);
    connection.setTimeout(kReplyTimeoutMs);
    EXPECT_EQ(receive(4), (Bytes{0x08, 0x00, 0xF1, 0x80}));
}

INSTANTIATE_TEST_SUITE_P(Carriers, BinaryProtocolTest,
                         ::testing::Values(Carrier::Tcp, Carrier::Usb), carrierName);

TEST(HandControlImageLayout, FollowsTheEepromType) {
    struct Case {
        uint16_t type;
        size_t imageSize;
        uint16_t slotSize;
        uint8_t slotCount;
    };
    const Case cases[] = {
        {0x3D01, 2048, 128, 9},
        {0xFD01, 2048, 500, 3},
        {0x0100, 40, 10, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        vxsim::SystemSetup setup = vxsim::SystemSetup::standard(1, true);
        setup.hcmEepromType = c.type;
        setup.hcmSlotSize = 10;
        setup.hcmSlotCount = 4;
        ControllerModel model(setup);
        const Bytes image = pattern(c.imageSize, 1);
        EXPECT_EQ(model.writeImage(0, image.data(), image.size()), 0);
        EXPECT_EQ(model.image(), image);
        EXPECT_EQ(model.slotSize(), c.slotSize);
        const size_t last = c.slotCount - 1u;
        EXPECT_EQ(model.slot(static_cast<uint8_t>(last)),
                  Bytes(image.begin() + static_cast<ptrdiff_t>(last * c.slotSize),
                        image.begin() + static_cast<ptrdiff_t>((last + 1) * c.slotSize)));
        EXPECT_TRUE(model.slot(c.slotCount).empty());
    }
}

}  // namespace
