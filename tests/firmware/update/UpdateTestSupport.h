#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SystemConnection.h"
#include "UpdateSystem.h"
#include "firmware/bootloader/BootTestSupport.h"
#include "firmware/files/FilesTestSupport.h"
#include "sim/BootImage.h"

namespace updatetest {

using boottest::State;
using boottest::Way;
using Progress = std::pair<int, int>;

struct Recorder : vxfw::ProgressCallBackClass {
    void progress(int current, int overall) override { steps.emplace_back(current, overall); }
    void task(const std::string& text) override { tasks.push_back(text); }
    std::vector<Progress> steps;
    std::vector<std::string> tasks;
};

// A module of `word` with installed firmware `version1`.`version2`.`version3`.
inline vxsim::BootModule module(uint16_t word, std::optional<uint8_t> variant, uint8_t version1 = 0x09,
                                uint8_t version2 = 3, uint16_t version3 = 17, bool valid = true) {
    return {word, variant, valid, version1, version2, version3};
}

// An update system on a simulated system whose fixed waits take no time,
// reporting to `recorder`; firmware files go to `dir`.
class UpdateTest : public usbtest::UsbTest {
protected:
    void TearDown() override {
        update.reset();
        sim.reset();
        UsbTest::TearDown();
    }

    std::string start(Way way, State state, std::vector<vxsim::BootModule> modules,
                      vxsim::SystemSetup setup = vxsim::SystemSetup::standard(3, false)) {
        sim = std::make_unique<vxsim::BootSimulator>(std::move(setup), std::move(modules), state);
        update = std::make_unique<vxfw::UpdateSystem>();
        update->connection().setPauseLimit(std::chrono::milliseconds(0));
        update->setProgressCallback(&recorder);
        this->way = way;
        return boottest::serve(*sim, way);
    }

    std::string connect(Way way, State state, std::vector<vxsim::BootModule> modules,
                        vxsim::SystemSetup setup = vxsim::SystemSetup::standard(3, false)) {
        const std::string locator = start(way, state, std::move(modules), std::move(setup));
        update->setLocator(locator);
        return update->connect();
    }
    // Starts a system in its application, without the update system's locator set.
    void startOnly(Way way, State state, std::vector<vxsim::BootModule> modules) {
        start(way, state, std::move(modules));
    }

    // Writes the firmware files and an update configuration naming them,
    // and loads it; gives the load's result.
    std::string configure(const std::vector<std::pair<std::string, vxsim::BootImageRecipe>>& files) {
        std::string text = "<!DOCTYPE VXFirmwareUpdateConfiguration>\n<VXFirmwareUpdateConfiguration>\n";
        for (const auto& [name, recipe] : files) {
            EXPECT_TRUE(vxsim::writeBootImageFile(dir / name, recipe)) << name;
            text += "<file name=\"" + name + "\"/>\n";
        }
        fwtest::writeFile(dir / "update.xml", text + "</VXFirmwareUpdateConfiguration>\n");
        return update->loadUpdateConfiguration(dir / "update.xml");
    }

    // The module scan anew, as after a restart of the wizard.
    std::string rescan() {
        update->disconnect();
        return update->connect();
    }

    std::vector<std::string> names() {
        int32_t count = 0;
        EXPECT_EQ(update->getControllerCount(count), "");
        std::vector<std::string> out(static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) EXPECT_EQ(update->getControllerName(i, out[static_cast<size_t>(i)]), "");
        return out;
    }
    std::vector<std::string> current() {
        int32_t count = 0;
        EXPECT_EQ(update->getControllerCount(count), "");
        std::vector<std::string> out(static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) EXPECT_EQ(update->getCurrentFirmware(i, out[static_cast<size_t>(i)]), "");
        return out;
    }

    std::unique_ptr<vxsim::BootSimulator> sim;
    std::unique_ptr<vxfw::UpdateSystem> update;
    Recorder recorder;
    fwtest::TempDir dir;
    Way way = Way::Tcp;
};

// A recipe for modules of `kind` and `variant` installing line.major `version1`.
inline vxsim::BootImageRecipe recipe(uint8_t kind, uint8_t variant, uint8_t version1, uint8_t version2 = 3,
                                     uint16_t version3 = 17, uint16_t frames = 4) {
    vxsim::BootImageRecipe r;
    r.kindIndex = kind;
    r.variant = variant;
    r.version1 = version1;
    r.version2 = version2;
    r.version3 = version3;
    r.dataFrames = frames;
    return r;
}

}  // namespace updatetest
