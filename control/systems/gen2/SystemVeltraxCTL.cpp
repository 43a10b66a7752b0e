#include "systems/gen2/SystemVeltraxCTL.h"

#include <array>
#include <chrono>
#include <utility>

#include "common/CtlLibrary.h"
#include "systems/gen2/CtlBatches.h"
#include "systems/gen2/CtlConversions.h"

namespace qmx {

namespace {

using Functions = CtlFunctions;

constexpr const char* kResetOption = "reset";
constexpr const char* kAsyncOption = "async";
constexpr const char* kResetConfiguration = "device-reset\n";
constexpr const char* kIndexLocatorPrefix = "usb:ix:";
constexpr const char* kSerialLocatorPrefix = "usb:sn:";

// Channel and module counts a controller may report.
constexpr int32_t kMaxCount = 127;
// Versions: the module's kind and numbers, a channel module's two kinds
// and two sets of numbers.
constexpr size_t kModuleVersionNumbers = 4;
constexpr size_t kChannelVersionKinds = 2;
constexpr size_t kChannelVersionNumbers = 8;
constexpr size_t kVersionArrayRoom = 16;
// Catalogue codes that name no positioner type.
constexpr int32_t kFirstReservedType = 250;
constexpr int32_t kLastReservedType = 253;
constexpr size_t kSpeedLevelCapacity = 64;
// More queued packets than this make the queue overflow.
constexpr size_t kPacketQueueLimit = 255;
// How long a job failed by a lost connection waits for the event thread to
// set the lasting read error; the loss event is posted as the job fails.
constexpr auto kLossReportWait = std::chrono::milliseconds(500);

constexpr uint32_t kNoTimeLimit = 0xFFFFFFFF;

// Events of a channel whose movement ended for a reason the channel's
// last command explains.
constexpr uint32_t kEventStateCalibrating = 2;
constexpr uint32_t kEventStateReferencing = 3;

bool contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

}  // namespace

SystemVeltraxCTL::SystemVeltraxCTL() = default;

SystemVeltraxCTL::~SystemVeltraxCTL() { close(); }

std::vector<SystemVeltraxCTL::ChannelRecord> SystemVeltraxCTL::channelRecords() const {
    std::lock_guard<std::mutex> api(apiMutex_);
    return channels_;
}

uint32_t SystemVeltraxCTL::interfaceFirmwareVersion() const {
    std::lock_guard<std::mutex> api(apiMutex_);
    return interfaceFirmwareVersion_;
}

uint32_t SystemVeltraxCTL::handControlModuleFirmwareVersion() const {
    std::lock_guard<std::mutex> api(apiMutex_);
    return handControlModuleFirmwareVersion_;
}

VX_STATUS SystemVeltraxCTL::open(const char* locatorText, const char* optionsText) {
    if (!binding_.bind()) return VX_DRIVER_ERROR;
    std::lock_guard<std::mutex> api(apiMutex_);
    if (mode_.load() != kClosed) return VX_SYSTEM_ALREADY_ADDED;
    const std::string locator = locatorText ? locatorText : "";
    const std::string options = optionsText ? optionsText : "";

    if (const VX_STATUS status = openDevice(locator, options)) return status;
    groupWatch_.begin();
    mode_ = contains(options, kAsyncOption) ? kAsynchronous : kSynchronous;
    locator_ = locator;
    uniqueLocator_ = locator;
    if (const VX_STATUS status = readDeviceSetup()) {
        close();
        return status;
    }
    if (mode_.load() == kAsynchronous) startThreads();
    bufferedOutput_ = false;
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::openDevice(const std::string& locator, const std::string& options) {
    std::string configuration = contains(options, kResetOption) ? kResetConfiguration : "";
    configuration += options;
    VX_CTL_DeviceHandle handle = 0;
    const uint32_t result = binding_.functions().Open(&handle, locator.c_str(), configuration.c_str());
    if (result != 0) return mapCtlResult(result);
    {
        std::unique_lock<std::shared_mutex> gate(deviceGate_);
        deviceHandle_ = handle;
        deviceOpen_ = true;
        closing_ = false;
    }
    // What an earlier session left ends after the packet mutex: a group
    // ticket's end takes the watch's mutex.
    std::deque<Job> jobs;
    std::deque<Job> parkedJobs;
    std::deque<std::shared_ptr<GroupTicket>> parkedGroups;
    {
        std::lock_guard<std::mutex> lock(packetMutex_);
        ++session_;
        closed_ = false;
        cancelWait_ = false;
        stickyStatus_ = VX_OK;
        packets_.clear();
        jobs.swap(jobs_);
        parkedJobs.swap(parkedJobs_);
        parkedGroups.swap(parkedGroups_);
    }
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::readDeviceSetup() {
    if (locator_.rfind(kIndexLocatorPrefix, 0) == 0) {
        ReadQueue batch(*this);
        std::string serial;
        if (const VX_STATUS status = batch.request(ctlkey::kDeviceSerialNumber, 0)) return status;
        if (const VX_STATUS status = batch.popString(&serial)) return status;
        uniqueLocator_ = kSerialLocatorPrefix + serial;
    }

    int32_t count = 0;
    {
        ReadQueue batch(*this);
        if (const VX_STATUS status = batch.request(ctlkey::kNumberOfChannels, 0)) return status;
        if (const VX_STATUS status = batch.popI32(&count)) return status;
    }
    if (count < 1 || count > kMaxCount) return VX_OTHER_ERROR;
    channels_.assign(static_cast<size_t>(count), ChannelRecord{});
    // A channel whose settings cannot be read keeps zeros; the open goes on.
    for (uint32_t channel = 0; channel < channels_.size(); ++channel) readChannelSettings(channel);

    if (const VX_STATUS status = readModuleVersions()) return status;
    return readPositionerTypes();
}

VX_STATUS SystemVeltraxCTL::readChannelSettings(uint32_t channel) {
    if (channel >= channels_.size()) return VX_INVALID_CHANNEL_INDEX;
    const uint8_t index = static_cast<uint8_t>(channel);
    ReadQueue batch(*this);
    for (const uint32_t key :
         {ctlkey::kMoveMode, ctlkey::kChannelOptions, ctlkey::kMoveControlOptions, ctlkey::kMovementType}) {
        if (const VX_STATUS status = batch.request(key, index)) return status;
    }
    ChannelRecord& record = channels_[channel];
    for (int32_t* field : {&record.moveMode, &record.channelOptions, &record.moveControlOptions, &record.movementType}) {
        if (const VX_STATUS status = batch.popI32(field)) return status;
    }
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::readVersionBehindSelect(uint32_t select, uint32_t* version) {
    WriteQueue selection(*this);
    if (const VX_STATUS status = selection.requestI32(ctlkey::kModuleVersionSelect, 0, static_cast<int32_t>(select)))
        return status;
    if (const VX_STATUS status = selection.commit(true)) return status;
    ReadQueue batch(*this);
    if (const VX_STATUS status = batch.request(ctlkey::kModuleVersionA, 0)) return status;
    if (const VX_STATUS status = batch.request(ctlkey::kModuleVersionB, 0)) return status;
    int32_t kind = 0;
    std::array<int32_t, kModuleVersionNumbers> numbers{};
    size_t length = numbers.size();
    if (const VX_STATUS status = batch.popI32(&kind)) return status;
    if (const VX_STATUS status = batch.popI32(numbers.data(), &length)) return status;
    *version = packVersion(kind, numbers.data());
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::readModuleVersions() {
    int32_t modules = 0;
    int32_t flags = 0;
    {
        ReadQueue batch(*this);
        if (const VX_STATUS status = batch.request(ctlkey::kNumberOfModules, 0)) return status;
        if (const VX_STATUS status = batch.request(ctlkey::kDeviceFlags, 0)) return status;
        if (const VX_STATUS status = batch.popI32(&modules)) return status;
        if (const VX_STATUS status = batch.popI32(&flags)) return status;
    }
    if (const VX_STATUS status = readVersionBehindSelect(0, &interfaceFirmwareVersion_)) return status;
    handControlModuleFirmwareVersion_ = 0;
    if (flags & ctlbit::kHandControlModulePresent) {
        if (const VX_STATUS status = readVersionBehindSelect(1, &handControlModuleFirmwareVersion_)) return status;
    }
    if (modules < 1 || modules > kMaxCount) return VX_OTHER_ERROR;

    size_t channel = 0;
    for (int32_t module = 0; module < modules; ++module) {
        const uint8_t index = static_cast<uint8_t>(module);
        WriteQueue selection(*this);
        if (const VX_STATUS status = selection.requestI32(ctlkey::kChannelVersionSelect, index, 0)) return status;
        if (const VX_STATUS status = selection.commit(true)) return status;

        ReadQueue batch(*this);
        for (const uint32_t key : {ctlkey::kModuleChannelCount, ctlkey::kChannelVersionA, ctlkey::kChannelVersionB}) {
            if (const VX_STATUS status = batch.request(key, index)) return status;
        }
        int32_t channelsHere = 0;
        // Room for more than expected, so that a wrong length is seen as one.
        std::array<int32_t, kVersionArrayRoom> kinds{};
        std::array<int32_t, kVersionArrayRoom> numbers{};
        size_t kindCount = kinds.size();
        size_t numberCount = numbers.size();
        if (const VX_STATUS status = batch.popI32(&channelsHere)) return status;
        if (const VX_STATUS status = batch.popI32(kinds.data(), &kindCount)) return status;
        if (const VX_STATUS status = batch.popI32(numbers.data(), &numberCount)) return status;
        if (kindCount != kChannelVersionKinds || numberCount != kChannelVersionNumbers) return VX_OTHER_ERROR;
        const uint32_t version1 = packVersion(kinds[0], numbers.data());
        const uint32_t version2 = packVersion(kinds[1], numbers.data() + kModuleVersionNumbers);
        for (int32_t i = 0; i < channelsHere; ++i, ++channel) {
            if (channel >= channels_.size()) return VX_OTHER_ERROR;
            channels_[channel].moduleIndex = index;
            channels_[channel].firmwareVersion1 = version1;
            channels_[channel].firmwareVersion2 = version2;
        }
    }
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::readPositionerTypes() {
    positionerTypes_.clear();
    int previousModule = -1;
    for (size_t channel = 0; channel < channels_.size(); ++channel) {
        // Once per module, through its first channel.
        if (channels_[channel].moduleIndex == previousModule) continue;
        previousModule = channels_[channel].moduleIndex;
        const uint8_t index = static_cast<uint8_t>(channel);

        int32_t count = 0;
        {
            ReadQueue batch(*this);
            if (const VX_STATUS status = batch.request(ctlkey::kPositionerTypeCount, index)) return status;
            if (const VX_STATUS status = batch.popI32(&count)) return status;
        }
        for (int32_t entry = 0; entry < count; ++entry) {
            WriteQueue selection(*this);
            if (const VX_STATUS status = selection.requestI32(ctlkey::kPositionerTypeIndex, index, entry)) return status;
            if (const VX_STATUS status = selection.commit(true)) return status;

            int32_t code = 0;
            {
                ReadQueue batch(*this);
                if (const VX_STATUS status = batch.request(ctlkey::kPositionerTypeCode, index)) return status;
                if (const VX_STATUS status = batch.popI32(&code)) return status;
            }
            if ((code >= kFirstReservedType && code <= kLastReservedType) || positionerTypes_.count(code)) continue;

            ReadQueue batch(*this);
            for (const uint32_t key :
                 {ctlkey::kPositionerTypeName, ctlkey::kPositionerTypeMovement, ctlkey::kPositionerTypeValue48}) {
                if (const VX_STATUS status = batch.request(key, index)) return status;
            }
            PositionerTypeEntry type;
            if (const VX_STATUS status = batch.popString(&type.name)) return status;
            if (const VX_STATUS status = batch.popI32(&type.movementType)) return status;
            if (const VX_STATUS status = batch.popI32(&type.secondNumber)) return status;
            positionerTypes_[code] = std::move(type);
        }
    }
    return VX_OK;
}

void SystemVeltraxCTL::startThreads() {
    worker_.start([this] { runJobWorker(); },
                  [this] {
                      std::lock_guard<std::mutex> lock(packetMutex_);
                      jobCondition_.notify_all();
                  });
    eventThread_.start([this] { runEventThread(); }, [this] { cancelEventWait(); });
}

VX_STATUS SystemVeltraxCTL::close() {
    closing_ = true;
    {
        // Under the mutex, so that no waiter misses it.
        std::lock_guard<std::mutex> lock(packetMutex_);
        closed_ = true;
        packetCondition_.notify_all();
        jobCondition_.notify_all();
    }
    eventThread_.stop();
    // Before the worker is joined: a job waiting for a group ends now.
    groupWatch_.end();
    worker_.stop();
    std::deque<Job> dropped;
    std::deque<Job> droppedParked;
    std::deque<std::shared_ptr<GroupTicket>> droppedGroups;
    {
        std::lock_guard<std::mutex> lock(packetMutex_);
        dropped.swap(jobs_);
        droppedParked.swap(parkedJobs_);
        droppedGroups.swap(parkedGroups_);
    }
    // The jobs' batches and groups go here, outside the packet mutex.
    dropped.clear();
    droppedParked.clear();
    droppedGroups.clear();
    closeDevice();
    mode_ = kClosed;
    return VX_OK;
}

void SystemVeltraxCTL::closeDevice() {
    std::unique_lock<std::shared_mutex> gate(deviceGate_);
    if (!deviceOpen_) return;
    // Its result does not matter: the handle is the library's no longer.
    binding_.functions().Close(deviceHandle_);
    deviceOpen_ = false;
    deviceHandle_ = 0;
}

void SystemVeltraxCTL::cancelEventWait() {
    std::shared_lock<std::shared_mutex> gate(deviceGate_);
    // The cancel stays with the device until a wait takes it, so a wait
    // that begins after this ends at once too.
    if (deviceOpen_) binding_.functions().Cancel(deviceHandle_);
}

VX_STATUS SystemVeltraxCTL::checkMode(bool sync) const {
    const uint32_t mode = mode_.load();
    if (mode == kClosed) return VX_NOT_INITIALIZED;
    if ((sync && mode == kAsynchronous) || (!sync && mode == kSynchronous)) return VX_WRONG_MODE;
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::submitJob(bool sync, Job job, Delivery delivery) {
    if (sync) {
        VX_packet packet{};
        if (const VX_STATUS status = job(packet)) return status;
        if (delivery) delivery(packet);
        return VX_OK;
    }
    std::lock_guard<std::mutex> lock(packetMutex_);
    if (bufferedOutput_.load()) {
        parkedJobs_.push_back(std::move(job));
    } else {
        jobs_.push_back(std::move(job));
        jobCondition_.notify_all();
    }
    return VX_OK;
}

void SystemVeltraxCTL::runJobWorker() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(packetMutex_);
            jobCondition_.wait(lock, [&] { return !jobs_.empty() || worker_.stopRequested(); });
            if (worker_.stopRequested()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        VX_packet packet{};
        const VX_STATUS status = job(packet);
        job = nullptr;  // its batch goes before the next wait
        if (status != VX_OK) {
            packet.packetType = VX_PACKET_ERROR;
            packet.data1 = status;
            if (status == VX_TRANSMIT_ERROR) awaitLossReport();
        } else if (packet.packetType == VX_PACKET_NONE) {
            continue;
        }
        queuePacket(packet, true);
    }
}

void SystemVeltraxCTL::awaitLossReport() {
    // Without this a receive could hand out the job's error packet before
    // the lasting read error that the same loss brings.
    std::unique_lock<std::mutex> lock(packetMutex_);
    packetCondition_.wait_for(lock, kLossReportWait,
                              [&] { return stickyStatus_ != VX_OK || closed_ || worker_.stopRequested(); });
}

void SystemVeltraxCTL::queuePacket(const VX_packet& packet, bool checkOverflow) {
    std::lock_guard<std::mutex> lock(packetMutex_);
    if (checkOverflow && packets_.size() > kPacketQueueLimit && stickyStatus_ == VX_OK) stickyStatus_ = VX_INPUT_BUFFER_OVERFLOW;
    packets_.push_back(packet);
    packetCondition_.notify_all();
}

void SystemVeltraxCTL::runEventThread() {
    while (!eventThread_.stopRequested()) {
        VX_CTL_Event event{};
        const uint32_t result = callDevice(
            [&](const Functions& f, VX_CTL_DeviceHandle device) { return f.WaitForEvent(device, &event, kNoTimeLimit); });
        if (result == ctlresult::kCanceled || result == ctlresult::kInvalidDeviceHandle) return;
        if (result != ctlresult::kOk) continue;
        if (event.type == ctlevent::kConnectionLost) {
            std::lock_guard<std::mutex> lock(packetMutex_);
            if (stickyStatus_ == VX_OK) stickyStatus_ = VX_READ_ERROR;
            packetCondition_.notify_all();
        } else if (event.type == ctlevent::kMovementFinished) {
            handleMovementFinished(event.idx, static_cast<uint32_t>(event.value.i32));
        }
    }
}

void SystemVeltraxCTL::handleMovementFinished(uint32_t channel, uint32_t result) {
    VX_packet packet{};
    {
        std::lock_guard<std::mutex> api(apiMutex_);
        if (channel >= channels_.size()) return;
        ChannelRecord& record = channels_[channel];
        packet.channelIndex = channel;
        if (result == ctlresult::kOk || result == ctlresult::kAborted) {
            if (record.reportOnComplete) packet.packetType = VX_PACKET_MOVEMENT_COMPLETED;
        } else {
            packet.packetType = VX_PACKET_ERROR;
            if (result == ctlresult::kNoSensorPresent || result == ctlresult::kSensorDisabled)
                packet.data1 = mapCtlResult(result);
            else if (record.eventState == kEventStateCalibrating)
                packet.data1 = VX_CALIBRATION_FAILED;
            else if (record.eventState == kEventStateReferencing)
                packet.data1 = VX_COULD_NOT_FIND_REFERENCE_MARK;
            else
                packet.data1 = mapCtlResult(result);
        }
        record.eventState = 0;
    }
    if (packet.packetType != VX_PACKET_NONE) queuePacket(packet, false);
}

VX_STATUS SystemVeltraxCTL::cancelWaitForPacket() {
    {
        std::lock_guard<std::mutex> api(apiMutex_);
        if (const VX_STATUS status = checkMode(false)) return status;
    }
    std::lock_guard<std::mutex> lock(packetMutex_);
    cancelWait_ = true;
    packetCondition_.notify_all();
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::receiveNextPacket(uint32_t timeoutMs, VX_packet* packet, bool remove) {
    {
        std::lock_guard<std::mutex> api(apiMutex_);
        if (const VX_STATUS status = checkMode(false)) return status;
    }
    if (!packet) return VX_INVALID_PARAMETER;
    std::unique_lock<std::mutex> lock(packetMutex_);
    const auto ready = [&] { return !packets_.empty() || cancelWait_ || stickyStatus_ != VX_OK || closed_; };
    if (timeoutMs == kNoTimeLimit)
        packetCondition_.wait(lock, ready);
    else
        packetCondition_.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs), ready);
    if (cancelWait_) {
        cancelWait_ = false;
        return VX_CANCELED;
    }
    if (closed_) return VX_CANCELED;
    if (stickyStatus_ != VX_OK) return stickyStatus_;
    if (packets_.empty()) {
        *packet = VX_packet{};
        return VX_OK;
    }
    *packet = packets_.front();
    if (remove) packets_.pop_front();
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::discardPacket() {
    {
        std::lock_guard<std::mutex> api(apiMutex_);
        if (const VX_STATUS status = checkMode(false)) return status;
    }
    std::lock_guard<std::mutex> lock(packetMutex_);
    if (!packets_.empty()) packets_.pop_front();
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::checkMoveError(uint32_t channel, bool enabled) {
    if (!enabled) return VX_OK;
    const uint8_t index = static_cast<uint8_t>(channel);
    int32_t state = 0;
    {
        ReadQueue batch(*this);
        if (const VX_STATUS status = batch.request(ctlkey::kChannelState, index)) return status;
        if (const VX_STATUS status = batch.popI32(&state)) return status;
    }
    if (!(state & ctlbit::kChannelStateMoveError)) return VX_OK;
    ReadQueue batch(*this);
    int32_t code = 0;
    if (const VX_STATUS status = batch.request(ctlkey::kChannelErrorCode, index)) return status;
    if (const VX_STATUS status = batch.popI32(&code)) return status;
    return mapCtlResult(static_cast<uint32_t>(code));
}

VX_STATUS SystemVeltraxCTL::readSpeedLevelTable() {
    ReadQueue batch(*this);
    const std::array<uint32_t, 3> keys = {ctlkey::kSpeedLevelSteps, ctlkey::kSpeedLevelAmplitude,
                                          ctlkey::kSpeedLevelFrequency};
    for (const uint32_t key : keys) {
        if (const VX_STATUS status = batch.request(key, 0)) return status;
    }
    std::array<std::array<int32_t, kSpeedLevelCapacity>, 3> columns{};
    std::array<size_t, 3> lengths{};
    for (size_t i = 0; i < keys.size(); ++i) {
        lengths[i] = kSpeedLevelCapacity;
        if (const VX_STATUS status = batch.popI32(columns[i].data(), &lengths[i])) return status;
    }
    if (lengths[0] != lengths[1] || lengths[1] != lengths[2]) return VX_OTHER_ERROR;
    speedLevelTable_.resize(lengths[0]);
    for (size_t i = 0; i < lengths[0]; ++i)
        speedLevelTable_[i] = {static_cast<uint32_t>(columns[0][i]), static_cast<uint32_t>(columns[1][i]),
                               static_cast<uint32_t>(columns[2][i])};
    return VX_OK;
}

void SystemVeltraxCTL::parkGroup(const std::shared_ptr<GroupTicket>& group) {
    std::lock_guard<std::mutex> lock(packetMutex_);
    parkedGroups_.push_back(group);
}

int32_t SystemVeltraxCTL::changeOptionBit(uint32_t channel, OptionWord word, int32_t bit, bool set) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (channel >= channels_.size()) return 0;
    int32_t& value =
        word == OptionWord::Channel ? channels_[channel].channelOptions : channels_[channel].moveControlOptions;
    value = set ? (value | bit) : (value & ~bit);
    return value;
}

uint32_t SystemVeltraxCTL::channelFirmwareVersion1(uint32_t channel) const {
    std::lock_guard<std::mutex> api(apiMutex_);
    return channel < channels_.size() ? channels_[channel].firmwareVersion1 : 0;
}

uint64_t SystemVeltraxCTL::lastDebugSample(uint32_t channel) const {
    std::lock_guard<std::mutex> api(apiMutex_);
    return channel < channels_.size() ? channels_[channel].lastDebugSample : 0;
}

void SystemVeltraxCTL::keepDebugSample(uint32_t channel, uint64_t sample) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (channel < channels_.size()) channels_[channel].lastDebugSample = sample;
}

}  // namespace qmx
