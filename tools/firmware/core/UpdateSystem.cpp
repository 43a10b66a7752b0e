#include "UpdateSystem.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "ControllerRecord.h"
#include "DataBlockSequence.h"
#include "FirmwareFile.h"
#include "QMXAsciiProtocol.h"
#include "QMXBinaryProtocol.h"
#include "QMXBootloaderProtocol.h"
#include "SystemConnection.h"
#include "UpdateConfiguration.h"
#include "UpdateException.h"

namespace vxfw {

namespace {

constexpr char kWrongState[] = "wrong system state";
constexpr char kInvalidIndex[] = "invalid controller index";
constexpr char kNoFirmwareSelected[] = "no firmware selected";

// Module kinds that a group address can reach.
constexpr int32_t kFirstGroupKind = 1;
constexpr int32_t kLastGroupKind = 16;
// Bits 15-12 all set: extended kinds, grouped by bits 15-8.
constexpr uint32_t kExtendedKindBits = 0xF000;
constexpr uint32_t kGroupMask = 0xF000;
constexpr uint32_t kExtendedGroupMask = 0xFF00;

constexpr size_t kHcmBlockBytes = 8;
constexpr size_t kWordBytes = 4;
constexpr uint32_t kModeUnchanged = 0xFFFFFFFF;
constexpr uint32_t kHighestSensorMode = 2;

uint32_t groupAddress(uint32_t address) {
    if ((address & kExtendedKindBits) == kExtendedKindBits) return address & kExtendedGroupMask;
    return address & kGroupMask;
}

// A fraction 0 to 1 as a whole percentage, computed in single precision.
int percent(float fraction) { return static_cast<int>(fraction * 100.0f); }

void putWord(uint8_t* at, uint32_t value) {
    for (size_t i = 0; i < kWordBytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
uint32_t wordAt(const std::vector<uint8_t>& bytes, size_t word) {
    uint32_t value = 0;
    for (size_t i = 0; i < kWordBytes; ++i)
        value |= static_cast<uint32_t>(bytes[word * kWordBytes + i]) << (8 * i);
    return value;
}

struct UpdateEntry {
    int32_t controller;
    bool group;
};

}  // namespace

ProgressCallBackClass::~ProgressCallBackClass() = default;
void ProgressCallBackClass::task(const std::string&) {}

struct UpdateSystem::Impl {
    Impl() {
        bootloader.setPort(&connection);
        binary.setPort(&connection);
        ascii.setPort(&connection);
    }

    // Declared first, so destroyed last.
    SystemConnection connection;
    QMXBootloaderProtocol bootloader;
    QMXBinaryProtocol binary;
    QMXAsciiProtocol ascii;
    std::string locator;
    UpdateConfiguration configuration;
    ControllerList controllers;
    ProgressCallBackClass* callback = nullptr;
    int32_t position = 0;
    int32_t count = 0;

    void progress(int current, int overall) const {
        if (callback) callback->progress(current, overall);
    }
    void task(const std::string& text) const {
        if (callback) callback->task(text);
    }
    bool inBootloader() const { return connection.getState() == DeviceState::Bootloader; }

    // Empty when the list may be worked on at that index.
    std::string check(int32_t index) const {
        if (!inBootloader()) return kWrongState;
        if (index < 0 || index >= controllers.count()) return kInvalidIndex;
        return {};
    }

    void scanModules();
    void selectCandidates();
    std::vector<UpdateEntry> updateList();
    std::string sendFile(uint32_t address, const std::string& fileName);
    QMXApplicationProtocol& applicationProtocol();
    std::string controllerName(const ControllerRecord& record) const;
};

void UpdateSystem::Impl::scanModules() {
    progress(0, 0);
    std::vector<uint32_t> addresses;
    bootloader.listModules(addresses);
    controllers.clear();
    for (uint32_t address : addresses) {
        ControllerRecord record;
        record.setModuleAddress(address);
        controllers.append(record);
    }
    const int32_t n = controllers.count();
    for (int32_t i = 0; i < n; ++i) {
        const float f = static_cast<float>((100 * i) / n) / 100.0f;
        progress(percent(f), percent((f + 1.0f) * 0.5f));
        ControllerRecord& record = controllers.at(i);
        const auto address = static_cast<uint16_t>(record.moduleAddress());
        const auto variant = static_cast<int32_t>(bootloader.readModuleCode(address));
        record.setHardwareVariant(variant);
        FirmwareInfo installed;
        installed.setKindIndex(record.kindIndex());
        if (bootloader.checkFirmware(address)) {
            uint32_t a = 0, b = 0, c = 0;
            bootloader.readFirmwareVersion(address, a, b, c);
            installed.setVersion(static_cast<int32_t>(a), static_cast<int32_t>(b),
                                 static_cast<int32_t>(c));
            installed.setHardwareVariant(variant);
            installed.setState(FirmwareInfo::kInstalled);
        } else {
            installed.setState(FirmwareInfo::kDamaged);
        }
        record.setInstalledFirmware(installed);
    }
    progress(100, 100);
}

void UpdateSystem::Impl::selectCandidates() {
    for (int32_t r = 0; r < controllers.count(); ++r) {
        ControllerRecord& record = controllers.at(r);
        configuration.assignCandidates(record);
        const FirmwareInfo& installed = record.installedFirmware();
        const std::vector<FirmwareInfo>& candidates = record.candidates();
        int32_t selected = -1;
        bool flag = false;
        for (int32_t j = 0; j < static_cast<int32_t>(candidates.size()); ++j) {
            const FirmwareInfo& candidate = candidates[static_cast<size_t>(j)];
            const auto chosen = [&]() -> const FirmwareInfo& {
                return candidates[static_cast<size_t>(selected)];
            };
            if (installed.state() == FirmwareInfo::kDamaged) {
                if (selected < 0 || candidate.firmwareLine() < chosen().firmwareLine()) selected = j;
                flag = true;
            } else if (candidate.firmwareLine() == installed.firmwareLine()) {
                if (selected >= 0 && chosen().firmwareLine() != installed.firmwareLine()) selected = j;
                if (FirmwareInfo::compareVersions(candidate, installed) == 1) flag = true;
                if (selected < 0 || FirmwareInfo::compareVersions(candidate, chosen()) == 1)
                    selected = j;
            }
            if (selected < 0) selected = j;
        }
        record.setSelectedCandidate(selected);
        record.setUpdateFlag(flag);
    }
}

std::vector<UpdateEntry> UpdateSystem::Impl::updateList() {
    std::vector<UpdateEntry> entries;
    const bool grouping = bootloader.pingInterface();
    std::array<bool, kLastGroupKind + 1> groupable{};
    if (grouping) {
        for (int32_t kind = kFirstGroupKind; kind <= kLastGroupKind; ++kind) {
            const ControllerRecord* first = nullptr;
            bool fits = true;
            for (int32_t i = 0; i < controllers.count() && fits; ++i) {
                const ControllerRecord& record = controllers.at(i);
                if (record.kindIndex() != kind) continue;
                if (!first) first = &record;
                fits = record.updateFlag() &&
                       record.selectedCandidate() == first->selectedCandidate() &&
                       record.hardwareVariant() == first->hardwareVariant();
            }
            groupable[static_cast<size_t>(kind)] = fits;
        }
    }
    std::array<bool, kLastGroupKind + 1> grouped{};
    for (int32_t i = 0; i < controllers.count(); ++i) {
        const ControllerRecord& record = controllers.at(i);
        if (!record.updateFlag()) continue;
        const int32_t kind = record.kindIndex();
        const bool inGroup = grouping && kind >= kFirstGroupKind && kind <= kLastGroupKind &&
                             groupable[static_cast<size_t>(kind)];
        if (!inGroup) {
            entries.push_back({i, false});
        } else if (!grouped[static_cast<size_t>(kind)]) {
            grouped[static_cast<size_t>(kind)] = true;
            entries.push_back({i, true});
        }
    }
    return entries;
}

std::string UpdateSystem::Impl::sendFile(uint32_t address, const std::string& fileName) {
    progress(0, percent((static_cast<float>(position) + 0.0f) / static_cast<float>(count)));
    FirmwareFrames file;
    std::string error = decodeFirmwareFile(fileName, file);
    if (!error.empty()) return error;
    const size_t total = file.decodedBytes;
    size_t sent = 0;
    for (const std::vector<uint8_t>& frame : file.frames) {
        try {
            bootloader.sendFirmwareFrame(static_cast<uint16_t>(address),
                                         static_cast<uint32_t>(frame.size()), frame.data());
        } catch (const UpdateException& failure) {
            return "error while sending frame: " + failure.text();
        }
        sent += frame.size();
        const float p1 = static_cast<float>((sent * 100) / total) / 100.0f;
        const float p2 = (static_cast<float>(position) + p1) / static_cast<float>(count);
        progress(percent(p1), percent(p2));
    }
    progress(100, percent((static_cast<float>(position) + 1.0f) / static_cast<float>(count)));
    return {};
}

std::string UpdateSystem::Impl::controllerName(const ControllerRecord& record) const {
    char address[16];
    std::snprintf(address, sizeof address, "%04x", record.moduleAddress());
    return record.moduleTypeName() + " (0x" + address + ")(" + toText(record.hardwareVariant()) +
           ")";
}

QMXApplicationProtocol& UpdateSystem::Impl::applicationProtocol() {
    switch (connection.getPortType()) {
    case PortType::Usb:
        return binary;
    case PortType::Network:
        if (connection.getProtocolKind() == ProtocolKind::Ascii) return ascii;
        return binary;
    case PortType::Com:
        break;
    }
    return ascii;
}

UpdateSystem::UpdateSystem() : impl_(std::make_unique<Impl>()) {}
UpdateSystem::~UpdateSystem() = default;

SystemConnection& UpdateSystem::connection() { return impl_->connection; }

std::string UpdateSystem::setLocator(const std::string& locator) {
    std::string lower = locator;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    impl_->locator = lower == "usb" ? "usb:ix:0" : locator;
    return {};
}

std::string UpdateSystem::listPorts(std::vector<std::string>& out) {
    impl_->connection.listLocators(out);
    return {};
}

std::string UpdateSystem::setProgressCallback(ProgressCallBackClass* callback) {
    impl_->callback = callback;
    return {};
}

std::string UpdateSystem::connect() {
    if (impl_->connection.getState() != DeviceState::Closed) return "already conected";
    if (impl_->locator.empty()) return "no port locator given";
    try {
        impl_->connection.open(impl_->locator);
        if (impl_->inBootloader()) {
            impl_->scanModules();
            impl_->selectCandidates();
        }
    } catch (const UpdateException& failure) {
        impl_->connection.close();
        return failure.text();
    }
    return {};
}

std::string UpdateSystem::disconnect() {
    if (impl_->connection.getState() == DeviceState::Closed) return "not connected";
    impl_->connection.close();
    return {};
}

int32_t UpdateSystem::getState() const {
    return static_cast<int32_t>(impl_->connection.getState());
}

std::string UpdateSystem::enterState(int32_t state) {
    if (impl_->connection.getState() == DeviceState::Closed) return "not connected";
    try {
        if (state == static_cast<int32_t>(DeviceState::Application)) {
            if (!impl_->connection.enterApplication()) return "failed to enter application state";
            return {};
        }
        if (state == static_cast<int32_t>(DeviceState::Bootloader)) {
            if (!impl_->connection.enterBootloader()) return "failed to enter bootloader state";
            impl_->scanModules();
            impl_->selectCandidates();
            return {};
        }
    } catch (const UpdateException& failure) {
        return failure.text();
    }
    return "invalid parameter";
}

std::string UpdateSystem::loadUpdateConfiguration(std::string fileName) {
    try {
        impl_->configuration.load(std::move(fileName));
        impl_->selectCandidates();
    } catch (const UpdateException& failure) {
        return failure.text();
    }
    return {};
}

std::string UpdateSystem::getControllerCount(int32_t& count) {
    if (!impl_->inBootloader()) return kWrongState;
    count = impl_->controllers.count();
    return {};
}

std::string UpdateSystem::getControllerName(int32_t index, std::string& name) {
    std::string error = impl_->check(index);
    if (!error.empty()) return error;
    name = impl_->controllerName(impl_->controllers.at(index));
    return {};
}

std::string UpdateSystem::getCurrentFirmware(int32_t index, std::string& version) {
    std::string error = impl_->check(index);
    if (!error.empty()) return error;
    version = impl_->controllers.at(index).installedFirmware().versionText();
    return {};
}

std::string UpdateSystem::getAvailableFirmware(int32_t index, std::vector<std::string>& versions) {
    std::string error = impl_->check(index);
    if (!error.empty()) return error;
    versions.clear();
    for (const FirmwareInfo& candidate : impl_->controllers.at(index).candidates())
        versions.push_back(candidate.versionText());
    return {};
}

std::string UpdateSystem::getSelectedFirmware(int32_t index, int32_t& candidate) {
    std::string error = impl_->check(index);
    if (!error.empty()) return error;
    candidate = impl_->controllers.at(index).selectedCandidate();
    return {};
}

std::string UpdateSystem::selectFirmware(int32_t index, int32_t candidate) {
    std::string error = impl_->check(index);
    if (!error.empty()) return error;
    if (!impl_->controllers.at(index).setSelectedCandidate(candidate)) return "invalid firmware index";
    return {};
}

bool UpdateSystem::getUpdateFlag(int32_t index) const {
    if (!impl_->inBootloader()) return true;
    if (index < 0 || index >= impl_->controllers.count()) return false;
    return impl_->controllers.at(index).updateFlag();
}

std::string UpdateSystem::setUpdateFlag(int32_t index, bool allOfKind, bool value) {
    std::string error = impl_->check(index);
    if (!error.empty()) return error;
    ControllerList& controllers = impl_->controllers;
    if (allOfKind) {
        const int32_t kind = controllers.at(index).kindIndex();
        for (int32_t i = 0; i < controllers.count(); ++i)
            if (controllers.at(i).kindIndex() == kind) controllers.at(i).setUpdateFlag(value);
        return {};
    }
    if (controllers.at(index).selectedCandidate() < 0) return kNoFirmwareSelected;
    controllers.at(index).setUpdateFlag(value);
    return {};
}

std::string UpdateSystem::updateAll() {
    if (!impl_->inBootloader()) return kWrongState;
    ControllerList& controllers = impl_->controllers;
    // A flag can be set without a selection; nothing is sent then.
    for (int32_t i = 0; i < controllers.count(); ++i)
        if (controllers.at(i).updateFlag() && controllers.at(i).selectedCandidate() < 0)
            return kNoFirmwareSelected;
    try {
        const std::vector<UpdateEntry> entries = impl_->updateList();
        impl_->count = static_cast<int32_t>(entries.size());
        impl_->position = 0;
        while (impl_->position < impl_->count) {
            const UpdateEntry& entry = entries[static_cast<size_t>(impl_->position)];
            impl_->progress(0, percent((static_cast<float>(impl_->position) + 0.0f) /
                                       static_cast<float>(impl_->count)));
            const ControllerRecord& record = controllers.at(entry.controller);
            const uint32_t address =
                entry.group ? groupAddress(record.moduleAddress()) : record.moduleAddress();
            const std::string& fileName =
                record.candidates()[static_cast<size_t>(record.selectedCandidate())].fileName();
            if (entry.group)
                impl_->task("Updating all controllers of type " + record.moduleTypeName() + "...");
            else
                impl_->task("Updating controller " + impl_->controllerName(record) + "...");
            std::string error = impl_->sendFile(address, fileName);
            if (!error.empty()) return error;
            ++impl_->position;
        }
        impl_->position = impl_->count - 1;
        impl_->progress(100, 100);
    } catch (const UpdateException& failure) {
        return failure.text();
    }
    return {};
}

std::string UpdateSystem::getDamagedLeftOut(std::vector<std::string>& names) {
    names.clear();
    if (!impl_->inBootloader()) return kWrongState;
    for (int32_t i = 0; i < impl_->controllers.count(); ++i) {
        const ControllerRecord& record = impl_->controllers.at(i);
        if (!record.updateFlag() && record.installedFirmware().state() == FirmwareInfo::kDamaged)
            names.push_back(impl_->controllerName(record));
    }
    return {};
}

std::string UpdateSystem::readConfiguration(vxdata::DataBlockSequence& blocks) {
    try {
        QMXApplicationProtocol& protocol = impl_->applicationProtocol();
        blocks.clear();
        const bool hcm = protocol.isHCMPresent();
        const float steps = hcm ? 3.0f : 2.0f;
        impl_->progress(0, 0);
        const int32_t n = protocol.getNumberOfChannels();
        const auto mode = static_cast<uint32_t>(protocol.getSensorEnabled());
        impl_->progress(0, percent(1.0f / steps));
        for (int32_t i = 0; i < n; ++i) {
            const uint32_t words[] = {
                static_cast<uint32_t>(protocol.getSensorType(i)),
                mode,
                static_cast<uint32_t>(protocol.getClosedLoopMaxFrequency(i)),
                protocol.getDynamicAmplitudeDetection(i) ? 1u : 0u,
                protocol.getDistanceCodeInverted(i) ? 1u : 0u,
                static_cast<uint32_t>(protocol.getPhysicalScaleOffset(i)),
            };
            std::array<uint8_t, kChannelBlockSize> payload{};
            for (size_t w = 0; w < std::size(words); ++w) putWord(&payload[w * kWordBytes], words[w]);
            blocks.addBlock(kChannelBlock, kBlockFormat, kChannelBlockSize, payload.data());
            const float done = static_cast<float>(i) / static_cast<float>(n);
            impl_->progress(percent(done), percent((1.0f + done) / steps));
        }
        impl_->progress(0, percent(2.0f / steps));
        if (hcm) {
            uint32_t type = 0, size = 0;
            protocol.readHCMEepromType(type, size);
            std::vector<uint8_t> payload(kWordBytes + size + kHcmBlockBytes);
            putWord(payload.data(), type);
            for (uint32_t offset = 0; offset < size; offset += kHcmBlockBytes) {
                protocol.readHCMConfigBlock(offset, &payload[kWordBytes + offset]);
                const float done = static_cast<float>(offset + kHcmBlockBytes) / static_cast<float>(size);
                impl_->progress(percent(done), percent((2.0f + done) / steps));
            }
            blocks.addBlock(kHandControlBlock, kBlockFormat, static_cast<uint32_t>(kWordBytes + size),
                            payload.data());
        }
        impl_->progress(100, 100);
    } catch (const UpdateException& failure) {
        return failure.text();
    }
    return {};
}

std::string UpdateSystem::writeConfiguration(const vxdata::DataBlockSequence& blocks) {
    try {
        QMXApplicationProtocol& protocol = impl_->applicationProtocol();
        uint32_t mode = kModeUnchanged;
        bool modeRead = false;
        int32_t channel = 0;
        const auto count = static_cast<float>(blocks.count());
        for (size_t b = 0; b < blocks.count(); ++b) {
            const vxdata::DataBlock& block = *blocks.block(b);
            impl_->progress(0, percent((static_cast<float>(b) + 0.0f) / count));
            if (block.blockType == kChannelBlock) {
                if (block.formatVersion != kBlockFormat) return "unknown block format version";
                if (block.payloadSize() != kChannelBlockSize) return "wrong block size";
                const auto word = [&](size_t w) { return wordAt(block.payload, w); };
                protocol.setSensorType(channel, static_cast<int32_t>(word(0)));
                protocol.setClosedLoopMaxFrequency(channel, static_cast<int32_t>(word(2)));
                protocol.setDynamicAmplitudeDetection(channel, word(3) != 0);
                protocol.setDistanceCodeInverted(channel, word(4) != 0);
                protocol.setPhysicalScaleOffset(channel, static_cast<int32_t>(word(5)));
                mode = word(1);
                modeRead = true;
                ++channel;
            } else if (block.blockType == kHandControlBlock && protocol.isHCMPresent()) {
                if (block.formatVersion != kBlockFormat) return "unknown block format version";
                uint32_t type = 0, size = 0;
                protocol.readHCMEepromType(type, size);
                if (block.payloadSize() < kWordBytes || type != wordAt(block.payload, 0))
                    return "HCM config mismatch";
                if (size + kWordBytes != block.payloadSize()) return "invalid HCM block content";
                std::vector<uint8_t> image(block.payload.begin() + kWordBytes, block.payload.end());
                image.resize(size + kHcmBlockBytes);
                for (uint32_t offset = 0; offset < size; offset += kHcmBlockBytes) {
                    protocol.writeHCMConfigBlock(offset, &image[offset]);
                    const float done = static_cast<float>(offset + kHcmBlockBytes) / static_cast<float>(size);
                    impl_->progress(percent(done), percent((static_cast<float>(b) + done) / count));
                }
            }
        }
        if (modeRead && mode != kModeUnchanged) {
            if (mode > kHighestSensorMode) return "invalid sensor mode";
            protocol.setSensorEnabled(static_cast<int32_t>(mode));
        }
        impl_->progress(100, 100);
    } catch (const UpdateException& failure) {
        return failure.text();
    }
    return {};
}

}  // namespace vxfw
