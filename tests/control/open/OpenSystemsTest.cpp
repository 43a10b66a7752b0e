#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "QMXControl.h"
#include "api/OpenSystems.h"
#include "common/CtlLibrary.h"
#include "support/QmxLog.h"

namespace {

// No second-generation library here, whatever is built beside us.
const bool ctlAbsent = (qmx::setVeltraxCTLFileName("libqmxtest-absent-veltraxctl.so"), true);

class OpenSystems : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ctlAbsent);
        VX_SetLogFilter(2);
        vxtest::QmxLog::attach();
    }
    void TearDown() override { vxtest::QmxLog::detach(); }
    static std::vector<std::string> logged() { return vxtest::QmxLog::lines(); }
};

TEST_F(OpenSystems, WithoutDevicesOrSecondGenerationLibraryNothingIsFound) {
    std::vector<qmx::SystemEntry> entries{{1, "stale"}};
    EXPECT_EQ(qmx::enumerateSystems(&entries), 0u);
    EXPECT_TRUE(entries.empty());

    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    unsigned int size = 0;
    EXPECT_EQ(VX_FindSystems(nullptr, buffer, &size), 23u);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer[0], 'x');
    size = sizeof buffer;
    EXPECT_EQ(VX_FindSystems("", buffer, &size), 0u);
    EXPECT_EQ(size, 0u);
    EXPECT_STREQ(buffer, "");
}

TEST_F(OpenSystems, SecondGenerationLocatorsNeedTheirLibrary) {
    for (const char* locator : {"usb:sn:QMX2-0001", "network:sn:QMX2-42"}) {
        VX_SystemIndex index = 7;
        EXPECT_EQ(VX_OpenSystem(&index, locator, nullptr), 3u) << locator;
        EXPECT_EQ(index, 0xFFFFFFFFu);
    }
}

TEST_F(OpenSystems, IndexLocatorNeedsANumberWithinTheSystemsFound) {
    const struct {
        const char* locator;
        VX_STATUS status;
    } cases[] = {
        {"usb:ix:0", 3},  {"usb:ix: +0", 3}, {"usb:ix:-0", 3},          {"usb:ix:x", 21},
        {"usb:ix:", 21},  {"usb:ix:-1", 21}, {"usb:ix:4294967296", 21}, {"usb:ix:4294967295", 3},
    };
    for (const auto& c : cases) {
        VX_SystemIndex index = 0;
        EXPECT_EQ(VX_OpenSystem(&index, c.locator, ""), c.status) << c.locator;
        EXPECT_EQ(index, 0xFFFFFFFFu);
    }
}

TEST_F(OpenSystems, FirstGenerationFailureIsReturnedAndNothingRegistered) {
    VX_SystemIndex index = 0;
    EXPECT_NE(VX_OpenSystem(&index, "usb:id:123456", ""), 0u);
    EXPECT_EQ(index, 0xFFFFFFFFu);
    EXPECT_NE(VX_OpenSystem(&index, "nonsense", ""), 0u);
    EXPECT_EQ(index, 0xFFFFFFFFu);
    EXPECT_EQ(VX_OpenSystem(&index, nullptr, ""), 21u);
    EXPECT_EQ(VX_OpenSystem(nullptr, "usb:id:1", ""), 9u);
    for (VX_SystemIndex handle = 32; handle < 64; ++handle) EXPECT_EQ(VX_CloseSystem(handle), 5u);
}

TEST_F(OpenSystems, CloseAndLocatorRefuseUnknownIndices) {
    for (VX_SystemIndex index : {0u, 5u, 31u, 32u, 63u, 64u, 0xFFFFFFFFu}) {
        EXPECT_EQ(VX_CloseSystem(index), 5u) << index;
        char buffer[16] = "untouched";
        unsigned int size = sizeof buffer;
        EXPECT_EQ(VX_GetSystemLocator(index, buffer, &size), 5u) << index;
        EXPECT_EQ(size, sizeof buffer);
        EXPECT_STREQ(buffer, "untouched");
    }
}

TEST_F(OpenSystems, CallAndReturnLinesCarryTextsAndTheHandle) {
    VX_SetLogLevel(2);
    VX_SystemIndex index = 0;
    VX_OpenSystem(&index, "usb:sn:QMX2-9", nullptr);
    VX_CloseSystem(40);
    char buffer[4];
    unsigned int size = sizeof buffer;
    VX_GetSystemLocator(70, buffer, &size);
    VX_FindSystems("x y", buffer, &size);

    std::vector<std::string> calls;
    for (const auto& line : logged()) {
        if (line.rfind("call [", 0) == 0 || line.rfind("return [", 0) == 0) calls.push_back(line.substr(line.find(']') + 1));
    }
    const std::vector<std::string> expected = {
        " VX_OpenSystem(\"usb:sn:QMX2-9\",\"\")", " -> 3 | 4294967295",
        " VX_CloseSystem(40)",                   " -> 5 | ",
        " VX_GetSystemLocator(70)",              " -> 5 | \"\",4",
        " VX_FindSystems(\"x y\")",               " -> 0 | 0",
    };
    EXPECT_EQ(calls, expected);
}

TEST(CtlResultMap, LibraryResultsMapOntoStatusCodes) {
    const struct {
        uint32_t result;
        VX_STATUS status;
    } cases[] = {
        {0x0000, 0},   {0x0001, 240}, {0x0002, 12},  {0x0004, 15},  {0x0005, 14},  {0x000C, 12},  {0x000E, 12},
        {0x0013, 9},   {0x0020, 5},   {0x0022, 6},   {0x0023, 157}, {0x0025, 146}, {0x0027, 9},   {0x0100, 15},
        {0x0102, 129}, {0x0103, 129}, {0x0104, 140}, {0x0105, 150}, {0x010C, 150}, {0x0110, 141}, {0x0112, 148},
        {0x0114, 9},   {0x0150, 150}, {0x0153, 150}, {0x0200, 142}, {0x0202, 147}, {0x0500, 12},  {0x7FFE, 240},
        {0xF000, 4},   {0xF001, 21},  {0xF003, 2},   {0xF004, 7},   {0xF006, 23},  {0xF007, 5},   {0xF00F, 10},
        {0xF010, 20},  {0xF013, 24},  {0xF016, 149}, {0xF017, 14},  {0xF018, 1},   {0xF01A, 3},
        // Known to the library but without a mapping, and unknown codes.
        {0x0003, 255}, {0x0012, 255}, {0x0016, 255}, {0x0101, 255}, {0x010D, 255}, {0x0115, 255}, {0x0201, 255},
        {0x0400, 255}, {0xF008, 255}, {0xF019, 255}, {0xF01B, 255}, {0x1000F000, 255},
    };
    for (const auto& c : cases) EXPECT_EQ(qmx::mapCtlResult(c.result), c.status) << std::hex << c.result;
}

}  // namespace
