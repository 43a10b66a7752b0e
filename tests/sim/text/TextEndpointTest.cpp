#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/SerialPort.h"
#include "platform/UniqueFd.h"
#include "sim/ControllerModel.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"
#include "sim/TextEndpoint.h"

using namespace std::chrono_literals;

namespace {

vxsim::SystemSetup textSetup() {
    // Channel 0 linear, 1 rotary, 2 an end effector; a hand control module.
    vxsim::SystemSetup setup = vxsim::SystemSetup::standard(3, true, 1);
    setup.channels[1].rotary = true;
    return setup;
}

// The host's end of one connection, in process: what the endpoint sends.
class CapturingLink : public vxsim::Link {
public:
    bool send(const uint8_t* data, size_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        sent_.append(reinterpret_cast<const char*>(data), length);
        changed_.notify_all();
        return !closed_;
    }
    void close() override {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    bool closed() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return closed_;
    }
    std::string take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(sent_, {});
    }
    // Waits until `count` bytes have come, then takes them all.
    std::string take(size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return sent_.size() >= count; });
        return std::exchange(sent_, {});
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string sent_;
    bool closed_ = false;
};

class TextEndpointTest : public ::testing::Test {
protected:
    TextEndpointTest() { endpoint.onConnect(link); }
    ~TextEndpointTest() override { endpoint.onDisconnect(link); }

    void hostSends(const std::string& bytes) {
        endpoint.onReceive(link, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }

    vxsim::ControllerModel model{textSetup()};
    vxsim::TextEndpoint endpoint{model};
    CapturingLink link;
};

TEST_F(TextEndpointTest, AnswersEachCommandFromTheModel) {
    // In order: later rows see what earlier writes did.
    const std::pair<const char*, const char*> rows[] = {
        {"GIV", ":IV0,2,1,16\n"},
        {"SCM0", ":E-1,0\n"},
        {"GNC", ":N3\n"},
        {"GCT0", ":CT0,0\n"},
        {"GCT2", ":CT2,1\n"},
        {"GSN0", ":SN0,8448\n"},
        {"GST0", ":ST0,1\n"},
        {"SST0,2", ":E0,0\n"},
        {"GST0", ":ST0,2\n"},
        {"GS0", ":S0,0\n"},
        {"GP0", ":P0,0\n"},
        {"GP1", ":E-1,143\n"},
        {"GP9", ":E-1,128\n"},
        {"GA1", ":A1,0,0\n"},
        {"RTP0,7", ":TP0,7,0\n"},
        {"WTP0,7,-12", ":E0,0\n"},
        {"RTP0,7", ":TP0,7,-12\n"},
        {"GCP0,5", ":E0,156\n"},
        {"SCP0,5,-3", ":E0,0\n"},
        {"GCP0,5", ":CPR0,5,-3\n"},
        {"SCLF0,5000", ":E0,0\n"},
        {"GFV0", ":FV0,0,1,2,10,0,1,0,20\n"},
        {"GFP0,255", ":FP0,3\n"},
        {"GFP0,0", ":FP0,16\n"},
        {"GFP0,3", ":E-1,150\n"},
        {"SLTC32", ":SLTS4\n"},
        {"SLTC98", ":SLTE2,3,300,1020\n"},
        {"SLTC133,7,700,1070", ":E255,0\n"},
        {"SLTC101", ":SLTE5,7,700,1070\n"},
        {"SLTC64,33", ":E255,150\n"},
        {"SLTC160", ":E255,0\n"},
        {"IM0,5,5", ":IM1,5,5\n"},
        {"IM16,5,44", ":E-1,0\n"},
        {"IM0,5,5", ":IM1,5,44\n"},
        {"IM17,0,0", ":E-1,0\n"},
        {"GCB", ":BR9600\n"},
        {"CB115200", ":BR115200\n"},
        {"GCB", ":BR115200\n"},
        {"S0", ":E0,0\n"},
        {"MPR0,0,0", ":E0,0\n"},
        {"MAR1,0,0,0", ":E1,0\n"},
        {"MST0,0,100,1000", ":E0,0\n"},
        {"MST0,10,5000,1000", ":E0,131\n"},
        {"FRM0,0,0,0", ":E0,0\n"},
        {"CS0", ":E0,0\n"},
        {"RHEL", ":HEL256\n"},
        {"WHCS1,248,1,2,3,4,5,6,7,8", ":E-1,0\n"},
        {"RHCS1,248", ":HCS1,248,1,2,3,4,5,6,7,8\n"},
        {"WHCS1,252,9,9,9,9,9,9,9,9", ":E-1,0\n"},
        {"RHCS1,248", ":HCS1,248,1,2,3,4,9,9,9,9\n"},
        {"RHCS1,252", ":HCS1,252,9,9,9,9,0,0,0,0\n"},
        {"RHCS8,0", ":E-1,150\n"},
        {"WHCS0,0,1,2,3,4,5,6,7,256", ":E-1,150\n"},
        {"WHCS0,0,1", ":E-1,240\n"},
        {"XYZ1", ":E-1,240\n"},
        {"GP", ":E-1,240\n"},
        {"gp0", ":E-1,240\n"},
        {"GP0,", ":E-1,240\n"},
    };
    for (const auto& [command, reply] : rows) {
        SCOPED_TRACE(command);
        EXPECT_EQ(endpoint.reply(command), reply);
    }
    EXPECT_EQ(model.indexMapFinalizations(), 1u);
    EXPECT_EQ(model.storedSpeedLevelTables(), 1u);
}

TEST_F(TextEndpointTest, LinesAndRecords) {
    // A wake-up byte, then the rate switch: neither is answered.
    hostSends(std::string(1, '\0'));
    hostSends(":CB115200,1\n");
    EXPECT_EQ(link.take(), "");
    EXPECT_EQ(endpoint.baudRate(), 115200u);
    // Lines may come in pieces and together; bytes before the colon are dropped.
    hostSends("\n:G");
    hostSends("NC\nxx:GCT2\n:GS");
    EXPECT_EQ(link.take(), ":N3\n:CT2,1\n");
    hostSends("0\n");
    EXPECT_EQ(link.take(), ":S0,0\n");
    EXPECT_EQ(endpoint.commandTexts(),
              (std::vector<std::string>{"CB115200,1", "GNC", "GCT2", "GS0"}));
    EXPECT_EQ(endpoint.received(), std::string(1, '\0') + ":CB115200,1\n\n:GNC\nxx:GCT2\n:GS0\n");
    EXPECT_TRUE(endpoint.waitForCommands(4, 0ms));
    endpoint.clearRecords();
    EXPECT_TRUE(endpoint.commands().empty());
    EXPECT_EQ(endpoint.received(), "");
}

TEST_F(TextEndpointTest, FaultKnobs) {
    endpoint.addFault(vxsim::TextFault::silent("GNC", 1));
    endpoint.addFault(vxsim::TextFault::error("GS", 129, 1));
    endpoint.addFault(vxsim::TextFault::replace("GCT", ":P0,", 1));
    endpoint.addFault(vxsim::TextFault::late("GST", 30ms, 1));
    endpoint.addFault(vxsim::TextFault::pieces("GSN", 4, 20ms, 1));
    hostSends(":GNC\n");
    EXPECT_EQ(link.take(), "");
    hostSends(":GNC\n");  // the knob applied once
    EXPECT_EQ(link.take(), ":N3\n");
    hostSends(":GS0\n");
    EXPECT_EQ(link.take(), ":E-1,129\n");
    hostSends(":GCT0\n");
    EXPECT_EQ(link.take(), ":P0,");
    hostSends(":GST0\n");
    EXPECT_EQ(link.take(), "");
    ASSERT_TRUE(endpoint.waitForDelayedWrites(1, 2000ms));
    EXPECT_EQ(link.take(), ":ST0,1\n");
    hostSends(":GSN0\n");
    EXPECT_EQ(link.take(), ":SN0");  // the first piece at once
    ASSERT_TRUE(endpoint.waitForDelayedWrites(3, 2000ms));
    EXPECT_EQ(link.take(), ",8448\n");
    EXPECT_EQ(endpoint.commandTexts(),
              (std::vector<std::string>{"GNC", "GNC", "GS0", "GCT0", "GST0", "GSN0"}));

    endpoint.addFault(vxsim::TextFault::disconnect(""));
    hostSends(":GNC\n");
    EXPECT_TRUE(link.closed());
    EXPECT_EQ(link.take(), "");
    endpoint.clearFaults();
}

TEST(TextEndpointCarriers, TcpWithoutGreetingAndPseudoTerminal) {
    vxsim::ControllerModel model(textSetup());
    vxsim::TextEndpoint endpoint(model);

    vxsim::TcpServer server(endpoint);
    vxplatform::UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server.port());
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    ASSERT_EQ(::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::send(socket.get(), ":GNC\n", 5, MSG_NOSIGNAL), 5);
    // The reply is the first thing that arrives: no greeting came before it.
    std::string got;
    while (got.size() < 4) {
        char buffer[16];
        const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, 0);
        ASSERT_GT(n, 0);
        got.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(got, ":N3\n");

    vxsim::Pty pty;
    pty.serve(endpoint);
    vxplatform::SerialPort port;
    ASSERT_EQ(port.open(pty.devicePath(), {}), 0);
    ASSERT_EQ(port.write(":GCT2\n", 6, 1000ms).status, vxplatform::SerialStatus::Ok);
    got.clear();
    while (got.size() < 7) {
        char buffer[16];
        const vxplatform::SerialResult result = port.read(buffer, sizeof buffer, 2000ms);
        ASSERT_EQ(result.status, vxplatform::SerialStatus::Ok);
        got.append(buffer, result.count);
    }
    EXPECT_EQ(got, ":CT2,1\n");
    EXPECT_EQ(endpoint.commandTexts(), (std::vector<std::string>{"GNC", "GCT2"}));
}

}  // namespace
