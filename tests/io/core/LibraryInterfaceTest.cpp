#include <gtest/gtest.h>

#include <unistd.h>

#include <set>
#include <string>

#include "support/ElfExports.h"

extern "C" int vxHeaderC99Probe(void);

namespace {

TEST(LibraryInterface, ExportsExactlyTheThirteenFunctions) {
    const std::set<std::string> expected{
        "VX_IO_GetVersion",          "VX_IO_GetLocatorInterfaceType", "VX_IO_Open",
        "VX_IO_Close",               "VX_IO_Send",                    "VX_IO_GetProperty",
        "VX_IO_CanEnumerateDevices", "VX_IO_EnumerateDevices",        "VX_IO_EnumerateInterfaces",
        "VX_IO_SetGlobalOptions",    "VX_IO_SetEventCallback",        "VX_IO_GetErrorEventData",
        "VX_IO_GetDiscoveryEventData"};
    const std::string path = vxtest::besideTestProgram("libVeltraxIO.so");
    ASSERT_EQ(access(path.c_str(), R_OK), 0) << path;
    EXPECT_EQ(vxtest::exportedSymbols(path), expected);
}

TEST(LibraryInterface, PublicHeaderIsPlainC99) {
    EXPECT_EQ(vxHeaderC99Probe(), 20003);
}

}  // namespace
