// Which address each firmware frame goes to, as the simulated modules took
// them: when the interface module answers its ping, every kind whose
// modules are all flagged for the same file gets one transfer to its group
// address (a kind of one module too), on every carrier; a kind with a
// module left out, or every kind when the ping goes unanswered, is written
// module by module through the modules' own addresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "UpdateTestSupport.h"
#include "sim/UpdateFolder.h"

namespace vxsim {
void PrintTo(const FrameWrite& write, std::ostream* out) {
    *out << std::hex << "to " << write.address << " reaching";
    for (uint16_t word : write.modules) *out << ' ' << word;
}
}  // namespace vxsim

namespace {

using updatetest::module;
using updatetest::State;
using updatetest::UpdateTest;
using updatetest::Way;
using vxsim::FrameWrite;

constexpr uint16_t kFrames = 5;  // the header frame and four data frames

// `count` frames, each to `address` and reaching `modules`.
std::vector<FrameWrite> frames(uint16_t address, std::vector<uint16_t> modules, size_t count = kFrames) {
    return std::vector<FrameWrite>(count, FrameWrite{address, std::move(modules)});
}

std::vector<FrameWrite> operator+(std::vector<FrameWrite> a, const std::vector<FrameWrite>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct GroupCase {
    const char* name;
    Way way;
    // Done after the scan, before the update.
    std::function<void(vxfw::UpdateSystem&, vxsim::BootSimulator&)> prepare;
    std::vector<FrameWrite> writes;
};

const auto kAsOffered = [](vxfw::UpdateSystem&, vxsim::BootSimulator&) {};

void PrintTo(const GroupCase& c, std::ostream* out) { *out << c.name; }

class GroupAddress : public UpdateTest, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(GroupAddress, FramesGoToTheAddressTheModulesShare) {
    // Two modules of kind 2 and one of kind 6, in list order.
    const std::vector<vxsim::BootModule> modules = {module(0x2001, 3), module(0x2002, 3), module(0x6001, 1)};
    ASSERT_EQ(connect(GetParam().way, State::Bootloader, modules), "");
    ASSERT_EQ(vxsim::writeUpdateFolder(dir.path(), vxsim::newerFirmware(modules)), "");
    ASSERT_EQ(update->loadUpdateConfiguration(dir / "update.xml"), "");
    GetParam().prepare(*update, *sim);
    sim->bootloader().clearHostFrames();
    ASSERT_EQ(update->updateAll(), "");
    EXPECT_EQ(sim->bootloader().frameWrites(), GetParam().writes);
    // A module that frames reached holds the new firmware, any other its old.
    for (const vxsim::BootModule& before : modules) {
        const bool reached = std::any_of(GetParam().writes.begin(), GetParam().writes.end(), [&](const FrameWrite& w) {
            return std::find(w.modules.begin(), w.modules.end(), before.word) != w.modules.end();
        });
        const auto now = sim->bootloader().module(before.word);
        ASSERT_TRUE(now.has_value());
        EXPECT_TRUE(now->valid) << before.word;
        EXPECT_EQ(now->version2, before.version2 + (reached ? 1 : 0)) << before.word;
    }
}

const std::vector<FrameWrite> kGrouped = frames(0x2000, {0x2001, 0x2002}) + frames(0x6000, {0x6001});
const std::vector<FrameWrite> kSingly =
    frames(0x2001, {0x2001}) + frames(0x2002, {0x2002}) + frames(0x6001, {0x6001});

INSTANTIATE_TEST_SUITE_P(
    Carriers, GroupAddress,
    ::testing::Values(GroupCase{"Tcp", Way::Tcp, kAsOffered, kGrouped},
                      GroupCase{"Usb", Way::Usb, kAsOffered, kGrouped},
                      GroupCase{"Pty", Way::Pty, kAsOffered, kGrouped},
                      // Without the interface module's answer to its ping no
                      // group address is used.
                      GroupCase{"Unpinged", Way::Tcp,
                                [](vxfw::UpdateSystem&, vxsim::BootSimulator& s) {
                                    s.bootloader().addFault(vxsim::BootFault::silent(vxsim::boot::kPing, 1));
                                },
                                kSingly},
                      // One of the pair left out: the other alone, through its own address.
                      GroupCase{"PairSplit", Way::Tcp,
                                [](vxfw::UpdateSystem& u, vxsim::BootSimulator&) {
                                    EXPECT_EQ(u.setUpdateFlag(1, false, false), "");
                                },
                                frames(0x2001, {0x2001}) + frames(0x6000, {0x6001})}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
