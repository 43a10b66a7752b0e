#include <atomic>
#include <mutex>
#include <thread>

#include "UsbTestSupport.h"
#include "core/Transports.h"
#include "support/Wait.h"

namespace usbtest {
namespace {

// An open adapter "VX01" (a first-generation controller at 500000 baud).
class UsbRuntimeTest : public UsbTest {
protected:
    void SetUp() override {
        UsbTest::SetUp();
        adapter_ = plug(Adapter().sn("VX01").chip(4711));
    }
    void TearDown() override {
        if (open_) VX_IO_Close(handle_, 1);
        UsbTest::TearDown();
    }
    void openDevice(const std::string& options = "health-check 50") {
        ASSERT_EQ(VX_IO_OK, open(&handle_, "usb:sn:VX01", options, &receiver_));
        open_ = true;
    }
    void closeDevice(bool wait) {
        ASSERT_EQ(VX_IO_OK, VX_IO_Close(handle_, wait ? 1 : 0));
        open_ = false;
    }
    std::vector<uint8_t> written() {
        std::vector<uint8_t> bytes(1 << 16);
        bytes.resize(ftdi().takeWritten(adapter_, bytes.data(), bytes.size()));
        return bytes;
    }
    int push(const std::vector<uint8_t>& bytes) {
        return ftdi().pushReceived(adapter_, bytes.data(), bytes.size());
    }

    int adapter_ = 0;
    VX_IO_Handle handle_ = 0;
    bool open_ = false;
    Receiver receiver_;
};

std::vector<uint8_t> pattern(size_t length, uint8_t seed = 0) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

TEST_F(UsbRuntimeTest, ReceivedBytesArriveInOrderInChunksOfAtMost1024) {
    openDevice();
    const std::vector<uint8_t> sent = pattern(3000);
    ASSERT_EQ(0, push(sent));
    ASSERT_TRUE(receiver_.waitForBytes(sent.size()));
    EXPECT_EQ(sent, receiver_.bytes());
    for (size_t chunk : receiver_.chunks()) EXPECT_LE(chunk, 1024u);
    EXPECT_TRUE(receiver_.errors().empty());
}

TEST_F(UsbRuntimeTest, NoWakeUpIsLostWithoutHealthCheck) {
    // Without the periodic status query only the event notification wakes
    // the receive thread; a lost wake-up would leave bytes unread.
    openDevice("health-check 0");
    const std::vector<uint8_t> sent = pattern(2000, 3);
    for (uint8_t byte : sent) ASSERT_EQ(0, ftdi().pushReceived(adapter_, &byte, 1));
    ASSERT_TRUE(receiver_.waitForBytes(sent.size()));
    EXPECT_EQ(sent, receiver_.bytes());
}

struct StatusCase {
    const char* function;
    uint32_t status;
    int error;
};

void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << c.function << " status " << c.status;
}

class UsbReceiveFailureTest : public UsbRuntimeTest,
                              public ::testing::WithParamInterface<StatusCase> {};

TEST_P(UsbReceiveFailureTest, DriverFailureReachesTheErrorCallbackAndReceivingGoesOn) {
    openDevice();
    ftdi().failCall(GetParam().function, GetParam().status, 1);
    ASSERT_EQ(0, push({1, 2, 3}));
    ASSERT_TRUE(receiver_.waitForErrors(1));
    EXPECT_EQ(GetParam().error, receiver_.errors()[0]);
    // The failed call took nothing from the queue.
    ASSERT_EQ(0, push({4, 5}));
    ASSERT_TRUE(receiver_.waitForBytes(5));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5}), receiver_.bytes());
}

INSTANTIATE_TEST_SUITE_P(Failures, UsbReceiveFailureTest,
                         ::testing::Values(StatusCase{"FT_GetStatus", VXFTDI_IO_ERROR, VX_IO_TIMEOUT},
                                           StatusCase{"FT_GetStatus", VXFTDI_OTHER_ERROR, VX_IO_READ_ERROR},
                                           StatusCase{"FT_GetStatus", VXFTDI_INVALID_HANDLE, VX_IO_READ_ERROR},
                                           StatusCase{"FT_Read", VXFTDI_IO_ERROR, VX_IO_TIMEOUT},
                                           StatusCase{"FT_Read", VXFTDI_OTHER_ERROR, VX_IO_READ_ERROR}));

TEST_F(UsbRuntimeTest, ReadReportingMoreThanAskedIsAReadError) {
    openDevice();
    ftdi().setCountSkew(adapter_, 1, 0);
    ASSERT_EQ(0, push({1, 2, 3}));
    ASSERT_TRUE(receiver_.waitForErrors(1));
    EXPECT_EQ(VX_IO_READ_ERROR, receiver_.errors()[0]);
    EXPECT_TRUE(receiver_.bytes().empty());
}

TEST_F(UsbRuntimeTest, UnpluggedAdapterIsReportedAtEachHealthCheckUntilClosed) {
    openDevice("health-check 50");
    ASSERT_EQ(0, ftdi().unplug(adapter_));
    ASSERT_TRUE(receiver_.waitForErrors(3));
    for (int error : receiver_.errors()) EXPECT_EQ(VX_IO_TIMEOUT, error);
    EXPECT_EQ(VX_IO_TIMEOUT, VX_IO_Send(handle_, "x", 1));
    closeDevice(true);
    EXPECT_EQ(0, ftdi().openHandleCount());
}

TEST_F(UsbRuntimeTest, PartialWritesAreContinuedUntilAllIsWritten) {
    openDevice();
    ftdi().setWriteLimit(adapter_, 3);
    ftdi().clearCallLog();
    const std::vector<uint8_t> frame = pattern(10);
    EXPECT_EQ(VX_IO_OK, VX_IO_Send(handle_, frame.data(), frame.size()));
    EXPECT_EQ(frame, written());
    EXPECT_EQ((std::vector<std::string>{"FT_Write(10)", "FT_Write(7)", "FT_Write(4)", "FT_Write(1)"}),
              calls({"FT_Write"}));
    EXPECT_EQ(VX_IO_OK, VX_IO_Send(handle_, frame.data(), 0));
}

TEST_F(UsbRuntimeTest, StuckWriteGives9AfterTheTxTimeout) {
    openDevice("tx-timeout 100");
    ftdi().setWriteLimit(adapter_, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(VX_IO_WRITE_ERROR, VX_IO_Send(handle_, "abc", 3));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 100ms);
    EXPECT_LT(elapsed, 2000ms);
}

// Stalls the adapter's line once the first piece of a frame went out.
void stallAfterFirstWrite(void* context, int adapter, const uint8_t*, size_t) {
    auto* stalled = static_cast<std::atomic<bool>*>(context);
    if (!stalled->exchange(true)) ftdi().setWriteLimit(adapter, 0);
}

TEST_F(UsbRuntimeTest, AWriteThatStallsMidFrameGivesTheLineUp) {
    openDevice("tx-timeout 100\nhealth-check 50");
    std::atomic<bool> stalled{false};
    const VxFtdiPeer peer{nullptr, &stallAfterFirstWrite, nullptr, &stalled};
    ASSERT_EQ(0, ftdi().attachPeer(adapter_, &peer));
    ftdi().setWriteLimit(adapter_, 3);
    const std::vector<uint8_t> frame = pattern(10);
    EXPECT_EQ(VX_IO_WRITE_ERROR, VX_IO_Send(handle_, frame.data(), frame.size()));
    ASSERT_TRUE(receiver_.waitForErrors(1));
    EXPECT_EQ(7, receiver_.errors().front());

    ftdi().setWriteLimit(adapter_, 64);
    ftdi().clearCallLog();
    EXPECT_EQ(VX_IO_WRITE_ERROR, VX_IO_Send(handle_, frame.data(), frame.size()));
    EXPECT_TRUE(calls({"FT_Write"}).empty());
    ftdi().attachPeer(adapter_, nullptr);
}

// A line that takes each piece a while after the last: slow, but never still.
struct SlowLine {
    static void onWrite(void* context, int, const uint8_t* data, size_t length) {
        auto* self = static_cast<SlowLine*>(context);
        std::this_thread::sleep_for(5ms);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->bytes.insert(self->bytes.end(), data, data + length);
    }
    std::mutex mutex;
    std::vector<uint8_t> bytes;
};

// The bytes the adapter takes in one write.
class UsbSlowLineTest : public UsbRuntimeTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(UsbSlowLineTest, ALineThatKeepsTakingBytesFailsNoSendThatWaitsItsTurn) {
    openDevice("tx-timeout 50\nhealth-check 50");
    SlowLine line;
    const VxFtdiPeer peer{nullptr, &SlowLine::onWrite, nullptr, &line};
    ASSERT_EQ(0, ftdi().attachPeer(adapter_, &peer));
    ftdi().setWriteLimit(adapter_, GetParam());
    // Forty pieces of 5 ms: four times the time-out, and a send behind it.
    const std::vector<uint8_t> first = pattern(40 * GetParam(), 1);
    const std::vector<uint8_t> second = pattern(20, 2);
    std::thread sender([&] { EXPECT_EQ(VX_IO_OK, VX_IO_Send(handle_, first.data(), first.size())); });
    ASSERT_TRUE(vxtest::waitUntil([&] {
        std::lock_guard<std::mutex> lock(line.mutex);
        return !line.bytes.empty();
    }));
    EXPECT_EQ(VX_IO_OK, VX_IO_Send(handle_, second.data(), second.size()));
    sender.join();
    ftdi().attachPeer(adapter_, nullptr);
    std::vector<uint8_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(both, line.bytes);
    EXPECT_TRUE(receiver_.errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Pieces, UsbSlowLineTest, ::testing::Values(64, 1),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return std::to_string(info.param) + "BytesAWrite";
                         });

struct WriteCase {
    uint32_t status;
    uint32_t skew;
    int expected;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << "status " << c.status << ", " << c.skew << " bytes over";
}

class UsbWriteFailureTest : public UsbRuntimeTest,
                            public ::testing::WithParamInterface<WriteCase> {};

TEST_P(UsbWriteFailureTest, WriteFailuresGiveTheirResult) {
    openDevice();
    if (GetParam().status != VXFTDI_OK) ftdi().failCall("FT_Write", GetParam().status, 1);
    ftdi().setCountSkew(adapter_, 0, GetParam().skew);
    EXPECT_EQ(GetParam().expected, VX_IO_Send(handle_, "abcd", 4));
}

INSTANTIATE_TEST_SUITE_P(Writes, UsbWriteFailureTest,
                         ::testing::Values(WriteCase{VXFTDI_IO_ERROR, 0, VX_IO_TIMEOUT},
                                           WriteCase{VXFTDI_OTHER_ERROR, 0, VX_IO_WRITE_ERROR},
                                           WriteCase{VXFTDI_OK, 1, VX_IO_WRITE_ERROR}));

TEST_F(UsbRuntimeTest, ConcurrentSendsKeepEachFrameWhole) {
    openDevice();
    ftdi().setWriteLimit(adapter_, 7);
    constexpr size_t kFrame = 64;
    constexpr int kFrames = 50;
    auto sender = [this](uint8_t fill) {
        const std::vector<uint8_t> frame(kFrame, fill);
        for (int i = 0; i < kFrames; ++i) EXPECT_EQ(VX_IO_OK, VX_IO_Send(handle_, frame.data(), kFrame));
    };
    std::thread first(sender, uint8_t{0xAA});
    std::thread second(sender, uint8_t{0x55});
    first.join();
    second.join();
    const std::vector<uint8_t> bytes = written();
    ASSERT_EQ(2 * kFrames * kFrame, bytes.size());
    for (size_t frame = 0; frame < bytes.size(); frame += kFrame) {
        for (size_t i = 1; i < kFrame; ++i) ASSERT_EQ(bytes[frame], bytes[frame + i]) << frame;
    }
}

TEST_F(UsbRuntimeTest, FtdiIdPropertyGivesTheChipId) {
    openDevice();
    char buffer[16] = "zzzz";
    size_t length = sizeof(buffer);
    EXPECT_EQ(VX_IO_OK, VX_IO_GetProperty(handle_, "ftdi-id", buffer, &length));
    EXPECT_STREQ("4711", buffer);
    EXPECT_EQ(4u, length);

    length = 2;
    EXPECT_EQ(VX_IO_BUFFER_TOO_SMALL, VX_IO_GetProperty(handle_, "ftdi-id", buffer, &length));
    EXPECT_EQ(4u, length);
    EXPECT_EQ('\0', buffer[0]);

    length = sizeof(buffer);
    EXPECT_EQ(VX_IO_UNKNOWN_PROPERTY, VX_IO_GetProperty(handle_, "ftdi-serial", buffer, &length));
    ftdi().failCall("FTID_GetChipIDFromHandle", VXFTDI_OTHER_ERROR, 1);
    EXPECT_EQ(VX_IO_NOT_SUPPORTED, VX_IO_GetProperty(handle_, "ftdi-id", buffer, &length));
}

TEST_F(UsbRuntimeTest, CloseWithWaitClosesTheDriverHandleOnceAtOnce) {
    openDevice();
    ftdi().clearCallLog();
    closeDevice(true);
    EXPECT_EQ(1u, calls({"FT_Close"}).size());
    EXPECT_EQ(0, ftdi().openHandleCount());
    EXPECT_EQ(-1, push({1})) << "nothing is open to receive";
}

TEST_F(UsbRuntimeTest, CloseWithoutWaitClosesTheDriverHandleOnceSoon) {
    openDevice("health-check 0");
    ftdi().clearCallLog();
    closeDevice(false);
    EXPECT_TRUE(vxtest::waitUntil([] { return ftdi().openHandleCount() == 0; }));
    EXPECT_EQ(1u, calls({"FT_Close"}).size());
}

// The callback contract: a receive callback may close its own device; the
// receive thread then stops even with bytes queued. A close that asks to
// wait must not wait for the thread it runs on.
struct SelfClosing {
    VX_IO_Handle handle = 0;
    int wait = 0;
    std::atomic<int> deliveries{0};
    vxtest::Latch<int> closed;
    static void onReceive(void* context, const void*, size_t) {
        auto* self = static_cast<SelfClosing*>(context);
        if (self->deliveries++ == 0) self->closed.set(VX_IO_Close(self->handle, self->wait));
    }
};

class UsbSelfCloseTest : public UsbRuntimeTest, public ::testing::WithParamInterface<int> {};

TEST_P(UsbSelfCloseTest, ReceiveCallbackMayCloseItsOwnDeviceWithBytesStillQueued) {
    SelfClosing device;
    device.wait = GetParam();
    ASSERT_EQ(VX_IO_OK, VX_IO_Open(&device.handle, "usb:sn:VX01", "", &device,
                                   &SelfClosing::onReceive, nullptr));
    ASSERT_EQ(0, push(pattern(20000)));
    int result = -1;
    ASSERT_TRUE(device.closed.wait(5000ms, &result));
    EXPECT_EQ(VX_IO_OK, result);
    EXPECT_TRUE(vxtest::waitUntil([] { return ftdi().openHandleCount() == 0; }));
    EXPECT_EQ(1, device.deliveries.load());
}

INSTANTIATE_TEST_SUITE_P(Waits, UsbSelfCloseTest, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param ? std::string("WithWait") : std::string("WithoutWait");
                         });

// A close while a send is stuck in the driver: the close does not wait for
// the write time-out, FT_Close ends the write, and nothing touches the
// handle after FT_Close.
enum class CloseFrom { Caller, ReceiveCallback, ErrorCallback };

struct BlockedSendCase {
    const char* name;
    CloseFrom from;
    int wait;
};

void PrintTo(const BlockedSendCase& c, std::ostream* os) { *os << c.name; }

struct ClosingDevice {
    VX_IO_Handle handle = 0;
    CloseFrom from = CloseFrom::Caller;
    int wait = 0;
    std::atomic<bool> closing{false};
    // How long the close took; max() when it failed.
    vxtest::Latch<std::chrono::steady_clock::duration> closed;

    void close() {
        if (closing.exchange(true)) return;
        const auto began = std::chrono::steady_clock::now();
        const int result = VX_IO_Close(handle, wait);
        closed.set(result == VX_IO_OK ? std::chrono::steady_clock::now() - began
                                      : std::chrono::steady_clock::duration::max());
    }
    static void onReceive(void* context, const void*, size_t) {
        auto* self = static_cast<ClosingDevice*>(context);
        if (self->from == CloseFrom::ReceiveCallback) self->close();
    }
    static void onError(void* context, int) {
        auto* self = static_cast<ClosingDevice*>(context);
        if (self->from == CloseFrom::ErrorCallback) self->close();
    }
};

class UsbBlockedSendTest : public UsbRuntimeTest,
                           public ::testing::WithParamInterface<BlockedSendCase> {};

TEST_P(UsbBlockedSendTest, CloseEndsAStuckSendAtOnce) {
    ClosingDevice device;
    device.from = GetParam().from;
    device.wait = GetParam().wait;
    ASSERT_EQ(VX_IO_OK, VX_IO_Open(&device.handle, "usb:sn:VX01", "tx-timeout 8000\nhealth-check 50",
                                   &device, &ClosingDevice::onReceive, &ClosingDevice::onError));
    ftdi().setWriteLimit(adapter_, 0);
    ftdi().clearCallLog();

    vxtest::Latch<int> sent;
    std::thread sender([&] {
        const std::vector<uint8_t> frame = pattern(100);
        sent.set(VX_IO_Send(device.handle, frame.data(), frame.size()));
    });
    ASSERT_TRUE(vxtest::waitUntil([] { return !calls({"FT_Write"}).empty(); }));
    switch (GetParam().from) {
        case CloseFrom::Caller:
            device.close();
            break;
        case CloseFrom::ReceiveCallback:
            ASSERT_EQ(0, push({1}));
            break;
        case CloseFrom::ErrorCallback:
            ftdi().failCall("FT_GetStatus", VXFTDI_OTHER_ERROR, 1);
            break;
    }
    std::chrono::steady_clock::duration took{};
    ASSERT_TRUE(device.closed.wait(5000ms, &took));
    EXPECT_LT(took, std::chrono::steady_clock::duration(300ms));

    int result = VX_IO_OK;
    const bool ended = sent.wait(2000ms, &result);
    sender.join();
    ASSERT_TRUE(ended) << "the send waited for its write time-out";
    EXPECT_TRUE(result == VX_IO_TIMEOUT || result == VX_IO_WRITE_ERROR) << result;
    EXPECT_TRUE(vxtest::waitUntil([] { return ftdi().openHandleCount() == 0; }));
    const std::vector<std::string> log = calls();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("FT_Close()", log.back()) << "a driver call after FT_Close";
    EXPECT_EQ(1u, calls({"FT_Close"}).size());
}

INSTANTIATE_TEST_SUITE_P(
    Closes, UsbBlockedSendTest,
    ::testing::Values(BlockedSendCase{"CallerWithWait", CloseFrom::Caller, 1},
                      BlockedSendCase{"CallerWithoutWait", CloseFrom::Caller, 0},
                      BlockedSendCase{"ReceiveCallbackWithWait", CloseFrom::ReceiveCallback, 1},
                      BlockedSendCase{"ErrorCallbackWithWait", CloseFrom::ErrorCallback, 1},
                      BlockedSendCase{"ErrorCallbackWithoutWait", CloseFrom::ErrorCallback, 0}),
    [](const ::testing::TestParamInfo<BlockedSendCase>& info) { return std::string(info.param.name); });

TEST_F(UsbRuntimeTest, SendAfterTheReceiveThreadClosedTheHandleGives7) {
    Receiver receiver;
    const vxio::DeviceParams params{"usb:sn:VX01", "", &receiver, &Receiver::onReceive,
                                    &Receiver::onError};
    std::shared_ptr<vxio::IoDevice> device = vxio::createFtdiDevice(params);
    ASSERT_EQ(VX_IO_OK, device->Open(device));
    device->Close(true);
    EXPECT_EQ(VX_IO_TIMEOUT, device->Send("x", 1));
    size_t length = 8;
    char buffer[8];
    EXPECT_EQ(VX_IO_NOT_SUPPORTED, device->GetProperty("ftdi-id", buffer, &length));
    EXPECT_EQ(0, ftdi().openHandleCount());
}

}  // namespace
}  // namespace usbtest
