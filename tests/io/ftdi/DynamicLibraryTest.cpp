#include <gtest/gtest.h>

#include "FtdiDouble.h"
#include "platform/DynamicLibrary.h"

namespace {

using vxplatform::DynamicLibrary;

TEST(DynamicLibrary, BindsFunctionsByNameAndReportsWhatIsMissing) {
    DynamicLibrary driver = DynamicLibrary::open("libftd2xx.so");
    ASSERT_TRUE(driver.loaded()) << driver.error();
    auto getApi = driver.function<VxFtdiGetApiFunction>("VXFTDI_GetApi");
    ASSERT_NE(nullptr, getApi);
    EXPECT_EQ(vxftdi_api(), getApi()) << "one instance however it is reached";
    EXPECT_EQ(nullptr, driver.symbol("FT_NoSuchFunction"));
    EXPECT_NE(std::string::npos, driver.error().find("FT_NoSuchFunction"));

    DynamicLibrary moved = std::move(driver);
    EXPECT_FALSE(driver.loaded());
    EXPECT_TRUE(moved.loaded());
}

TEST(DynamicLibrary, MissingFileIsNotLoaded) {
    DynamicLibrary missing = DynamicLibrary::open("libVeltraxNoSuchLibrary.so");
    EXPECT_FALSE(missing.loaded());
    EXPECT_FALSE(missing.error().empty());
    EXPECT_EQ(nullptr, missing.symbol("anything"));
}

TEST(DynamicLibrary, LoadsBesideTheModuleOfAnAddress) {
    // The chip-id library lies beside the driver double.
    DynamicLibrary chipId = DynamicLibrary::openBesideModule(vxftdi_api(), "libFTChipID.so");
    ASSERT_TRUE(chipId.loaded()) << chipId.error();
    EXPECT_NE(nullptr, chipId.symbol("FTID_GetChipIDFromHandle"));
    EXPECT_FALSE(DynamicLibrary::openBesideModule(vxftdi_api(), "libVeltraxNoSuchLibrary.so").loaded());
}

}  // namespace
