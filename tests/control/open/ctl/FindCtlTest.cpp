#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "QMXControl.h"
#include "common/CtlLibrary.h"
#include "platform/ModulePath.h"

namespace {

const std::string kFakeName = "libqmxtest_fakectl.so";

using SetSearch = void (*)(const char*, uint32_t);
using Searches = int (*)();

// The double as QMXControl loads it: the same file beside this program.
class FindWithCtlLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = ::dlopen(vxplatform::joinPath(vxplatform::executableDirectory(), kFakeName).c_str(), RTLD_NOW);
        ASSERT_NE(handle_, nullptr) << ::dlerror();
        setSearch_ = reinterpret_cast<SetSearch>(::dlsym(handle_, "FakeCtl_SetSearch"));
        searches_ = reinterpret_cast<Searches>(::dlsym(handle_, "FakeCtl_Searches"));
        ASSERT_TRUE(setSearch_ && searches_);
        setSearch_("", 0);
        qmx::setVeltraxCTLFileName(kFakeName);
    }
    void TearDown() override {
        if (handle_) ::dlclose(handle_);
    }

    void* handle_ = nullptr;
    SetSearch setSearch_ = nullptr;
    Searches searches_ = nullptr;
};

// First in this file: the load happens once per process.
TEST_F(FindWithCtlLibrary, AFailedLoadIsTriedAgainAtTheNextSearch) {
    if (qmx::veltraxCTLSymbol("VX_CTL_FindDevices")) GTEST_SKIP() << "loaded by an earlier test";
    setSearch_("usb:sn:QMX2-1", 0);
    qmx::setVeltraxCTLFileName("libqmxtest-absent-veltraxctl.so");
    char buffer[64];
    unsigned int size = sizeof buffer;
    ASSERT_EQ(VX_FindSystems("", buffer, &size), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(searches_(), 0);

    qmx::setVeltraxCTLFileName(kFakeName);
    size = sizeof buffer;
    ASSERT_EQ(VX_FindSystems("", buffer, &size), 0u);
    EXPECT_STREQ(buffer, "usb:sn:QMX2-1");
    EXPECT_EQ(searches_(), 1);
}

TEST_F(FindWithCtlLibrary, LocatorsAreJoinedAndMustFitWithTheirTerminator) {
    setSearch_("usb:sn:QMX2-1\n\nnetwork:sn:QMX2-22\n", 0);
    const std::string expected = "usb:sn:QMX2-1\nnetwork:sn:QMX2-22";
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    unsigned int size = static_cast<unsigned int>(expected.size());
    EXPECT_EQ(VX_FindSystems(nullptr, buffer, &size), 23u);
    EXPECT_EQ(size, expected.size());
    EXPECT_EQ(buffer[0], 'x');

    size = static_cast<unsigned int>(expected.size() + 1);
    EXPECT_EQ(VX_FindSystems(nullptr, buffer, &size), 0u);
    EXPECT_EQ(size, expected.size());
    EXPECT_EQ(std::string(buffer), expected);
}

TEST_F(FindWithCtlLibrary, SearchFailuresAreMappedAndLeaveTheBufferAlone) {
    const struct {
        uint32_t result;
        VX_STATUS status;
    } cases[] = {{0xF006, 23}, {0xF01A, 3}, {0xABCD, 255}};
    for (const auto& c : cases) {
        setSearch_("usb:sn:QMX2-1", c.result);
        char buffer[16] = "untouched";
        unsigned int size = sizeof buffer;
        EXPECT_EQ(VX_FindSystems("", buffer, &size), c.status);
        EXPECT_EQ(size, sizeof buffer);
        EXPECT_STREQ(buffer, "untouched");
    }
}

TEST_F(FindWithCtlLibrary, IndexLocatorsCountOnlyUsbSystems) {
    setSearch_("network:sn:QMX2-5\nusb:sn:QMX2-7", 0);
    VX_SystemIndex index = 0;
    const int before = searches_();
    EXPECT_EQ(VX_OpenSystem(&index, "usb:ix:1", ""), 3u);
    EXPECT_EQ(index, 0xFFFFFFFFu);
    EXPECT_EQ(searches_(), before + 1);
    EXPECT_NE(VX_OpenSystem(&index, "usb:ix:0", ""), 0u);
    EXPECT_EQ(index, 0xFFFFFFFFu);
}

}  // namespace
