#include <gtest/gtest.h>

#include <cerrno>
#include <future>

#include "Datagrams.h"
#include "LogCapture.h"
#include "MemoryNetwork.h"
#include "discovery/DiscoveryLog.h"
#include "discovery/Host.h"
#include "support/Wait.h"

using namespace veltraxnd;
using namespace std::chrono_literals;
using vxtest::DeviceAnswer;
using vxtest::messageOf;

namespace {

class DiscoveryHost : public ::testing::Test {
protected:
    void start() { host->Start(net->connect()); }
    void TearDown() override { host->Stop(); }

    // Answers each request of `op` with the bytes `reply` makes from its token.
    void answer(uint8_t op, std::function<std::vector<uint8_t>(const TokenBytes&)> reply) {
        net->setResponder([this, op, reply](const std::vector<uint8_t>& bytes) {
            const auto request = vxtest::decoded(bytes);
            if (request.OpCode == op) net->inject(reply(request.Token));
        });
    }

    std::shared_ptr<vxtest::MemoryNetwork> net = std::make_shared<vxtest::MemoryNetwork>();
    std::shared_ptr<Host> host = Host::Create();
    vxtest::InfoLog heard;
};

}  // namespace

TEST_F(DiscoveryHost, StartTwiceAndSendBeforeStartAreRefused) {
    EXPECT_EQ(messageOf<InvalidOperationException>([&] { host->Discover(AnyDeviceType, ""); }), "Host is not running");
    EXPECT_FALSE(host->IsRunning());
    start();
    EXPECT_TRUE(host->IsRunning());
    EXPECT_EQ(messageOf<InvalidOperationException>([&] { host->Start(net->connect()); }), "Host already running");
}

TEST_F(DiscoveryHost, DiscoverSendsOneRequestOnEveryNetworkWithAFreshToken) {
    start();
    host->Discover(AnyDeviceType, "SN-9");
    host->Discover(0x20001, "");
    ASSERT_TRUE(net->waitSent(2));
    const auto sent = net->sent();
    EXPECT_EQ(sent[0].networkId, 0u);
    const auto first = vxtest::decoded(sent[0].bytes);
    const auto second = vxtest::decoded(sent[1].bytes);
    EXPECT_EQ(first.OpCode, OpDiscoverRequest);
    EXPECT_EQ(first.DeviceType, AnyDeviceType);
    EXPECT_EQ(first.SerialNumber, "SN-9");
    EXPECT_TRUE(first.Data.empty());
    EXPECT_EQ(second.DeviceType, 0x20001u);
    EXPECT_NE(first.Token, second.Token);
    EXPECT_EQ(first.Token[6] & 0xF0, 0x40);
}

TEST_F(DiscoveryHost, RepliesAndInformsReachListenersWithSenderAndRecord) {
    host->AddDiscoverListener([&](const DiscoverInfo& info) {
        heard.add(info);
        return true;
    });
    start();
    const int64_t before = steadyNanoseconds();
    DeviceAnswer reply;
    reply.port = 4000;
    reply.protocolId = 0x2A;
    net->inject(vxtest::discoverDatagram(reply), {192, 0, 2, 7});
    DeviceAnswer inform = reply;
    inform.opCode = OpDiscoverInform;
    inform.available = false;
    net->inject(vxtest::discoverDatagram(inform));
    ASSERT_TRUE(heard.wait(2));

    const auto infos = heard.infos();
    EXPECT_EQ(infos[0].SerialNumber, "SN-1");
    EXPECT_EQ(infos[0].DeviceType, 0x20001u);
    EXPECT_EQ(infos[0].address, (IPv4Address{192, 0, 2, 7}));
    EXPECT_EQ(infos[0].ProtocolId, 0x2A);
    EXPECT_EQ(infos[0].Port, 4000);
    EXPECT_TRUE(infos[0].Available);
    EXPECT_EQ(infos[0].Info, "stage controller");
    EXPECT_TRUE(infos[0].isReply);
    EXPECT_GE(infos[0].lastSeen, before);
    EXPECT_FALSE(infos[1].isReply);
    EXPECT_FALSE(infos[1].Available);
}

TEST_F(DiscoveryHost, DiscoverRecordIsTakenAsFarAsItGoes) {
    host->AddDiscoverListener([&](const DiscoverInfo& info) {
        heard.add(info);
        return true;
    });
    start();
    // Too short for the fixed part, then an info length that does not fit.
    net->inject(vxtest::answerDatagram(OpDiscoverReply, {}, {5, 1, 0x10, 0x00}));
    net->inject(vxtest::answerDatagram(OpDiscoverReply, {}, {5, 1, 0x10, 0x00, 40, 'x', 'y', 0}));
    ASSERT_TRUE(heard.wait(2));
    const auto infos = heard.infos();
    EXPECT_EQ(infos[0].ProtocolId, 0);
    EXPECT_FALSE(infos[0].Available);
    EXPECT_EQ(infos[0].Port, 0);
    EXPECT_EQ(infos[1].ProtocolId, 5);
    EXPECT_TRUE(infos[1].Available);
    EXPECT_EQ(infos[1].Port, 16);
    EXPECT_EQ(infos[1].Info, "");
}

TEST_F(DiscoveryHost, ListenerThatReturnsFalseIsRemoved) {
    int onceCalls = 0;
    host->AddDiscoverListener([&](const DiscoverInfo&) {
        ++onceCalls;
        return false;
    });
    const uint64_t kept = host->AddDiscoverListener([&](const DiscoverInfo& info) {
        heard.add(info);
        return true;
    });
    EXPECT_EQ(kept, 2u);
    start();
    net->inject(vxtest::discoverDatagram({}));
    net->inject(vxtest::discoverDatagram({}));
    ASSERT_TRUE(heard.wait(2));
    EXPECT_EQ(onceCalls, 1);

    host->RemoveDiscoverListener(kept);
    vxtest::InfoLog later;
    host->AddDiscoverListener([&](const DiscoverInfo& info) {
        later.add(info);
        return true;
    });
    net->inject(vxtest::discoverDatagram({}));
    ASSERT_TRUE(later.wait(1));
    EXPECT_EQ(heard.infos().size(), 2u);
    EXPECT_EQ(onceCalls, 1);
}

TEST_F(DiscoveryHost, UndecodableDatagramsAreDropped) {
    host->AddDiscoverListener([&](const DiscoverInfo& info) {
        heard.add(info);
        return true;
    });
    start();
    net->inject({0xC2, 0x5D, 0x00});
    auto later = vxtest::discoverDatagram({});
    later[8] = 2;  // version 2
    net->inject(later);
    DeviceAnswer good;
    good.serial = "GOOD";
    net->inject(vxtest::discoverDatagram(good));
    ASSERT_TRUE(heard.wait(1));
    EXPECT_EQ(heard.infos().size(), 1u);
    EXPECT_EQ(heard.infos()[0].SerialNumber, "GOOD");
    EXPECT_TRUE(host->IsRunning());
}

TEST_F(DiscoveryHost, AnswersWithUnknownTokensChangeNothing) {
    start();
    TokenBytes stranger{};
    stranger.fill(0x77);
    net->setResponder([&](const std::vector<uint8_t>& bytes) {
        const auto token = vxtest::decoded(bytes).Token;
        net->inject(vxtest::answerDatagram(OpResult, stranger, {0, 0}));
        net->inject(vxtest::answerDatagram(OpConfiguration, stranger, {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
        net->inject(vxtest::answerDatagram(OpConfiguration, token, {1, 10, 0, 0, 5, 10, 0, 0, 1, 255, 0, 0, 0}));
    });
    const auto result = host->GetDeviceConfig(AnyDeviceType, "SN-1", 5s);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->result, ResultCode::Success);
    EXPECT_EQ(result->config.IP, (IPv4Address{10, 0, 0, 5}));
    EXPECT_TRUE(result->config.DHCP);
}

TEST_F(DiscoveryHost, RequestsArePairedWithTheirAnswersByToken) {
    start();
    answer(OpSetConfiguration, [](const TokenBytes& t) { return vxtest::answerDatagram(OpResult, t, {37, 0}); });
    EXPECT_EQ(host->SetDeviceConfig(AnyDeviceType, "SN-1", {}, 5s), ResultCode::CommandNotProcessable);
    const auto request = vxtest::decoded(net->sent().back().bytes);
    EXPECT_EQ(request.SerialNumber, "SN-1");
    EXPECT_EQ(request.Data.size(), 16u);  // 13 bytes, padded

    answer(OpSetDeviceInfo, [](const TokenBytes& t) { return vxtest::answerDatagram(OpResult, t, {0, 0}); });
    EXPECT_EQ(host->SetDeviceInfo(AnyDeviceType, "SN-1", "left stage", 5s), ResultCode::Success);

    // A Result answers a configuration read with its code and no configuration.
    answer(OpGetConfiguration, [](const TokenBytes& t) { return vxtest::answerDatagram(OpResult, t, {31, 0}); });
    const auto denied = host->GetDeviceConfig(AnyDeviceType, "SN-1", 5s);
    ASSERT_TRUE(denied.has_value());
    EXPECT_EQ(denied->result, ResultCode::PermissionDenied);
    EXPECT_EQ(denied->config, DeviceConfig{});
}

TEST_F(DiscoveryHost, UndecodableAnswersFailTheirRequest) {
    start();
    answer(OpResetConfiguration, [](const TokenBytes& t) { return vxtest::answerDatagram(OpResult, t, {}); });
    EXPECT_EQ(messageOf<ProtocolException>([&] { host->ResetDeviceConfig(AnyDeviceType, "SN-1", 5s); }),
              "Invalid Result packet");
    answer(OpGetConfiguration, [](const TokenBytes& t) { return vxtest::answerDatagram(OpConfiguration, t, {1, 2}); });
    EXPECT_EQ(messageOf<ProtocolException>([&] { host->GetDeviceConfig(AnyDeviceType, "SN-1", 5s); }),
              "Invalid Configuration packet");
}

TEST_F(DiscoveryHost, UnansweredRequestTimesOutAndItsLateAnswerIsIgnored) {
    start();
    EXPECT_FALSE(host->ResetDeviceConfig(AnyDeviceType, "SN-1", 50ms).has_value());
    const auto token = vxtest::decoded(net->sent().back().bytes).Token;
    net->inject(vxtest::answerDatagram(OpResult, token, {0, 0}));
    net->inject(vxtest::discoverDatagram({}));
    host->AddDiscoverListener([&](const DiscoverInfo& info) {
        heard.add(info);
        return true;
    });
    net->inject(vxtest::discoverDatagram({}));
    ASSERT_TRUE(heard.wait(1));
    EXPECT_TRUE(host->IsRunning());
}

TEST_F(DiscoveryHost, StopCancelsWaitingRequests) {
    start();
    auto pending = std::async(std::launch::async, [&] {
        return messageOf<RequestCancelledException>([&] { host->GetDeviceConfig(AnyDeviceType, "SN-1", 10s); });
    });
    ASSERT_TRUE(net->waitSent(1));
    host->Stop();
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(pending.get(), "Cancelled");
}

TEST_F(DiscoveryHost, StopWhileReceiveWaitsReturnsPromptly) {
    start();
    ASSERT_TRUE(net->waitReceiving());
    const auto begin = std::chrono::steady_clock::now();
    host->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_FALSE(host->IsRunning());
    EXPECT_TRUE(net->waitClosed());
    host->Stop();  // again: nothing to do
}

TEST_F(DiscoveryHost, ReceiveFailureEndsTheThreadUntilRestarted) {
    start();
    net->failReceive(EIO);
    ASSERT_TRUE(vxtest::waitUntil([&] { return !host->IsRunning(); }));
    ASSERT_TRUE(host->LastError());
    EXPECT_EQ(messageOf<NetworkException>([&] { std::rethrow_exception(host->LastError()); }),
              "Could not receive datagram: " + systemMessage(EIO));

    // The finished connection drops later sends.
    host->Discover(AnyDeviceType, "");
    EXPECT_TRUE(net->sent().empty());

    host->Stop();
    EXPECT_FALSE(host->LastError());
    start();
    host->Discover(AnyDeviceType, "");
    EXPECT_EQ(net->sent().size(), 1u);
}

TEST_F(DiscoveryHost, StopFromAListenerLetsTheReceiveThreadEnd) {
    vxtest::Latch<bool> stopped;
    host->AddDiscoverListener([&](const DiscoverInfo&) {
        host->Stop();
        stopped.set(true);
        return true;
    });
    start();
    net->inject(vxtest::discoverDatagram({}));
    ASSERT_TRUE(stopped.wait(5s));
    EXPECT_FALSE(host->IsRunning());
    EXPECT_TRUE(net->waitClosed());
    start();  // a new connection after such a stop
    EXPECT_TRUE(host->IsRunning());
}

TEST_F(DiscoveryHost, LastOwnerMayLetGoOnTheReceiveThread) {
    auto owner = std::make_shared<std::shared_ptr<Host>>(std::move(host));
    host = Host::Create();  // for TearDown
    vxtest::Latch<bool> released;
    (*owner)->AddDiscoverListener([owner = owner.get(), &released](const DiscoverInfo&) {
        owner->reset();
        released.set(true);
        return true;
    });
    (*owner)->Start(net->connect());
    net->inject(vxtest::discoverDatagram({}));
    ASSERT_TRUE(released.wait(5s));
    EXPECT_TRUE(net->waitClosed());
}


TEST_F(DiscoveryHost, PacketsAreLoggedOnlyWithASink) {
    EXPECT_FALSE(DiscoveryLog::enabled(DiscoveryLog::Errors));
    start();
    {
        vxtest::LogCapture log;
        host->AddDiscoverListener([&](const DiscoverInfo& info) {
            heard.add(info);
            return true;
        });
        host->Send(makeDiscoverRequest(AnyDeviceType, "", {}));
        net->inject({1, 2, 3}, {10, 1, 2, 3}, 2);
        net->inject(vxtest::answerDatagram(OpDiscoverReply, {}, {1, 0, 1, 0, 0, 0}), {10, 1, 2, 3}, 2);
        ASSERT_TRUE(heard.wait(1));
        const auto lines = log.taken();
        ASSERT_EQ(lines.size(), 5u);
        const std::string token = tokenText({});
        EXPECT_EQ(lines[0], "2 Host sending packet over mem: VX_ND_Packet { OpCode: Discover Request, Version: 1, "
                            "SerialNumber: \"\", Token: " + token + " }");
        EXPECT_EQ(lines[1].rfind("4 Host sending raw packet over mem: VX_ND_RawPacket { size: 96, data: c2 5d 00 21 ", 0),
                  0u);
        EXPECT_EQ(lines[2], "4 Host got invalid raw packet over net2 from 10.1.2.3: VX_ND_RawPacket { size: 3, data: 01 02 03 }");
        EXPECT_EQ(lines[3].rfind("4 Host got valid raw packet over net2 from 10.1.2.3: ", 0), 0u);
        EXPECT_EQ(lines[4], "2 Host got packet over net2 from 10.1.2.3: VX_ND_Packet { OpCode: Discover Reply, Version: 1, "
                            "SerialNumber: \"\", Token: " + token + ", ProtocolId: 0x1, Port: 1, Available: No, Info:  }");
    }
    EXPECT_FALSE(DiscoveryLog::enabled(DiscoveryLog::Errors));
}
