#include <gtest/gtest.h>

#include <net/if.h>

#include "platform/Ipv4.h"
#include "platform/NetInterfaces.h"

using namespace vxplatform;

// Reads the interface list only; nothing is sent.
TEST(NetInterfaces, AnAddressGivesItsInterfaceOrNothing) {
    struct Case {
        const char* address;
        const char* interfaceName;  // null: not a local address
    };
    const Case cases[] = {{"127.0.0.1", "lo"}, {"192.0.2.254", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const uint32_t address = parseIpv4(c.address).value();
        const NetInterface found = netInterfaceOf(address);
        if (!c.interfaceName) {
            EXPECT_EQ(found.address, 0u);
            EXPECT_EQ(found.index, 0u);
            continue;
        }
        EXPECT_EQ(found.address, address);
        EXPECT_EQ(found.name, c.interfaceName);
        EXPECT_EQ(found.index, ::if_nametoindex(c.interfaceName));
        EXPECT_NE(found.index, 0u);
        EXPECT_TRUE(found.loopback);
        EXPECT_EQ(found.broadcast, 0u);
        EXPECT_EQ(broadcastAddressOf(address), found.broadcast);
    }
}
