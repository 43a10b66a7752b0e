// Runs with a library path on which the FTDI driver cannot be bound; which
// piece is missing is named by VXFTDI_BINDING_CASE.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "VeltraxIO.h"

namespace {

std::string bindingCase() {
    const char* name = std::getenv("VXFTDI_BINDING_CASE");
    return name ? name : "";
}

void receive(void*, const void*, size_t) {}

TEST(UsbBinding, LibraryPathLacksWhatTheCaseNames) {
    void* driver = dlopen("libftd2xx.so", RTLD_NOW | RTLD_LOCAL);
    void* chipId = dlopen("libFTChipID.so", RTLD_NOW | RTLD_LOCAL);
    const std::string name = bindingCase();
    if (name == "missing-library") {
        EXPECT_EQ(nullptr, driver);
    } else if (name == "missing-name") {
        ASSERT_NE(nullptr, driver);
        EXPECT_NE(nullptr, chipId);
        EXPECT_NE(nullptr, dlsym(driver, "FT_SetUSBParameters"));
        EXPECT_EQ(nullptr, dlsym(driver, "FT_SetBitMode"));
    } else if (name == "missing-chipid") {
        EXPECT_NE(nullptr, driver);
        EXPECT_EQ(nullptr, chipId);
    } else {
        ADD_FAILURE() << "unknown binding case '" << name << "'";
    }
    if (driver) dlclose(driver);
    if (chipId) dlclose(chipId);
}

TEST(UsbBinding, EveryUsbOperationGives14ForTheRestOfTheProcess) {
    for (int round = 0; round < 2; ++round) {
        char buffer[256];
        size_t length = sizeof(buffer);
        EXPECT_EQ(VX_IO_DRIVER_NOT_AVAILABLE, VX_IO_EnumerateDevices(1, "include-sn", buffer, &length));
        EXPECT_EQ(0u, length);
        length = sizeof(buffer);
        EXPECT_EQ(VX_IO_DRIVER_NOT_AVAILABLE,
                  VX_IO_EnumerateDevices(9999, "iface-type usb\nonly-locator", buffer, &length));
        for (const char* locator : {"usb:sn:VX000001", "usb:ix:0", "usb:id:5", "usb:nonsense"}) {
            VX_IO_Handle handle = 99;
            EXPECT_EQ(VX_IO_DRIVER_NOT_AVAILABLE,
                      VX_IO_Open(&handle, locator, "", nullptr, &receive, nullptr))
                << locator;
            EXPECT_EQ(0u, handle);
        }
    }
}

}  // namespace
