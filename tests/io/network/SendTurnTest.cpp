// A close never releases a TCP device's socket while a send is inside its
// turn: otherwise the send's next system call could reach a descriptor that
// the number has meanwhile been given to. The send is held inside the system
// call by a stand-in for send() that passes every other call through.

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>

#include <gtest/gtest.h>

#include "VeltraxIO.h"
#include "sim/TcpServer.h"
#include "support/IoReceiver.h"
#include "support/Wait.h"

using namespace std::chrono_literals;

namespace {

// Connections to this port are held in send() until released.
std::atomic<int> heldPort{-1};
std::atomic<int> heldFd{-1};
std::mutex holdMutex;
std::condition_variable holdChanged;
bool released = false;

int peerPort(int fd) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET) return -1;
    return ntohs(sa.sin_port);
}

}  // namespace

extern "C" ssize_t send(int fd, const void* data, size_t length, int flags) {
    using Send = ssize_t (*)(int, const void*, size_t, int);
    static const Send next = reinterpret_cast<Send>(::dlsym(RTLD_NEXT, "send"));
    const int port = heldPort.load();
    if (port >= 0 && peerPort(fd) == port) {
        std::unique_lock<std::mutex> lock(holdMutex);
        heldFd = fd;
        holdChanged.notify_all();
        holdChanged.wait(lock, [] { return released; });
    }
    return next(fd, data, length, flags);
}

namespace {

TEST(SendTurn, ACloseKeepsTheSocketUntilTheSendInsideItsTurnIsOut) {
    vxsim::EchoHandler echo;
    vxsim::TcpServer server(echo);
    vxtest::IoReceiver peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_Open(&handle, server.locator().c_str(), "", &peer, vxtest::IoReceiver::onReceive,
                         vxtest::IoReceiver::onError),
              VX_IO_OK);
    const int port = std::stoi(server.locator().substr(server.locator().rfind(':') + 1));
    heldPort = port;
    auto sent = std::async(std::launch::async, [&] { return VX_IO_Send(handle, "inside", 6); });
    {
        std::unique_lock<std::mutex> lock(holdMutex);
        ASSERT_TRUE(holdChanged.wait_for(lock, 5s, [] { return heldFd.load() >= 0; }));
    }
    const int fd = heldFd;
    EXPECT_EQ(VX_IO_Close(handle, 0), VX_IO_OK);
    // The receive thread has stopped, but the socket stays while the send is inside.
    EXPECT_FALSE(vxtest::waitUntil([&] { return peerPort(fd) != port; }, 300ms));
    {
        std::lock_guard<std::mutex> lock(holdMutex);
        released = true;
        heldPort = -1;
    }
    holdChanged.notify_all();
    EXPECT_EQ(sent.get(), VX_IO_OK);
    // Then it goes.
    EXPECT_TRUE(vxtest::waitUntil([&] { return peerPort(fd) != port; }, 2000ms));
}

}  // namespace
