#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "UpdateTestSupport.h"
#include "DataBlockSequence.h"

namespace {

using updatetest::module;
using updatetest::Progress;
using updatetest::State;
using updatetest::UpdateTest;
using updatetest::Way;
using vxfw::UpdateSystem;
using Tuning = vxsim::ControllerModel::Table;

constexpr uint8_t kTunedParameters[] = {2, 4, 5, 6};
constexpr size_t kChannels = 3;

vxsim::SystemSetup withHandControl(uint16_t eepromType = 0x3D01) {
    vxsim::SystemSetup setup = vxsim::SystemSetup::standard(kChannels, true);
    setup.hcmEepromType = eepromType;
    return setup;
}

// What the update keeps of a system.
struct Settings {
    std::vector<int32_t> values;  // per channel: sensor type, the tuned parameters
    uint8_t mode;
    std::vector<uint8_t> image;
    bool operator==(const Settings&) const = default;
};

Settings settingsOf(const vxsim::ControllerModel& model) {
    Settings s{{}, model.sensorEnabled(), model.image()};
    for (size_t c = 0; c < model.channelCount(); ++c) {
        s.values.push_back(model.sensorType(c));
        for (uint8_t p : kTunedParameters) s.values.push_back(model.tableValue(c, Tuning::Tuning, p));
    }
    return s;
}

// Distinct settings per `seed`, within what every protocol carries.
void scramble(vxsim::ControllerModel& model, int32_t seed) {
    for (size_t c = 0; c < model.channelCount(); ++c) {
        const auto i = static_cast<int32_t>(c);
        model.setSensorType(c, static_cast<uint8_t>(1 + (seed + i) % 2));
        model.setTableValue(c, Tuning::Tuning, 2, 1000 * seed + i);
        model.setTableValue(c, Tuning::Tuning, 4, (seed + i) % 2);
        model.setTableValue(c, Tuning::Tuning, 5, (seed + i + 1) % 2);
        model.setTableValue(c, Tuning::Tuning, 6, -17 * seed - i);
    }
    model.setSensorEnabled(static_cast<uint8_t>(seed % 3));
    std::vector<uint8_t> image = model.image();
    for (size_t b = 0; b < image.size(); ++b) image[b] = static_cast<uint8_t>(b * 7 + static_cast<size_t>(seed));
    model.writeImage(0, image.data(), image.size());
}

class SaveRestore : public UpdateTest, public ::testing::WithParamInterface<Way> {};

TEST_P(SaveRestore, SettingsSurviveAChange) {
    ASSERT_EQ(connect(GetParam(), State::Application, {module(0x2001, 3)}, withHandControl()), "");
    vxsim::ControllerModel& model = sim->model();
    scramble(model, 1);
    const bool binary = GetParam() != Way::Pty;
    if (!binary) model.writeImage(0, std::vector<uint8_t>(model.image().size(), 0).data(), model.image().size());
    const Settings saved = settingsOf(model);

    vxdata::DataBlockSequence blocks;
    recorder.steps.clear();
    ASSERT_EQ(update->readConfiguration(blocks), "");
    ASSERT_EQ(blocks.count(), kChannels + (binary ? 1 : 0));
    for (size_t b = 0; b < kChannels; ++b) EXPECT_EQ(blocks.block(b)->blockType, UpdateSystem::kChannelBlock);
    if (binary) {
        EXPECT_EQ(blocks.block(kChannels)->blockType, UpdateSystem::kHandControlBlock);
        EXPECT_EQ(blocks.block(kChannels)->payloadSize(), 4 + model.image().size());
    } else {
        const std::vector<Progress> expected = {{0, 0}, {0, 50}, {0, 50}, {33, 66}, {66, 83}, {0, 100}, {100, 100}};
        EXPECT_EQ(recorder.steps, expected);
        // Over text a hand-control block is skipped.
        const uint32_t type = 0x3D01;
        blocks.addBlock(UpdateSystem::kHandControlBlock, 1, 4, &type);
    }

    scramble(model, 2);
    if (!binary) model.writeImage(0, saved.image.data(), saved.image.size());
    ASSERT_NE(settingsOf(model), saved);
    recorder.steps.clear();
    ASSERT_EQ(update->writeConfiguration(blocks), "");
    EXPECT_EQ(settingsOf(model), saved);
    ASSERT_FALSE(recorder.steps.empty());
    EXPECT_EQ(recorder.steps.back(), Progress(100, 100));
}

INSTANTIATE_TEST_SUITE_P(Ways, SaveRestore, ::testing::Values(Way::Tcp, Way::Usb, Way::Pty),
                         [](const auto& info) { return std::string(boottest::wayName(info.param)); });

struct WriteCase {
    const char* name;
    std::function<void(vxdata::DataBlockSequence&)> change;
    std::string error;
    size_t channelsApplied;  // channels whose settings came back
    bool modeApplied;
};

void setWord(vxdata::DataBlock& block, size_t word, uint32_t value) {
    std::memcpy(&block.payload[word * 4], &value, 4);
}

TEST_F(UpdateTest, WriteConfigurationRefusals) {
    const WriteCase kCases[] = {
        {"version 2 in the second channel", [](vxdata::DataBlockSequence& s) { s.block(1)->formatVersion = 2; },
         "unknown block format version", 1, false},
        {"other EEPROM type", [](vxdata::DataBlockSequence& s) { setWord(*s.block(kChannels), 0, 0xFD01); },
         "HCM config mismatch", kChannels, false},
        {"mode 3", [](vxdata::DataBlockSequence& s) { setWord(*s.block(kChannels - 1), 1, 3); },
         "invalid sensor mode", kChannels, false},
        {"mode unchanged", [](vxdata::DataBlockSequence& s) { setWord(*s.block(kChannels - 1), 1, 0xFFFFFFFF); },
         "", kChannels, false},
        {"short channel block", [](vxdata::DataBlockSequence& s) { s.block(0)->payload.pop_back(); },
         "wrong block size", 0, false},
    };
    for (const WriteCase& c : kCases) {
        SCOPED_TRACE(c.name);
        update.reset();
        sim.reset();
        ASSERT_EQ(connect(Way::Tcp, State::Application, {module(0x2001, 3)}, withHandControl()), "");
        vxsim::ControllerModel& model = sim->model();
        scramble(model, 1);
        const Settings saved = settingsOf(model);
        vxdata::DataBlockSequence blocks;
        ASSERT_EQ(update->readConfiguration(blocks), "");
        c.change(blocks);
        scramble(model, 2);
        const Settings changed = settingsOf(model);
        EXPECT_EQ(update->writeConfiguration(blocks), c.error);
        const Settings now = settingsOf(model);
        const size_t perChannel = 1 + std::size(kTunedParameters);
        for (size_t v = 0; v < now.values.size(); ++v)
            EXPECT_EQ(now.values[v], (v / perChannel < c.channelsApplied ? saved : changed).values[v]) << v;
        EXPECT_EQ(now.mode, c.modeApplied ? saved.mode : changed.mode);
    }

    update.reset();
    sim.reset();
    update = std::make_unique<UpdateSystem>();
    vxdata::DataBlockSequence blocks;
    const std::string noPort = vxfw::UpdateException(vxfw::kPortNotOpen).text();
    EXPECT_EQ(update->readConfiguration(blocks), noPort);
    EXPECT_EQ(update->writeConfiguration(blocks), noPort);
}

}  // namespace
