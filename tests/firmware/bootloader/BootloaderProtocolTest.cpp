#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "QMXBootloaderProtocol.h"
#include "firmware/bootloader/BootTestSupport.h"

using namespace std::chrono_literals;

namespace {

using boottest::BootTest;
using boottest::Bytes;
using boottest::State;
using boottest::Way;
using fwtest::throwsUpdate;
using vxfw::QMXBootloaderProtocol;
using vxsim::BootFault;

class BootloaderProtocolTest : public BootTest {
protected:
    void open(Way way, std::vector<vxsim::BootModule> modules = boottest::threeModules()) {
        connection.open(start(way, State::Bootloader, std::move(modules)));
        ASSERT_EQ(connection.getState(), vxfw::DeviceState::Bootloader);
        protocol.setPort(&connection);
        bootloader().clearHostFrames();
        sent();
    }

    QMXBootloaderProtocol protocol;
};

TEST_F(BootloaderProtocolTest, ChecksComeInOrderAndSendNothing) {
    const std::function<void(QMXBootloaderProtocol&)> calls[] = {
        [](QMXBootloaderProtocol& p) { std::vector<uint32_t> list; p.listModules(list); },
        [](QMXBootloaderProtocol& p) { p.readModuleCode(0x2001); },
        [](QMXBootloaderProtocol& p) { p.checkFirmware(0x2001); },
        [](QMXBootloaderProtocol& p) { uint32_t a, b, c; p.readFirmwareVersion(0x2001, a, b, c); },
        [](QMXBootloaderProtocol& p) { p.pingInterface(); },
        [](QMXBootloaderProtocol& p) { const uint8_t d[2] = {}; p.sendFirmwareFrame(0x2001, 2, d); },
    };
    connection.open(start(Way::Tcp, State::Application));
    ASSERT_EQ(connection.getState(), vxfw::DeviceState::Application);
    sent();
    vxfw::SystemConnection closed;
    for (const auto& call : calls) {
        QMXBootloaderProtocol protocol;
        EXPECT_TRUE(throwsUpdate([&] { call(protocol); }, vxfw::kInvalidParameter, "no port"));
        protocol.setPort(&closed);
        EXPECT_TRUE(throwsUpdate([&] { call(protocol); }, vxfw::kPortNotOpen));
        protocol.setPort(&connection);
        EXPECT_TRUE(throwsUpdate([&] { call(protocol); }, vxfw::kWrongSystemState));
    }
    EXPECT_TRUE(sent().empty());
}

TEST_F(BootloaderProtocolTest, CommandsAndTheirReplies) {
    open(Way::Tcp);
    std::vector<uint32_t> modules{1, 2};
    protocol.listModules(modules);
    EXPECT_EQ(modules, (std::vector<uint32_t>{0x2001, 0x2002, 0x6001}));
    EXPECT_EQ(protocol.readModuleCode(0x2001), 3u);
    // A module without a hardware variant leaves the question unanswered.
    EXPECT_EQ(protocol.readModuleCode(0x6001), QMXBootloaderProtocol::kNoModuleCode);
    EXPECT_TRUE(protocol.checkFirmware(0x2002));
    uint32_t a = 0, b = 0, c = 0;
    protocol.readFirmwareVersion(0x6001, a, b, c);
    EXPECT_EQ(std::vector<uint32_t>({a, b, c}), std::vector<uint32_t>({0x11, 1, 2}));
    EXPECT_EQ(bootloader().hostFrames(),
              (std::vector<Bytes>{{0x00, 0x00, 0x00, 0x01, 0xF0}, {0x20, 0x01, 0x00, 0x01, 0xF2},
                                  {0x60, 0x01, 0x00, 0x01, 0xF2}, {0x20, 0x02, 0x00, 0x01, 0xC0},
                                  {0x60, 0x01, 0x00, 0x01, 0xF1}}));

    bootloader().setModuleValid(0x2002, false);
    EXPECT_FALSE(protocol.checkFirmware(0x2002));
    bootloader().addFault(BootFault::replace(vxsim::boot::kReadVersion,
                                             {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09}, 1));
    protocol.readFirmwareVersion(0x2001, a, b, c);
    EXPECT_EQ(std::vector<uint32_t>({a, b, c}), std::vector<uint32_t>({6, 7, 2057}));
}

TEST_F(BootloaderProtocolTest, SilencesAndRefusals) {
    open(Way::Tcp, {});
    std::vector<uint32_t> modules{1};
    EXPECT_GE(fwtest::timed([&] { protocol.listModules(modules); }), 100ms);
    EXPECT_TRUE(modules.empty());

    bootloader().addFault(BootFault::exchange(0x55, 1));
    EXPECT_TRUE(throwsUpdate([&] { protocol.readModuleCode(0x2001); }, vxfw::kProtocolError));
    // A reply whose answer byte is no E1.
    bootloader().addFault(BootFault::replace(vxsim::boot::kPing, {0xF1, 0x00, 0x00, 0x01, 0xE2}, 1));
    EXPECT_TRUE(throwsUpdate([&] { protocol.pingInterface(); }, vxfw::kProtocolError));
    // The exchange of the frame itself going unanswered is no silence of the reply.
    bootloader().setSilent(true);
    EXPECT_TRUE(throwsUpdate([&] { protocol.readModuleCode(0x2001); }, vxfw::kTimeout));
}

TEST_F(BootloaderProtocolTest, ALateFirmwareCheckIsWaitedFor) {
    open(Way::Tcp);
    bootloader().addFault(BootFault::late(vxsim::boot::kCheckFirmware, 1500ms, 1));
    bool valid = false;
    const auto took = fwtest::timed([&] { valid = protocol.checkFirmware(0x2001); });
    EXPECT_TRUE(valid);
    EXPECT_GE(took, 1500ms);
}

class PingTest : public BootloaderProtocolTest, public ::testing::WithParamInterface<Way> {};

TEST_P(PingTest, TheInterfaceAnswersAtThePortsOwnAddress) {
    open(GetParam());
    EXPECT_TRUE(protocol.pingInterface());
    const uint8_t address = GetParam() == Way::Usb ? 0x10 : GetParam() == Way::Pty ? 0x80 : 0xF1;
    EXPECT_EQ(bootloader().hostFrames(), (std::vector<Bytes>{{address, 0x00, 0x00, 0x01, 0xE0}}));
    // The opening byte, the rest after the system's AA, our AA to its reply.
    EXPECT_EQ(sent(), (Bytes{address, 0x00, 0x00, 0x01, 0xE0, 0xAA}));
    bootloader().addFault(BootFault::silent(vxsim::boot::kPing, 1));
    EXPECT_FALSE(protocol.pingInterface());
}

INSTANTIATE_TEST_SUITE_P(Carriers, PingTest, ::testing::Values(Way::Tcp, Way::Usb, Way::Pty),
                         [](const auto& info) { return boottest::wayName(info.param); });

}  // namespace

namespace {

// The frames of a firmware file's body, as the uploader cuts them.
std::vector<Bytes> framesOfFile(const std::string& text, size_t headerChars) {
    Bytes body;
    for (size_t at = headerChars; at + 1 < text.size(); at += 2)
        body.push_back(static_cast<uint8_t>(std::stoi(text.substr(at, 2), nullptr, 16)));
    std::vector<Bytes> frames;
    for (size_t at = 0; at + 2 <= body.size();) {
        const size_t length = size_t{body[at]} << 8 | body[at + 1];
        frames.emplace_back(body.begin() + static_cast<ptrdiff_t>(at),
                            body.begin() + static_cast<ptrdiff_t>(at + 2 + length));
        at += 2 + length;
    }
    return frames;
}

TEST(BootImageTest, FirmwareFilesCarryTheHeaderAndTheFrames) {
    vxsim::BootImageRecipe recipe;
    recipe.kindIndex = 2;
    recipe.version1 = 0x1A;
    recipe.version2 = 4;
    recipe.version3 = 300;
    recipe.variant = 3;
    const std::string fw6 = vxsim::bootImageFileText(recipe, true);
    const std::string other = vxsim::bootImageFileText(recipe, false);
    EXPECT_EQ(fw6.substr(0, 12), "021A04012C03");
    EXPECT_EQ(other.substr(0, 10), "021A04012C");
    EXPECT_EQ(fw6.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(framesOfFile(fw6, 12), vxsim::bootImageFrames(recipe));
    EXPECT_EQ(framesOfFile(other, 10), vxsim::bootImageFrames(recipe));
    EXPECT_EQ(vxsim::bootImageFrames(recipe).size(), 1u + recipe.dataFrames);

    const std::string path = ::testing::TempDir() + "boot-image-test.fw6";
    ASSERT_TRUE(vxsim::writeBootImageFile(path, recipe));
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), fw6);
    EXPECT_FALSE(vxsim::writeBootImageFile(::testing::TempDir() + "no/such/dir.fw6", recipe));
}

TEST_F(BootloaderProtocolTest, AnImageToAGroupInstallsInEveryModuleOfIt) {
    open(Way::Tcp);
    vxsim::BootImageRecipe recipe;
    recipe.version1 = 0x1A;
    recipe.version2 = 4;
    recipe.version3 = 300;
    const std::vector<Bytes> frames = framesOfFile(vxsim::bootImageFileText(recipe, true), 12);
    for (size_t i = 0; i < frames.size(); ++i) {
        const auto took = fwtest::timed([&] {
            protocol.sendFirmwareFrame(0x2000, static_cast<uint32_t>(frames[i].size()),
                                       frames[i].data());
        });
        // Both acknowledgements, then the short silence that ends the group.
        EXPECT_GE(took, 100ms);
        EXPECT_LT(took, 1000ms);
        // The first frame erased the firmware; the last one makes it whole.
        EXPECT_EQ(protocol.checkFirmware(0x2002), i + 1 == frames.size());
    }
    for (uint16_t word : {0x2001, 0x2002}) {
        uint32_t a = 0, b = 0, c = 0;
        protocol.readFirmwareVersion(word, a, b, c);
        EXPECT_EQ(std::vector<uint32_t>({a, b, c}), std::vector<uint32_t>({0x1A, 4, 300}));
    }
    EXPECT_TRUE(protocol.checkFirmware(0x6001));
}

TEST_F(BootloaderProtocolTest, FramesThatAreRefusedOrLost) {
    open(Way::Tcp);
    const std::vector<Bytes> frames = vxsim::bootImageFrames({});
    const auto send = [&](uint16_t address, const Bytes& frame) {
        protocol.sendFirmwareFrame(address, static_cast<uint32_t>(frame.size()), frame.data());
    };
    struct Case {
        const char* what;
        BootFault fault;
        int32_t code;
    };
    const Case cases[] = {
        {"refused", BootFault::refuse(0x12, 1), vxfw::kCrcError},
        {"damaged on the way", BootFault::corrupt(1), vxfw::kCrcError},
        {"exchange", BootFault::exchange(0x00, 1), vxfw::kProtocolError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bootloader().addFault(c.fault);
        EXPECT_TRUE(throwsUpdate([&] { send(0x6001, frames[0]); }, c.code));
    }
    // An image for another kind of module.
    EXPECT_TRUE(throwsUpdate([&] { send(0x6001, frames[0]); }, vxfw::kCrcError));
    EXPECT_TRUE(bootloader().module(0x6001)->valid);

    bootloader().addFault(BootFault::silent(BootFault::kFirmwareFrame, 1));
    const auto took = fwtest::timed(
        [&] { EXPECT_TRUE(throwsUpdate([&] { send(0x2001, frames[0]); }, vxfw::kTimeout)); });
    EXPECT_GE(took, 4000ms);
}

TEST_F(BootloaderProtocolTest, AResetInTheMiddleOfAnImageDamagesTheModule) {
    open(Way::Tcp);
    const std::vector<Bytes> frames = vxsim::bootImageFrames({});
    bootloader().addFault(BootFault::reset(2));
    for (size_t i = 0; i < 2; ++i)
        protocol.sendFirmwareFrame(0x2001, static_cast<uint32_t>(frames[i].size()),
                                   frames[i].data());
    try {
        protocol.sendFirmwareFrame(0x2001, static_cast<uint32_t>(frames[2].size()),
                                   frames[2].data());
        ADD_FAILURE() << "the frame was acknowledged";
    } catch (const vxfw::UpdateException& error) {
        // The dropped connection, or its silence when the drop comes late.
        EXPECT_TRUE(error.code() == vxfw::kReceiveError || error.code() == vxfw::kTimeout)
            << error.code();
    }
    EXPECT_EQ(bootloader().resets(), 1u);
    EXPECT_EQ(bootloader().state(), State::Bootloader);
    EXPECT_FALSE(bootloader().module(0x2001)->valid);
    EXPECT_TRUE(bootloader().module(0x2002)->valid);
    EXPECT_TRUE(sim->tcp().waitOpenLinks(0, 5000ms));
}

}  // namespace

namespace {

TEST_F(BootloaderProtocolTest, AStandardSystemsModulesAreItsChannelModules) {
    const vxsim::SystemSetup setup = vxsim::SystemSetup::standard(3, false);
    open(Way::Tcp, vxsim::BootSimulator::modulesOf(setup));
    std::vector<uint32_t> modules;
    protocol.listModules(modules);
    ASSERT_EQ(modules.size(), 3u);
    for (size_t i = 0; i < modules.size(); ++i) {
        const uint32_t version = setup.channels[i].firmwareVersion;
        EXPECT_EQ(modules[i], setup.channels[i].moduleWord);
        uint32_t a = 0, b = 0, c = 0;
        protocol.readFirmwareVersion(static_cast<uint16_t>(modules[i]), a, b, c);
        EXPECT_EQ(std::vector<uint32_t>({a, b, c}),
                  std::vector<uint32_t>({version >> 24, (version >> 16) & 0xFF, version & 0xFFFF}));
    }
}

}  // namespace
