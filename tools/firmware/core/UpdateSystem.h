#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vxdata {
class DataBlockSequence;
}

namespace vxfw {

class SystemConnection;

// What the update system reports while it works. Called on the thread that
// runs the operation, and only when a callback is set.
class ProgressCallBackClass {
public:
    virtual ~ProgressCallBackClass();
    // Whole percentages 0 to 100: the running step and the whole operation.
    virtual void progress(int current, int overall) = 0;
    // Names the step that begins.
    virtual void task(const std::string& text);
};

// The one object through which the uploader works on a controller system:
// its connection, protocols, update configuration and controller list.
// Every operation but getState and getUpdateFlag returns an empty text on
// success, else the error text. No lock: one thread at a time.
class UpdateSystem {
public:
    // Block types of the configuration kept across an update.
    static constexpr uint32_t kChannelBlock = 0x10C2;
    static constexpr uint32_t kHandControlBlock = 0x10C5;
    static constexpr uint32_t kBlockFormat = 1;
    static constexpr uint32_t kChannelBlockSize = 24;

    UpdateSystem();
    ~UpdateSystem();
    UpdateSystem(const UpdateSystem&) = delete;
    UpdateSystem& operator=(const UpdateSystem&) = delete;

    // "usb" in any case becomes the first USB port's locator.
    std::string setLocator(const std::string& locator);
    std::string listPorts(std::vector<std::string>& out);
    std::string setProgressCallback(ProgressCallBackClass* callback);

    std::string connect();
    std::string disconnect();
    // 0 closed, 2 application, 3 bootloader (1 only while opening).
    int32_t getState() const;
    std::string enterState(int32_t state);
    std::string loadUpdateConfiguration(std::string fileName);

    // The controller list; bootloader state only.
    std::string getControllerCount(int32_t& count);
    std::string getControllerName(int32_t index, std::string& name);
    std::string getCurrentFirmware(int32_t index, std::string& version);
    std::string getAvailableFirmware(int32_t index, std::vector<std::string>& versions);
    std::string getSelectedFirmware(int32_t index, int32_t& candidate);
    std::string selectFirmware(int32_t index, int32_t candidate);
    bool getUpdateFlag(int32_t index) const;
    std::string setUpdateFlag(int32_t index, bool allOfKind, bool value);
    // Sends the selected firmware to every flagged module; refuses at once
    // ("no firmware selected") when a flagged module has no selection.
    std::string updateAll();
    // The names of the modules whose firmware is damaged and that are not
    // marked: an update leaves them damaged. Bootloader state only.
    std::string getDamagedLeftOut(std::vector<std::string>& names);

    // The settings that survive an update, read in and written back over
    // the application protocol that the port chooses.
    std::string readConfiguration(vxdata::DataBlockSequence& blocks);
    std::string writeConfiguration(const vxdata::DataBlockSequence& blocks);

    // The connection, for tests that shorten its fixed waits.
    SystemConnection& connection();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vxfw
