#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "sim/CaptureLink.h"
#include "sim/Gen1Endpoint.h"

using namespace std::chrono_literals;
using vxsim::Bytes;
using vxsim::ControllerModel;
using vxsim::Fault;
using vxsim::gen1Packet;
using vxsim::Gen1Endpoint;
using vxsim::RequestMatch;
using vxsim::SystemSetup;

namespace {

using simtest::CaptureLink;

class Gen1EndpointTest : public ::testing::Test {
protected:
    Gen1EndpointTest() : model(SystemSetup::standard(3, true, 1)), endpoint(model) {
        endpoint.onConnect(link);
    }
    ~Gen1EndpointTest() override { endpoint.onDisconnect(link); }

    void request(const Bytes& bytes) { endpoint.onReceive(link, bytes.data(), bytes.size()); }
    // Sends a request and gives all that was answered at once.
    Bytes exchange(const Bytes& bytes) {
        link.clear();
        request(bytes);
        return link.all();
    }
    uint16_t word(size_t channel) { return model.setup().channels[channel].moduleWord; }

    ControllerModel model;
    Gen1Endpoint endpoint;
    CaptureLink link;
};

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

}  // namespace

TEST_F(Gen1EndpointTest, InterfaceModuleListsTheChannelsInOrder) {
    EXPECT_EQ(exchange(gen1Packet(0x0008, 0x10)),
              concat({gen1Packet(0x0008, 0x11, {3}),
                      gen1Packet(0x0008, 0x12, {uint8_t(word(0)), uint8_t(word(0) >> 8)}),
                      gen1Packet(0x0008, 0x12, {uint8_t(word(1)), uint8_t(word(1) >> 8)}),
                      gen1Packet(0x0008, 0x12, {uint8_t(word(2)), uint8_t(word(2) >> 8)})}));
    EXPECT_EQ(link.writes().size(), 4u) << "one write per answer unless merged";
}

TEST_F(Gen1EndpointTest, SynchronousModeAcknowledgesCommandsAsynchronousOnlyRefusals) {
    const uint16_t ch0 = word(0);
    // The mode packet: in synchronous mode every channel confirms.
    EXPECT_EQ(exchange(gen1Packet(0x0000, 0x32, {0x03, 0x00})),
              concat({gen1Packet(ch0, 0xF0), gen1Packet(word(1), 0xF0), gen1Packet(word(2), 0xF0)}));
    EXPECT_EQ(exchange(gen1Packet(ch0, 0x80)), gen1Packet(ch0, 0xF0));

    EXPECT_TRUE(exchange(gen1Packet(0x0000, 0x32, {0x01, 0x01})).empty());
    EXPECT_FALSE(model.synchronous());
    EXPECT_TRUE(exchange(gen1Packet(ch0, 0x80)).empty());
    EXPECT_EQ(exchange(gen1Packet(ch0, 0x86, {0x01, 0x00, 0x00, 0x10, 0xE8, 0x03})),
              gen1Packet(ch0, 0xF1, {131})) << "amplitude 4096 is refused";
    EXPECT_EQ(exchange(gen1Packet(ch0, 0xA0)), gen1Packet(ch0, 0x81, {0}))
        << "queries are answered in both modes";
}

TEST_F(Gen1EndpointTest, VersionsFeaturesAndModuleKindsAnswerPerModule) {
    EXPECT_EQ(exchange(gen1Packet(0x0008, 0x18, Bytes(8, 0))),
              gen1Packet(0x0008, 0x18, {0x10, 0x00, 0x01, 0x02, 0, 0, 0, 0}));
    EXPECT_EQ(exchange(gen1Packet(word(0), 0x18, Bytes(8, 0))),
              gen1Packet(word(0), 0x18, {10, 0x00, 0x02, 0x01, 20, 0x00, 0x00, 0x01}));
    EXPECT_EQ(exchange(gen1Packet(word(0), 0x93, {0x02, 0xFF, 0})),
              gen1Packet(word(0), 0x93, {0, 0xFF, 3}));
    EXPECT_EQ(exchange(gen1Packet(word(0), 0x93, {0x02, 0x00, 0})),
              gen1Packet(word(0), 0x93, {0, 0x00, 0x10}));
    // 0xC0 answers the voltage level of a positioner, the opening of a gripper.
    EXPECT_EQ(exchange(gen1Packet(word(2), 0xC0)), gen1Packet(word(2), 0x92, {0, 0}));
    EXPECT_EQ(exchange(gen1Packet(word(0), 0x19, Bytes(9, 0))), gen1Packet(word(0), 0xF1, {240}));
    EXPECT_EQ(exchange(gen1Packet(word(0), 0x7F, Bytes(15, 0))), gen1Packet(word(0), 0xF1, {240}));
    EXPECT_TRUE(exchange(gen1Packet(0x1234, 0x80)).empty()) << "no module at that address";
}

TEST_F(Gen1EndpointTest, ChannelWithoutFirmwareRefusesWithCodeF0) {
    SystemSetup setup = SystemSetup::standard(1, false);
    setup.channels[0].reportsFirmware = false;
    ControllerModel silentModel(setup);
    Gen1Endpoint other(silentModel);
    CaptureLink host;
    other.onConnect(host);
    const Bytes request = gen1Packet(setup.channels[0].moduleWord, 0x18, Bytes(8, 0));
    other.onReceive(host, request.data(), request.size());
    EXPECT_EQ(host.all(), gen1Packet(setup.channels[0].moduleWord, 0xF1, {0xF0}));
    // Without a hand control module nothing answers at 0x0002.
    host.clear();
    const Bytes hcm = gen1Packet(0x0002, 0x18, Bytes(8, 0));
    other.onReceive(host, hcm.data(), hcm.size());
    EXPECT_TRUE(host.all().empty());
    other.onDisconnect(host);
}

TEST_F(Gen1EndpointTest, RequestsSplitAndMergedByTheHostAreReassembled) {
    const Bytes two = concat({gen1Packet(word(0), 0xA0), gen1Packet(word(1), 0x90)});
    for (uint8_t byte : two) request({byte});
    ASSERT_EQ(endpoint.requestCount(), 2u);
    EXPECT_EQ(endpoint.requests()[0], gen1Packet(word(0), 0xA0));
    EXPECT_EQ(endpoint.requests()[1], gen1Packet(word(1), 0x90));

    endpoint.clearRequests();
    request(concat({two, two}));
    EXPECT_EQ(endpoint.requestCount(), 4u);
}

TEST_F(Gen1EndpointTest, WritesAreCutIntoChunksOrMergedPerRequest) {
    endpoint.setChunkSize(1);
    exchange(gen1Packet(0x0008, 0x10));
    EXPECT_EQ(link.writes().size(), 4u + 3 * 5) << "one write per byte";

    endpoint.setChunkSize(0);
    endpoint.setMergeAnswers(true);
    Bytes merged = exchange(gen1Packet(0x0008, 0x10));
    EXPECT_EQ(link.writes().size(), 1u);
    EXPECT_EQ(merged.size(), 4u + 3 * 5);

    endpoint.setChunkSize(7);
    exchange(gen1Packet(0x0008, 0x10));
    EXPECT_EQ(link.writes().size(), 3u) << "19 bytes in pieces of 7";
}

TEST_F(Gen1EndpointTest, ResetAnswersWithHelloAndOptionallyAJunkByte) {
    model.setSynchronous(false);
    EXPECT_EQ(exchange(gen1Packet(0x0008, 0x30)), vxsim::gen1Hello());
    EXPECT_TRUE(model.synchronous()) << "a reset returns to the power-up state";
    endpoint.setJunkAfterReset(true);
    EXPECT_EQ(exchange(gen1Packet(0x0008, 0x30)), concat({{0x00}, vxsim::gen1Hello()}));
}

struct FaultCase {
    const char* name;
    Fault fault;
    Bytes expected;  // answer to a status request of channel 0 (module word 0x2100)
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class Gen1EndpointFaults : public Gen1EndpointTest,
                           public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Gen1EndpointFaults, ApplyToMatchingRequestsAsOftenAsAsked) {
    const uint16_t ch0 = word(0);
    ASSERT_EQ(ch0, 0x2100);
    endpoint.addFault(GetParam().fault);
    EXPECT_EQ(exchange(gen1Packet(ch0, 0xA0)), GetParam().expected);
    EXPECT_EQ(exchange(gen1Packet(word(1), 0xA0)), gen1Packet(word(1), 0x81, {0}))
        << "other addresses are not matched";
    EXPECT_EQ(exchange(gen1Packet(ch0, 0xA0)), gen1Packet(ch0, 0x81, {0})) << "used up";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Gen1EndpointFaults,
    ::testing::Values(
        FaultCase{"Silent", Fault::silent({0x2100, 0xA0}, 1), {}},
        FaultCase{"Error", Fault::error({0x2100}, 150, 1), gen1Packet(0x2100, 0xF1, {150})},
        FaultCase{"Replace", Fault::replace({0x2100, 0xA0}, gen1Packet(0x0008, 0xF0), 1),
                  gen1Packet(0x0008, 0xF0)},
        FaultCase{"Append", Fault::append({-1, 0xA0, -1}, {0xEE}, 1),
                  concat({gen1Packet(0x2100, 0x81, {0}), {0xEE}})}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST_F(Gen1EndpointTest, LateAnswersComeFromTheWorkerAfterTheirDelay) {
    endpoint.addFault(Fault::late({word(0), 0xA0}, 100ms, 1));
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_TRUE(exchange(gen1Packet(word(0), 0xA0)).empty());
    ASSERT_TRUE(endpoint.waitForLateAnswers(1, 2s));
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 100ms);
    EXPECT_EQ(link.all(), gen1Packet(word(0), 0x81, {0}));
}

TEST_F(Gen1EndpointTest, DisconnectFaultClosesTheLinkInsteadOfAnswering) {
    endpoint.addFault(Fault::disconnect({-1, 0x90, -1}));
    EXPECT_TRUE(exchange(gen1Packet(word(0), 0x90)).empty());
    EXPECT_TRUE(link.closed());
}

TEST_F(Gen1EndpointTest, SubCommandsAreMatchedOnTheFirstPayloadByte) {
    endpoint.addFault(Fault::silent({word(0), 0x65, 0x02}));
    EXPECT_TRUE(exchange(gen1Packet(word(0), 0x65, {0x02, 0, 0, 0, 0})).empty());
    EXPECT_EQ(exchange(gen1Packet(word(0), 0x65, {0x01, 0x10, 0, 0, 0})), gen1Packet(word(0), 0xF0));
}

TEST_F(Gen1EndpointTest, MovementCompletionIsReportedToTheHost) {
    const uint16_t ch0 = word(0);
    exchange(gen1Packet(0x0000, 0x32, {0x01, 0x01}));
    exchange(gen1Packet(ch0, 0x32, {0x02, 0x02}));
    // A 100 ms movement: its end cannot come with the (empty) answer.
    EXPECT_TRUE(exchange(gen1Packet(ch0, 0xB6, {0x40, 0x42, 0x0F, 0, 0, 0})).empty());
    ASSERT_TRUE(link.waitWrites(1));
    EXPECT_EQ(link.all(), gen1Packet(ch0, 0xE0));
}

TEST_F(Gen1EndpointTest, TriggerReportsChannelsThatAskedForIt) {
    const uint16_t ch0 = word(0);
    exchange(gen1Packet(0x0000, 0x32, {0x01, 0x01}));
    exchange(gen1Packet(ch0, 0x32, {0x10, 0x10}));
    exchange(gen1Packet(ch0, 0x15, {0x01, 7, 0, 0, 0}));
    EXPECT_EQ(exchange(gen1Packet(0x0000, 0xB1, {1})), gen1Packet(ch0, 0xD0));
}
