// Runs with a library path on which the FTDI driver cannot be found: a USB
// driver that cannot be bound stays so for the process.

#include <gtest/gtest.h>

#include "VeltraxCTL.h"

namespace {

TEST(SearchWithoutUsbDriver, EverySearchFailedGivesDriverFailed) {
    char buffer[64];
    size_t length = sizeof buffer;
    EXPECT_EQ(VX_CTL_DRIVER_FAILED, VX_CTL_FindDevices("no-network-devices", buffer, &length));
    EXPECT_EQ(0u, length);
    length = sizeof buffer;
    EXPECT_EQ(VX_CTL_DRIVER_FAILED, VX_CTL_FindDevices("extended-format\nno-network-devices", buffer, &length));
}

}  // namespace
