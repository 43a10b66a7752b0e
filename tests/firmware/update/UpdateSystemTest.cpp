#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "UpdateTestSupport.h"
#include "ControllerRecord.h"

using namespace std::chrono_literals;

namespace {

using updatetest::module;
using updatetest::Progress;
using updatetest::recipe;
using updatetest::State;
using updatetest::UpdateTest;
using updatetest::Way;
using vxsim::BootFault;

constexpr int32_t kBootloader = 3;
constexpr int32_t kApplication = 2;
constexpr uint8_t kLine1 = 0x09;  // line 1, major 1: what the modules run
constexpr uint8_t kLine2 = 0x11;
constexpr uint8_t kLine3 = 0x19;

// Three modules of kind 2, variant 3, running line 1 version 1.3.17.
std::vector<vxsim::BootModule> threeOfKind2() {
    return {module(0x2001, 3), module(0x2002, 3), module(0x2003, 3)};
}

TEST_F(UpdateTest, ConnectAndLocators) {
    // A locator other than "usb" is kept as it is: it names no port kind.
    startOnly(Way::Tcp, State::Application, threeOfKind2());
    EXPECT_EQ(update->connect(), "no port locator given");
    for (const char* kept : {"usb:ix:1", "USBX"}) {
        update->setLocator(kept);
        EXPECT_NE(update->connect(), "") << kept;
        EXPECT_EQ(update->getState(), 0) << kept;
    }
    EXPECT_TRUE(update->getUpdateFlag(0));

    update->setLocator(sim->serveTcp());
    ASSERT_EQ(update->connect(), "");
    EXPECT_EQ(update->getState(), kApplication);
    EXPECT_EQ(update->connect(), "already conected");
    EXPECT_TRUE(recorder.steps.empty()) << "no scan in the application";
    int32_t count = 0;
    std::string text;
    EXPECT_EQ(update->getControllerCount(count), "wrong system state");
    EXPECT_EQ(update->getControllerName(0, text), "wrong system state");
    EXPECT_EQ(update->updateAll(), "wrong system state");
    EXPECT_EQ(update->enterState(7), "invalid parameter");
    ASSERT_EQ(update->enterState(kBootloader), "");
    EXPECT_EQ(update->getControllerCount(count), "");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(update->getControllerName(3, text), "invalid controller index");
    EXPECT_EQ(update->disconnect(), "");
    EXPECT_EQ(update->disconnect(), "not connected");
    EXPECT_EQ(update->enterState(kBootloader), "not connected");
}

TEST_F(UpdateTest, UsbLocatorInAnyCase) {
    for (const char* locator : {"USB", "uSb"}) {
        update.reset();
        sim.reset();
        start(Way::Usb, State::Bootloader, threeOfKind2());
        update->setLocator(locator);
        EXPECT_EQ(update->connect(), "") << locator;
        EXPECT_EQ(update->getState(), kBootloader) << locator;
    }
}

TEST_F(UpdateTest, ScanReportsModulesAndProgress) {
    const std::vector<vxsim::BootModule> modules = {module(0x2001, 3), module(0x001A, std::nullopt),
                                                    module(0x6001, 1, kLine1, 3, 17, false)};
    update = nullptr;
    start(Way::Tcp, State::Bootloader, modules);
    ASSERT_EQ(configure({{"a.fw6", recipe(2, 3, kLine1, 4)},
                         {"plain.hex", recipe(0, 255, kLine1, 4)},
                         {"zero.fw6", recipe(0, 7, kLine1, 4)},
                         {"damaged.fw6", recipe(6, 1, kLine2)}}),
              "");
    update->setLocator(sim->serveTcp());
    ASSERT_EQ(update->connect(), "");
    const std::vector<Progress> scan = {{0, 0}, {0, 50}, {33, 66}, {66, 83}, {100, 100}};
    EXPECT_EQ(recorder.steps, scan);
    EXPECT_EQ(names(), (std::vector<std::string>{"LIN (0x2001)(3)", "0 (0x001a)(255)", "FRC (0x6001)(1)"}))
        << "type names as the record gives them";
    EXPECT_EQ(current(), (std::vector<std::string>{"(1) 1.3.17", "none", "damaged"}));
    std::vector<std::string> available;
    ASSERT_EQ(update->getAvailableFirmware(1, available), "");
    EXPECT_EQ(available, std::vector<std::string>{"none"}) << "only the file that is not .fw6";
    EXPECT_TRUE(update->getUpdateFlag(0));
    EXPECT_TRUE(update->getUpdateFlag(2)) << "damaged with a candidate";
    EXPECT_FALSE(update->getUpdateFlag(3));
}

struct Choice {
    const char* name;
    std::vector<vxsim::BootImageRecipe> files;
    bool damaged;
    int32_t selected;
    bool flagged;
};

TEST_F(UpdateTest, CandidateSelection) {
    const Choice kChoices[] = {
        {"newer", {recipe(2, 3, kLine1, 2), recipe(2, 3, kLine1, 4), recipe(2, 3, kLine1, 3, 18)}, false, 1, true},
        {"older", {recipe(2, 3, kLine1, 2), recipe(2, 3, kLine1, 3, 16)}, false, 1, false},
        {"equal", {recipe(2, 3, kLine1, 3), recipe(2, 3, kLine1, 3)}, false, 0, false},
        {"own line wins", {recipe(2, 3, kLine2, 9), recipe(2, 3, kLine1, 2)}, false, 1, false},
        {"other lines only", {recipe(2, 3, kLine3), recipe(2, 3, kLine2)}, false, 0, false},
        {"damaged: smallest line", {recipe(2, 3, kLine3), recipe(2, 3, kLine2), recipe(2, 3, kLine2, 9)}, true, 1, true},
        {"no candidate", {recipe(2, 4, kLine1, 9), recipe(3, 3, kLine1, 9)}, false, -1, false},
    };
    for (const Choice& c : kChoices) {
        SCOPED_TRACE(c.name);
        update.reset();
        sim.reset();
        ASSERT_EQ(connect(Way::Tcp, State::Bootloader, {module(0x2001, 3, kLine1, 3, 17, !c.damaged)}), "");
        std::vector<std::pair<std::string, vxsim::BootImageRecipe>> files;
        for (const auto& r : c.files) files.emplace_back("f" + std::to_string(files.size()) + ".fw6", r);
        ASSERT_EQ(configure(files), "");
        int32_t selected = -2;
        EXPECT_EQ(update->getSelectedFirmware(0, selected), "");
        EXPECT_EQ(selected, c.selected);
        EXPECT_EQ(update->getUpdateFlag(0), c.flagged);
    }
}

struct ListCase {
    const char* name;
    std::vector<vxsim::BootModule> modules;
    std::function<void(vxfw::UpdateSystem&, vxsim::BootSimulator&)> adjust;
    std::vector<std::string> tasks;
    std::vector<uint16_t> addresses;  // of the first frame of each file
};

TEST_F(UpdateTest, UpdateListGroupsAndSingles) {
    const auto none = [](vxfw::UpdateSystem&, vxsim::BootSimulator&) {};
    const ListCase kCases[] = {
        {"group", threeOfKind2(), none, {"Updating all controllers of type LIN..."}, {0x2000}},
        {"one unflagged", threeOfKind2(),
         [](vxfw::UpdateSystem& u, vxsim::BootSimulator&) { EXPECT_EQ(u.setUpdateFlag(1, false, false), ""); },
         {"Updating controller LIN (0x2001)(3)...", "Updating controller LIN (0x2003)(3)..."}, {0x2001, 0x2003}},
        {"ping unanswered", threeOfKind2(),
         [](vxfw::UpdateSystem&, vxsim::BootSimulator& s) {
             s.bootloader().addFault(BootFault::silent(vxsim::boot::kPing, 1));
         },
         {"Updating controller LIN (0x2001)(3)...", "Updating controller LIN (0x2002)(3)...",
          "Updating controller LIN (0x2003)(3)..."},
         {0x2001, 0x2002, 0x2003}},
        {"extended kind", {module(0xF123, 3), module(0xF124, 3)}, none, {"Updating all controllers of type " + std::string(vxfw::moduleTypeName(16)) + "..."}, {0xF100}},
    };
    for (const ListCase& c : kCases) {
        SCOPED_TRACE(c.name);
        update.reset();
        sim.reset();
        recorder = {};
        ASSERT_EQ(connect(Way::Tcp, State::Bootloader, c.modules), "");
        const uint8_t kind = vxsim::bootKindIndex(c.modules[0].word);
        ASSERT_EQ(configure({{"new.fw6", recipe(kind, 3, kLine1, 5)}}), "");
        c.adjust(*update, *sim);
        sim->bootloader().clearHostFrames();
        recorder.tasks.clear();
        ASSERT_EQ(update->updateAll(), "");
        EXPECT_EQ(recorder.tasks, c.tasks);
        std::vector<uint16_t> firstFrames;
        for (const vxsim::Bytes& frame : sim->bootloader().hostFrames()) {
            // A firmware frame's header frame: address, length, header kind byte.
            if (frame.size() > 5 && frame[4] == vxsim::bootimage::kHeaderFrame && frame[3] != 0x01)
                firstFrames.push_back(static_cast<uint16_t>(frame[0] << 8 | frame[1]));
        }
        EXPECT_EQ(firstFrames, c.addresses);
        ASSERT_EQ(rescan(), "");
        for (size_t i = 0; i < c.modules.size(); ++i) {
            std::string version;
            EXPECT_EQ(update->getCurrentFirmware(static_cast<int32_t>(i), version), "");
            const bool sent = c.addresses.size() == 1 || c.addresses.size() == c.modules.size() ||
                              c.modules[i].word != 0x2002;
            EXPECT_EQ(version, sent ? "(1) 1.5.17" : "(1) 1.3.17") << i;
        }
    }
}

TEST_F(UpdateTest, EqualFramesGiveEvenProgress) {
    ASSERT_EQ(connect(Way::Tcp, State::Bootloader, {module(0x2001, 3)}), "");
    // Data frames as long as the header frame: ten equal frames.
    vxsim::BootImageRecipe ten = recipe(2, 3, kLine1, 4, 17, 9);
    ten.frameContent = 8;
    ASSERT_EQ(configure({{"ten.fw6", ten}}), "");
    recorder.steps.clear();
    ASSERT_EQ(update->updateAll(), "");
    std::vector<Progress> expected = {{0, 0}, {0, 0}};
    for (int p = 10; p <= 100; p += 10) expected.emplace_back(p, p);
    expected.emplace_back(100, 100);
    expected.emplace_back(100, 100);
    EXPECT_EQ(recorder.steps, expected);

    ASSERT_EQ(rescan(), "");
    recorder.steps.clear();
    ASSERT_EQ(update->updateAll(), "") << "nothing flagged";
    EXPECT_EQ(recorder.steps, (std::vector<Progress>{{100, 100}}));
}

struct Failure {
    const char* name;
    std::function<void(vxsim::BootSimulator&, const std::string& file)> fault;
    std::string error;  // the file's path follows when it ends in ": "
};

TEST_F(UpdateTest, UpdateAllFailures) {
    const Failure kFailures[] = {
        {"refused", [](vxsim::BootSimulator& s, const std::string&) {
             s.bootloader().addFault(BootFault::refuse(vxsim::boot::kFrameDamaged));
         }, "error while sending frame: crc error"},
        {"dropped", [](vxsim::BootSimulator& s, const std::string&) {
             s.bootloader().addFault(BootFault::silent(BootFault::kFirmwareFrame));
         }, "error while sending frame: timeout"},
        {"deleted", [](vxsim::BootSimulator&, const std::string& file) { std::filesystem::remove(file); },
         "could not open firmware file: "},
    };
    for (const Failure& f : kFailures) {
        SCOPED_TRACE(f.name);
        update.reset();
        sim.reset();
        // Kind 2 goes first; the failure hits the module of kind 3.
        ASSERT_EQ(connect(Way::Tcp, State::Bootloader, {module(0x2001, 3), module(0x3001, 3)}), "");
        ASSERT_EQ(configure({{"two.fw6", recipe(2, 3, kLine1, 5)}, {"three.fw6", recipe(3, 3, kLine1, 5)}}), "");
        const std::string file = dir / "three.fw6";
        sim->bootloader().addFault(BootFault::silent(vxsim::boot::kPing, 1));
        // Let the first module's file through: fault the second one's frames only.
        vxsim::BootSimulator& s = *sim;
        update->setProgressCallback(nullptr);
        struct Arm : vxfw::ProgressCallBackClass {
            std::function<void()> once;
            void progress(int, int) override {}
            void task(const std::string& text) override {
                if (text.find("0x3001") != std::string::npos && once) std::exchange(once, nullptr)();
            }
        } arm;
        arm.once = [&] { f.fault(s, file); };
        update->setProgressCallback(&arm);
        const std::string expected = f.error.back() == ' ' ? f.error + file : f.error;
        sim->bootloader().clearHostFrames();
        EXPECT_EQ(update->updateAll(), expected);
        if (f.error.back() == ' ') {
            for (const vxsim::Bytes& frame : sim->bootloader().hostFrames())
                EXPECT_FALSE(frame[0] == 0x30 && frame[1] == 0x01) << "a frame of the deleted file";
        }
        sim->bootloader().clearFaults();
        ASSERT_EQ(rescan(), "");
        EXPECT_EQ(current()[0], "(1) 1.5.17") << "the module before keeps its new firmware";
        EXPECT_NE(current()[1], "(1) 1.5.17");
    }
}

TEST_F(UpdateTest, FlaggedWithoutSelectionSendsNothing) {
    const std::function<void(vxfw::UpdateSystem&)> ways[] = {
        [](vxfw::UpdateSystem& u) { EXPECT_EQ(u.setUpdateFlag(1, true, true), ""); },
        [](vxfw::UpdateSystem& u) { EXPECT_EQ(u.selectFirmware(0, -1), ""); },
    };
    for (const auto& reach : ways) {
        update.reset();
        sim.reset();
        ASSERT_EQ(connect(Way::Tcp, State::Bootloader, {module(0x2001, 3), module(0x2002, 4)}), "");
        ASSERT_EQ(configure({{"v3.fw6", recipe(2, 3, kLine1, 5)}}), "");
        EXPECT_EQ(update->setUpdateFlag(1, false, true), "no firmware selected");
        EXPECT_EQ(update->selectFirmware(0, 1), "invalid firmware index");
        reach(*update);
        sim->bootloader().clearHostFrames();
        EXPECT_EQ(update->updateAll(), "no firmware selected");
        EXPECT_TRUE(sim->bootloader().hostFrames().empty()) << "no ping, no frame";
    }
}

}  // namespace
