#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "NetworkPeers.h"
#include "network/DiscoveryTable.h"
#include "support/IoReceiver.h"
#include "support/ProcessResources.h"
#include "support/Wait.h"

using namespace nettest;
using namespace std::chrono_literals;

namespace {

// What the process holds: its open descriptors by kind ("socket",
// "anon_inode:[eventfd]", a path) and its threads.
struct Footprint {
    std::map<std::string, int> descriptors;
    size_t threads = 0;

    bool operator==(const Footprint& other) const {
        return descriptors == other.descriptors && threads == other.threads;
    }
};

std::vector<std::string> entriesOf(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

Footprint footprint() {
    Footprint now;
    for (const std::string& fd : entriesOf("/proc/self/fd")) {
        char target[512];
        const ssize_t n = ::readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target - 1);
        if (n <= 0) continue;  // the directory listing's own descriptor, closed by now
        std::string kind(target, static_cast<size_t>(n));
        // One socket or pipe is like another: the inode numbers differ.
        kind = kind.substr(0, kind.find(":["));
        ++now.descriptors[kind];
    }
    // A host's receive thread that the purge joined may stay listed for a
    // while: only threads that have not begun to exit count.
    now.threads = vxtest::liveThreadCount();
    return now;
}

std::string describe(const Footprint& f) {
    std::string text = std::to_string(f.threads) + " threads;";
    for (const auto& [kind, count] : f.descriptors) text += " " + kind + " x" + std::to_string(count);
    return text;
}

void ignoreEvent(void*, int, const VX_IO_Event*) {}

}  // namespace

// A few seconds of searches, serial-number opens and discovery events leave
// nothing behind but the discovery hosts the library keeps per interface,
// and those go once the table lets go of them.
TEST(Resources, ADiscoveryHeavyRunLeavesNoDescriptorOrThread) {
    auto& table = vxio::DiscoveryInterfaceTable::instance();
    vxsim::EchoHandler echo;
    auto server = farServer(echo);
    vxsim::DiscoveryIdentity identity;
    identity.port = server->port();
    auto near = farDevice("RES-0", 0, identity);
    auto far = farDevice("RES-1", 1);
    // Hosts kept from earlier tests of this program go first.
    ASSERT_EQ(VX_IO_SetGlobalOptions("discovery-iface network:none"), VX_IO_OK);
    table.purgeInterfaceEntries(0);
    const Footprint before = footprint();

    ASSERT_EQ(VX_IO_SetEventCallback(&ignoreEvent, nullptr), VX_IO_OK);
    vxtest::IoReceiver received;
    for (int round = 0; round < 6; ++round) {
        ASSERT_EQ(VX_IO_SetGlobalOptions(round % 2 ? "discovery-iface network:none" : "discovery-iface network:all"),
                  VX_IO_OK);
        near->setAvailable(round % 3 != 1);
        near->sendInform();
        far->sendInform();
        std::string text;
        EXPECT_EQ(enumerate("only-locator\niface network:all\ndiscovery-timeout 50\n", text), VX_IO_OK);
        // Every kind: USB (as the controller library's searches) and serial
        // ports too. Without the FTDI driver the USB part fails; the
        // resources count all the same.
        std::vector<char> buffer(65536);
        size_t length = buffer.size();
        VX_IO_EnumerateDevices(VX_IO_IFACE_ALL, "iface-type all\nonly-locator\niface network:all\ndiscovery-timeout 50\n",
                               buffer.data(), &length);
        length = buffer.size();
        VX_IO_EnumerateDevices(VX_IO_IFACE_USB, "", buffer.data(), &length);
        // Opened by serial number, closed with and without waiting.
        VX_IO_Handle handle = 0;
        ASSERT_EQ(VX_IO_Open(&handle, "network:sn:RES-0", ("iface network:" + kIface0).c_str(), &received,
                             &vxtest::IoReceiver::onReceive, &vxtest::IoReceiver::onError),
                  VX_IO_OK);
        EXPECT_EQ(VX_IO_Send(handle, "ping", 4), VX_IO_OK);
        // The echo is taken before the close, so that a close without wait
        // leaves the receive thread nothing more to deliver into `received`.
        EXPECT_TRUE(received.waitForBytes(4 * static_cast<size_t>(round + 1), 5000ms));
        EXPECT_EQ(VX_IO_Close(handle, round % 2), VX_IO_OK);
    }
    ASSERT_EQ(VX_IO_SetGlobalOptions("discovery-iface network:none"), VX_IO_OK);
    ASSERT_EQ(VX_IO_SetEventCallback(nullptr, nullptr), VX_IO_OK);

    // Kept: one host per interface, with its sockets and receive thread,
    // until unused long enough; the purge stands for that time passing.
    EXPECT_TRUE(table.hostOf(vxio::parseIPv4(kIface0)));
    table.purgeInterfaceEntries(0);
    // A close without wait finishes on its own thread.
    EXPECT_TRUE(vxtest::waitUntil([&] { return footprint() == before; }, 5000ms))
        << "before: " << describe(before) << "\nafter:  " << describe(footprint());
}
