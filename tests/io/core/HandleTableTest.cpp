#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "LoopDevice.h"
#include "core/HandleTable.h"

namespace vxtest {
namespace {

using namespace std::chrono_literals;

// What the callbacks of one device saw.
struct Received {
    std::mutex mutex;
    std::condition_variable changed;
    std::string bytes;
    std::vector<int> errors;
    int calls = 0;

    bool waitForCalls(int count) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return calls >= count; });
    }
    int callCount() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
};

void onReceive(void* context, const void* data, size_t length) {
    auto* received = static_cast<Received*>(context);
    std::lock_guard<std::mutex> lock(received->mutex);
    received->bytes.append(static_cast<const char*>(data), length);
    ++received->calls;
    received->changed.notify_all();
}

void onError(void* context, int code) {
    auto* received = static_cast<Received*>(context);
    std::lock_guard<std::mutex> lock(received->mutex);
    received->errors.push_back(code);
    ++received->calls;
    received->changed.notify_all();
}

class HandleTableTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (VX_IO_Handle handle = 0; handle < vxio::HandleTable::kSize; ++handle) {
            VX_IO_Close(handle, 1);
        }
    }

    // Opens a loop device through the table; the test keeps only a weak
    // reference so that it can watch the object's lifetime.
    std::weak_ptr<LoopDevice> open(VX_IO_Handle* handle, VX_IO_Result expected = VX_IO_OK,
                                   void* context = nullptr, LoopDevice::Destroyed destroyed = nullptr) {
        auto device = std::make_shared<LoopDevice>(context != nullptr ? context : &received_,
                                                   onReceive, onError, std::move(destroyed));
        EXPECT_EQ(vxio::openDevice(device, handle), expected);
        return device;
    }

    Received received_;
};

TEST_F(HandleTableTest, SixtyFiveOpensFillTheTableThenFail) {
    std::vector<std::weak_ptr<LoopDevice>> devices;
    std::set<VX_IO_Handle> given;
    for (int i = 0; i < 64; ++i) {
        VX_IO_Handle handle = 999;
        devices.push_back(open(&handle));
        EXPECT_LT(handle, 64u);
        given.insert(handle);
    }
    EXPECT_EQ(given.size(), 64u);

    Received late;
    auto destroyed = std::make_shared<Latch<bool>>();
    auto device = std::make_shared<LoopDevice>(&late, onReceive, onError, destroyed);
    VX_IO_Handle handle = 999;
    EXPECT_EQ(vxio::openDevice(device, &handle), VX_IO_NO_FREE_HANDLE);
    EXPECT_EQ(handle, 999u);
    // Closed with wait: its receive thread is gone, so nothing it is given
    // reaches the callbacks any more.
    EXPECT_TRUE(device->stopped());
    device->inject("late");
    device->injectError(VX_IO_READ_ERROR);
    device.reset();
    EXPECT_TRUE(destroyed->wait(0ms));
    EXPECT_EQ(late.callCount(), 0);

    // The 64 devices still work.
    ASSERT_EQ(VX_IO_Send(63, "x", 1), VX_IO_OK);
    EXPECT_TRUE(received_.waitForCalls(1));
}

// A caller may still send with a number it has just closed: that number
// comes back only after every other free one.
TEST_F(HandleTableTest, AFreedHandleComesBackAfterTheOtherFreeOnes) {
    for (int i = 0; i < 64; ++i) {
        VX_IO_Handle handle = 0;
        open(&handle);
    }
    EXPECT_EQ(VX_IO_Close(7, 1), VX_IO_OK);
    EXPECT_EQ(VX_IO_Close(8, 1), VX_IO_OK);
    VX_IO_Handle handle = 999;
    open(&handle);
    EXPECT_EQ(handle, 7u);
    EXPECT_EQ(VX_IO_Close(7, 1), VX_IO_OK);
    open(&handle);
    EXPECT_EQ(handle, 8u);
    open(&handle);
    EXPECT_EQ(handle, 7u);
}

TEST_F(HandleTableTest, HandlesWithoutADeviceAreRefused) {
    VX_IO_Handle handle = 0;
    open(&handle);
    char buffer[32];
    size_t length = sizeof buffer;
    EXPECT_EQ(VX_IO_Close(64, 1), VX_IO_INVALID_HANDLE);
    EXPECT_EQ(VX_IO_Close(0xFFFFFFFFu, 0), VX_IO_INVALID_HANDLE);
    EXPECT_EQ(VX_IO_Send(64, "x", 1), VX_IO_INVALID_HANDLE);
    EXPECT_EQ(VX_IO_GetProperty(64, "locator", buffer, &length), VX_IO_INVALID_HANDLE);
    EXPECT_EQ(VX_IO_Send(1, "x", 1), VX_IO_INVALID_HANDLE);

    ASSERT_EQ(VX_IO_GetProperty(handle, "locator", buffer, &length), VX_IO_OK);
    EXPECT_STREQ(buffer, "usb:sn:LOOP");
    EXPECT_EQ(length, 11u);

    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_INVALID_HANDLE);
    EXPECT_EQ(VX_IO_Send(handle, "x", 1), VX_IO_INVALID_HANDLE);
    length = sizeof buffer;
    EXPECT_EQ(VX_IO_GetProperty(handle, "locator", buffer, &length), VX_IO_INVALID_HANDLE);
}

TEST_F(HandleTableTest, ASendKeepsTheDeviceAliveWhileItsHandleIsClosed) {
    auto destroyed = std::make_shared<Latch<bool>>();
    VX_IO_Handle handle = 0;
    std::weak_ptr<LoopDevice> device = open(&handle, VX_IO_OK, nullptr, destroyed);
    device.lock()->holdSends(true);

    std::atomic<VX_IO_Result> sent{-1};
    std::thread sender([&] { sent = VX_IO_Send(handle, "x", 1); });
    ASSERT_TRUE(device.lock()->waitForSendEntered(1));

    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
    EXPECT_EQ(VX_IO_Send(handle, "y", 1), VX_IO_INVALID_HANDLE);
    EXPECT_FALSE(destroyed->wait(0ms));

    device.lock()->holdSends(false);
    sender.join();
    EXPECT_EQ(sent.load(), VX_IO_OK);
    EXPECT_TRUE(destroyed->wait(5s));
}

TEST_F(HandleTableTest, SendsRacingClosesNeverTouchAFreedDevice) {
    for (int round = 0; round < 100; ++round) {
        VX_IO_Handle handle = 0;
        open(&handle);
        std::atomic<bool> go{false};
        std::thread sender([&] {
            while (!go) std::this_thread::yield();
            for (int i = 0; i < 20; ++i) {
                const VX_IO_Result result = VX_IO_Send(handle, "z", 1);
                EXPECT_TRUE(result == VX_IO_OK || result == VX_IO_INVALID_HANDLE) << result;
            }
        });
        go = true;
        EXPECT_EQ(VX_IO_Close(handle, round % 2), VX_IO_OK);
        sender.join();
    }
}

// Closes its own device from inside a callback, with or without wait.
struct SelfCloser {
    Received received;
    VX_IO_Handle handle = 0;
    int wait = 0;
    Latch<VX_IO_Result> closed;
};

void closeFromReceive(void* context, const void*, size_t) {
    auto* closer = static_cast<SelfCloser*>(context);
    closer->closed.set(VX_IO_Close(closer->handle, closer->wait));
}

void closeFromError(void* context, int) { closeFromReceive(context, nullptr, 0); }

class CloseFromCallback : public HandleTableTest, public ::testing::WithParamInterface<int> {};

TEST_P(CloseFromCallback, ReturnsAtOnceAndTheDeviceEndsWithItsThread) {
    for (bool fromError : {false, true}) {
        SCOPED_TRACE(fromError ? "error callback" : "receive callback");
        SelfCloser closer;
        closer.wait = GetParam();
        auto destroyed = std::make_shared<Latch<bool>>();
        auto device = std::make_shared<LoopDevice>(&closer, closeFromReceive, closeFromError,
                                                   destroyed);
        ASSERT_EQ(vxio::openDevice(device, &closer.handle), VX_IO_OK);
        if (fromError) {
            device->injectError(VX_IO_READ_ERROR);
        } else {
            device->inject("bye");
        }
        device.reset();

        VX_IO_Result result = -1;
        ASSERT_TRUE(closer.closed.wait(5s, &result));
        EXPECT_EQ(result, VX_IO_OK);
        EXPECT_TRUE(destroyed->wait(5s));
        EXPECT_EQ(VX_IO_Close(closer.handle, 0), VX_IO_INVALID_HANDLE);
    }
}

INSTANTIATE_TEST_SUITE_P(WaitFlag, CloseFromCallback, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? "Wait" : "NoWait"; });

TEST_F(HandleTableTest, ClosingAnotherDeviceFromACallbackStillWaits) {
    VX_IO_Handle other = 0;
    auto otherDestroyed = std::make_shared<Latch<bool>>();
    open(&other, VX_IO_OK, nullptr, otherDestroyed);

    SelfCloser closer;
    closer.wait = 1;
    auto device = std::make_shared<LoopDevice>(&closer, closeFromReceive, closeFromError);
    VX_IO_Handle own = 0;
    ASSERT_EQ(vxio::openDevice(device, &own), VX_IO_OK);
    closer.handle = other;
    device->inject("close the other one");
    VX_IO_Result result = -1;
    ASSERT_TRUE(closer.closed.wait(5s, &result));
    EXPECT_EQ(result, VX_IO_OK);
    // A waiting close joined the other device's thread before returning, so
    // its last owner is already gone.
    EXPECT_TRUE(otherDestroyed->wait(0ms));
    device.reset();
}

}  // namespace
}  // namespace vxtest

namespace vxtest {
namespace {

// A caller that closes its handle when the process ends, as the controller
// library does from its registry's destructor.
struct CloseAtExit {
    VX_IO_Handle handle = 0;
    ~CloseAtExit() {
        if (VX_IO_Close(handle, 1) != VX_IO_OK) std::_Exit(3);
    }
};

void openThenExit() {
    // Built before the table is first used, so it is destroyed after it
    // would be, were the table an ordinary static.
    static CloseAtExit closer;
    static Received received;
    {
        // Only the table and the receive thread own the device from here on.
        auto device = std::make_shared<LoopDevice>(&received, onReceive, onError);
        if (vxio::openDevice(device, &closer.handle) != VX_IO_OK) std::_Exit(2);
    }
    std::exit(0);
}

TEST(HandleTableAtExit, AnExitHandlerCanStillCloseItsDevice) {
    // A fresh process, so that this test alone decides what is built first.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(openThenExit(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vxtest
