#include <dlfcn.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "QMXControl.h"
#include "common/CtlBinding.h"
#include "common/CtlLibrary.h"
#include "platform/ModulePath.h"
#include "systems/gen2/SystemVeltraxCTL.h"

namespace {

const std::string kFakeName = "libqmxtest_bindingctl_complete.so";
const bool fakeChosen = (qmx::setVeltraxCTLFileName(kFakeName), true);

using SetOpenResult = void (*)(uint32_t);
using Opens = int (*)();
using LastConfiguration = const char* (*)();

// The stand-in as QMXControl loads it, reached for its controls.
class Binding : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fakeChosen);
        handle_ = ::dlopen(vxplatform::joinPath(vxplatform::executableDirectory(), kFakeName).c_str(), RTLD_NOW);
        ASSERT_NE(handle_, nullptr) << ::dlerror();
        setOpenResult_ = reinterpret_cast<SetOpenResult>(::dlsym(handle_, "BindingFake_SetOpenResult"));
        opens_ = reinterpret_cast<Opens>(::dlsym(handle_, "BindingFake_Opens"));
        lastConfiguration_ = reinterpret_cast<LastConfiguration>(::dlsym(handle_, "BindingFake_LastConfiguration"));
        ASSERT_TRUE(setOpenResult_ && opens_ && lastConfiguration_);
        setOpenResult_(VX_CTL_DEVICE_NOT_FOUND);
    }
    void TearDown() override {
        if (handle_) ::dlclose(handle_);
    }

    void* handle_ = nullptr;
    SetOpenResult setOpenResult_ = nullptr;
    Opens opens_ = nullptr;
    LastConfiguration lastConfiguration_ = nullptr;
};

TEST_F(Binding, AllTwentyFiveNamesBindAndOpenReachesTheLibrary) {
    qmx::CtlBinding binding;
    ASSERT_TRUE(binding.bind());
    EXPECT_TRUE(binding.bound());
    EXPECT_EQ(binding.functions().Cancel, qmx::veltraxCTLSymbol("VX_CTL_Cancel"));
    EXPECT_EQ(binding.functions().CancelCommandGroup, qmx::veltraxCTLSymbol("VX_CTL_CancelCommandGroup"));

    const int before = opens_();
    VX_SystemIndex index = 0;
    EXPECT_EQ(VX_OpenSystem(&index, "usb:sn:QMX2-77", "a b"), VX_NO_SYSTEMS_FOUND);
    EXPECT_EQ(index, 0xFFFFFFFFu);
    EXPECT_EQ(opens_(), before + 1);
}

struct ConfigurationCase {
    const char* options;
    const char* configuration;
};

void PrintTo(const ConfigurationCase& c, std::ostream* out) { *out << '"' << c.options << '"'; }

class ConfigurationText : public Binding, public ::testing::WithParamInterface<ConfigurationCase> {};

TEST_P(ConfigurationText, AskingForResetAnywherePutsTheResetLineFirst) {
    qmx::SystemVeltraxCTL system;
    EXPECT_EQ(system.open("usb:sn:QMX2-1", GetParam().options), VX_NO_SYSTEMS_FOUND);
    EXPECT_STREQ(lastConfiguration_(), GetParam().configuration);
    // A failed open leaves the system closed.
    EXPECT_EQ(system.mode(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Options, ConfigurationText,
    ::testing::Values(ConfigurationCase{"", ""}, ConfigurationCase{"async", "async"},
                      ConfigurationCase{"reset\nasync", "device-reset\nreset\nasync"},
                      ConfigurationCase{"x-no-resetting 1", "device-reset\nx-no-resetting 1"}));

TEST_F(Binding, OpenResultsAreMappedAndNothingIsLeftOpen) {
    for (const auto& [result, status] :
         {std::pair{VX_CTL_INVALID_LOCATOR, VX_INVALID_SYSTEM_LOCATOR}, std::pair{VX_CTL_DEVICE_LIMIT_REACHED, VX_TOO_MANY_SYSTEMS},
          std::pair{VX_CTL_DRIVER_FAILED, VX_DRIVER_ERROR}}) {
        setOpenResult_(result);
        qmx::SystemVeltraxCTL system;
        EXPECT_EQ(system.open("usb:sn:QMX2-1", ""), VX_STATUS{status});
        EXPECT_FALSE(system.threadsRunning());
    }
}

}  // namespace
