#include <gtest/gtest.h>

#include <string>

#include "QMXControl.h"
#include "common/CtlBinding.h"
#include "common/CtlLibrary.h"
#include "systems/gen2/SystemVeltraxCTL.h"

namespace {

// A library that loads, searches and opens, but lacks one bound name.
const bool fakeChosen = (qmx::setVeltraxCTLFileName("libqmxtest_bindingctl_missing.so"), true);

TEST(MissingName, OpenGivesDriverErrorEachTimeAndNeverReachesTheLibrary) {
    ASSERT_TRUE(fakeChosen);
    ASSERT_TRUE(qmx::loadVeltraxCTL());
    ASSERT_NE(qmx::veltraxCTLSymbol("VX_CTL_Open"), nullptr);
    ASSERT_EQ(qmx::veltraxCTLSymbol("VX_CTL_Cancel"), nullptr);

    VX_SystemIndex index = 0;
    EXPECT_EQ(VX_OpenSystem(&index, "usb:sn:QMX2-5", ""), VX_DRIVER_ERROR);
    EXPECT_EQ(index, 0xFFFFFFFFu);

    // One adapter, twice: a failed binding is not taken for a good one.
    qmx::SystemVeltraxCTL system;
    EXPECT_EQ(system.open("usb:sn:QMX2-5", ""), VX_DRIVER_ERROR);
    EXPECT_EQ(system.open("usb:sn:QMX2-5", ""), VX_DRIVER_ERROR);
    EXPECT_EQ(system.mode(), 0u);
    const auto opens = reinterpret_cast<int (*)()>(qmx::veltraxCTLSymbol("BindingFake_Opens"));
    ASSERT_NE(opens, nullptr);
    EXPECT_EQ(opens(), 0);

    qmx::CtlBinding binding;
    EXPECT_FALSE(binding.bind());
    EXPECT_FALSE(binding.bound());
    // The names found are kept; the missing one is null.
    EXPECT_NE(binding.functions().Open, nullptr);
    EXPECT_EQ(binding.functions().Cancel, nullptr);
}

}  // namespace
