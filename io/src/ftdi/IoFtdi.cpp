#include "ftdi/IoFtdi.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include "core/OptionKeys.h"
#include "core/Options.h"
#include "ftdi/UsbIo.h"
#include "ftdi/UsbLineSettings.h"
#include "platform/CopyOut.h"

namespace vxio {

namespace {

constexpr size_t kReceiveChunk = 1024;

struct FlowName {
    const char* name;
    uint16_t value;
};

const FlowName kFlowNames[] = {
    {"none", kFtdiFlowNone},
    {"rtscts", kFtdiFlowRtsCts},
    {"dtrdsr", kFtdiFlowDtrDsr},
};

// The whole text as an unsigned decimal number.
bool wholeNumber(const std::string& text, uint32_t* value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > UINT32_MAX) return false;
    *value = static_cast<uint32_t>(number);
    return true;
}

bool passesProductFilter(const FtdiDeviceInfoNode& node, const std::set<std::string>& names) {
    return names.empty() || names.count(openDescription(node)) > 0;
}

timespec deadlineAfter(uint32_t milliseconds) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t nanoseconds =
        static_cast<uint64_t>(now.tv_nsec) + static_cast<uint64_t>(milliseconds % 1000) * 1000000;
    now.tv_sec += static_cast<time_t>(milliseconds / 1000 + nanoseconds / 1000000000);
    now.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    return now;
}

}  // namespace

IoFtdi::IoFtdi(const DeviceParams& params)
    : IoDevice(params.locator, params.options, params.userContext, params.receive, params.error),
      locatorPieces_(params.parsed.pieces) {}

IoFtdi::~IoFtdi() {
    // The event record goes below: the receive thread must be past its use.
    thread_.stop();
    if (eventReady_) {
        pthread_cond_destroy(&event_.condition);
        pthread_mutex_destroy(&event_.mutex);
    }
}

VX_IO_Result IoFtdi::Open(std::shared_ptr<IoDevice> self) {
    std::lock_guard<std::mutex> lock(usbListMutex());
    return openDevice(self);
}

VX_IO_Result IoFtdi::openDevice(std::shared_ptr<IoDevice>& self) {
    const FtdiDriver* driver = bindFtdiDriver();
    if (!driver) return VX_IO_DRIVER_NOT_AVAILABLE;

    if (locatorPieces_.size() != 2) return VX_IO_INVALID_LOCATOR;

    const Options options = parseOptions(this->options());
    uint32_t rxTimeout = 0, txTimeout = 0, latency = 0, healthCheck = 0;
    for (auto [name, value] : {std::pair{key::kRxTimeout, &rxTimeout},
                               std::pair{key::kTxTimeout, &txTimeout},
                               std::pair{key::kFtdiLatency, &latency},
                               std::pair{key::kHealthCheck, &healthCheck}}) {
        if (readUnsignedOption(options, name, value) != VX_IO_OK) return VX_IO_INVALID_OPTION;
    }
    // Without the key the rate comes from the adapter; with it, it must be
    // a real rate.
    uint32_t baudOption = 0;
    if (options.hasKey(key::kBaudrate) &&
        readUnsignedOption(options, key::kBaudrate, &baudOption) != VX_IO_OK)
        return VX_IO_INVALID_OPTION;
    std::set<std::string> productNames = options.getTextSet(key::kProductName);
    productNames.erase(std::string());
    std::string flowName;
    if (readChoiceOption(options, key::kFtdiFlowControl, &flowName) != VX_IO_OK)
        return VX_IO_INVALID_OPTION;
    std::optional<uint16_t> flowOption;
    for (const FlowName& flow : kFlowNames) {
        if (options.hasKey(key::kFtdiFlowControl) && flowName == flow.name) flowOption = flow.value;
    }
    txTimeout_ = txTimeout;
    healthCheck_ = healthCheck;

    FtdiDeviceInfoNode node{};
    const VX_IO_Result found =
        findDevice(*driver, locatorPieces_[0], locatorPieces_[1], productNames, &node);
    if (found != VX_IO_OK) return found;

    std::string serial = nodeSerial(node);
    if (serial.empty()) return VX_IO_DEVICE_NOT_FOUND;
    FtdiHandle handle = nullptr;
    if (driver->FT_OpenEx(serial.data(), kFtdiOpenBySerialNumber, &handle) != kFtdiOk)
        return VX_IO_OPEN_FAILED;
    HandleGuard guard(*driver, handle);

    const VX_IO_Result configured = configure(*driver, handle, node, baudOption, flowOption,
                                              rxTimeout, static_cast<uint8_t>(latency));
    if (configured != VX_IO_OK) return configured;

    if (!initEventRecord()) return VX_IO_OPEN_FAILED;
    if (driver->FT_SetEventNotification(handle, kFtdiEventRxChar, &event_) != kFtdiOk)
        return VX_IO_OPEN_FAILED;

    driver_ = driver;
    handle_ = handle;
    // The thread keeps the device alive until it ends.
    const bool started = thread_.start(
        [this, owner = std::move(self)]() mutable {
            receiveLoop();
            // May destroy this object; nothing of it is touched afterwards.
            owner.reset();
        },
        [this] { signalStop(); });
    if (!started) {
        handle_ = nullptr;
        return VX_IO_OPEN_FAILED;
    }
    guard.release();
    return VX_IO_OK;
}

VX_IO_Result IoFtdi::findDevice(const FtdiDriver& driver, const std::string& form,
                                const std::string& value,
                                const std::set<std::string>& productNames,
                                FtdiDeviceInfoNode* found) {
    uint32_t number = 0;
    if (form == "id") {
        if (!wholeNumber(value, &number)) return VX_IO_INVALID_LOCATOR;
        if (number == 0) return VX_IO_DEVICE_NOT_FOUND;
        ShortListFilter filter;
        filter.productNames = productNames;
        std::vector<size_t> selected;
        const VX_IO_Result listed = selectShortList(driver, false, filter, true, &selected);
        if (listed != VX_IO_OK) return listed;
        for (size_t index : selected) {
            const UsbDeviceEntry& entry = UsbDeviceList::instance().entries()[index];
            if (entry.chipId != number) continue;
            if (listedSerial(entry.node).empty()) return VX_IO_LIST_QUERY_FAILED;
            // The node keeps a two-channel chip's channel letter, which the
            // open by serial number needs.
            *found = entry.node;
            return VX_IO_OK;
        }
        return VX_IO_DEVICE_NOT_FOUND;
    }

    const bool byIndex = form == "ix";
    if (!byIndex && form != "sn") return VX_IO_INVALID_LOCATOR;
    if (byIndex && !wholeNumber(value, &number)) return VX_IO_INVALID_LOCATOR;

    std::vector<FtdiDeviceInfoNode> nodes;
    if (queryDeviceList(driver, &nodes) != kFtdiOk) return VX_IO_OPEN_FAILED;
    uint32_t remaining = 0;
    for (const FtdiDeviceInfoNode& node : nodes) {
        if (nodeOpened(node) || !passesProductFilter(node, productNames)) continue;
        const std::string serial = nodeSerial(node);
        const bool match = byIndex ? remaining++ == number
                                   : serial == value ||
                                         (nodeIsDualChannel(node) && serial == value + "A");
        if (match) {
            *found = node;
            return VX_IO_OK;
        }
    }
    return VX_IO_DEVICE_NOT_FOUND;
}

VX_IO_Result IoFtdi::configure(const FtdiDriver& driver, FtdiHandle handle,
                               const FtdiDeviceInfoNode& node, uint32_t baudOption,
                               std::optional<uint16_t> flowOption, uint32_t rxTimeout,
                               uint8_t latency) {
    std::vector<uint8_t> userArea;
    if (readConfigurationRecord(driver, handle, &userArea) != kFtdiOk) return VX_IO_OPEN_FAILED;
    UsbLineSettings settings;
    // Without settings from the record, the options must give them.
    lineSettingsFromRecord(openDescription(node), node.type, nodeHighSpeed(node), userArea,
                           &settings);
    const uint32_t baudRate = baudOption ? baudOption : settings.baudRate;
    const uint16_t flowControl = flowOption ? *flowOption : settings.flowControl;
    const bool dualChannel = nodeIsDualChannel(node);

    if (!dualChannel) {
        if (baudRate == 0) return VX_IO_INVALID_OPTION;
        const FtdiStatus status = driver.FT_SetBaudRate(handle, baudRate);
        if (status == kFtdiInvalidBaudRate) return VX_IO_INVALID_OPTION;
        if (status != kFtdiOk) return VX_IO_OPEN_FAILED;
    }
    if (driver.FT_SetDataCharacteristics(handle, kFtdiBits8, kFtdiStopBits1, kFtdiParityNone) !=
            kFtdiOk ||
        driver.FT_SetFlowControl(handle, flowControl, 0, 0) != kFtdiOk ||
        driver.FT_SetTimeouts(handle, rxTimeout, txTimeout_) != kFtdiOk ||
        driver.FT_SetLatencyTimer(handle, latency) != kFtdiOk)
        return VX_IO_OPEN_FAILED;
    if (dualChannel && enterSyncFifoMode(driver, handle) != kFtdiOk) return VX_IO_OPEN_FAILED;
    if (driver.FT_Purge(handle, kFtdiPurgeRx | kFtdiPurgeTx) != kFtdiOk) return VX_IO_OPEN_FAILED;
    return VX_IO_OK;
}

bool IoFtdi::initEventRecord() {
    if (eventReady_) return true;
    pthread_condattr_t attributes;
    if (pthread_condattr_init(&attributes) != 0) return false;
    const bool clockSet = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0;
    const bool condition = clockSet && pthread_cond_init(&event_.condition, &attributes) == 0;
    pthread_condattr_destroy(&attributes);
    if (!condition) return false;
    if (pthread_mutex_init(&event_.mutex, nullptr) != 0) {
        pthread_cond_destroy(&event_.condition);
        return false;
    }
    event_.signalled = 0;
    eventReady_ = true;
    return true;
}

IoFtdi::Wake IoFtdi::waitLocked() {
    const timespec deadline = deadlineAfter(healthCheck_);
    while (!thread_.stopRequested() && !event_.signalled && !line_.reportDue()) {
        const int waited = healthCheck_ == 0
                               ? pthread_cond_wait(&event_.condition, &event_.mutex)
                               : pthread_cond_timedwait(&event_.condition, &event_.mutex, &deadline);
        if (waited == ETIMEDOUT) break;
        if (waited != 0) return Wake::Failed;
    }
    if (thread_.stopRequested()) return Wake::Stop;
    if (!event_.signalled) return Wake::TimedOut;
    event_.signalled = 0;
    return Wake::Event;
}

void IoFtdi::receiveLoop() {
    std::vector<uint8_t> buffer(kReceiveChunk);
    for (;;) {
        uint32_t waiting = 0;
        uint32_t transmitting = 0;
        uint32_t events = 0;
        FtdiStatus status = kFtdiOk;
        Wake wake = Wake::Event;
        bool waited = false;

        // The stop flag and the queued byte count are checked under the
        // record's mutex, so a signal between the check and the wait is
        // never lost.
        pthread_mutex_lock(&event_.mutex);
        if (thread_.stopRequested()) {
            pthread_mutex_unlock(&event_.mutex);
            break;
        }
        if (line_.takeReport()) {
            pthread_mutex_unlock(&event_.mutex);
            reportError(VX_IO_TIMEOUT);
            continue;
        }
        status = driver_->FT_GetStatus(handle_, &waiting, &transmitting, &events);
        if (status == kFtdiOk && waiting == 0) {
            wake = waitLocked();
            waited = true;
        }
        pthread_mutex_unlock(&event_.mutex);

        if (status != kFtdiOk) {
            reportError(readFailure(status));
            // Nothing to read: wait as for an empty queue, so that a lost
            // device is reported once per health-check interval.
            pthread_mutex_lock(&event_.mutex);
            wake = waitLocked();
            pthread_mutex_unlock(&event_.mutex);
            waited = true;
        }
        if (waited) {
            if (wake == Wake::Stop) break;
            if (wake == Wake::Failed) reportError(VX_IO_READ_ERROR);
            continue;
        }

        const uint32_t asked = std::min<uint32_t>(waiting, kReceiveChunk);
        uint32_t read = 0;
        status = driver_->FT_Read(handle_, buffer.data(), asked, &read);
        if (status != kFtdiOk) {
            reportError(readFailure(status));
            continue;
        }
        if (read > asked) {
            reportError(VX_IO_READ_ERROR);
            continue;
        }
        deliver(buffer.data(), read);
        // Back to the top: the stop flag and the queue are looked at again
        // after every read.
    }
    closeHandle();
}

void IoFtdi::closeHandle() {
    FtdiHandle handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(handleMutex_);
        closing_ = true;
        handle = std::exchange(handle_, nullptr);
    }
    // Not under the lock: a send blocked in FT_Write returns when its handle
    // closes.
    if (handle) driver_->FT_Close(handle);
}

void IoFtdi::signalStop() {
    {
        // Sends stop starting writes now, before the receive thread is out.
        std::lock_guard<std::mutex> lock(handleMutex_);
        closing_ = true;
    }
    line_.close();
    wakeReceiver();
}

void IoFtdi::wakeReceiver() {
    if (!eventReady_) return;
    pthread_mutex_lock(&event_.mutex);
    pthread_cond_broadcast(&event_.condition);
    pthread_mutex_unlock(&event_.mutex);
}

void IoFtdi::Close(bool wait) {
    // Without wait the join is left to the destructor: the receive thread
    // holds an owner until it ends. From a callback the join returns at once.
    thread_.requestStop();
    if (wait) thread_.join();
}

// The handle for one more driver call; null once the device is closing.
FtdiHandle IoFtdi::usableHandle() {
    std::lock_guard<std::mutex> lock(handleMutex_);
    return closing_ ? nullptr : handle_;
}

VX_IO_Result IoFtdi::Send(const void* data, size_t length) {
    return line_.send(data, length, [this](const uint8_t* bytes, size_t size) {
        // The handle is asked for again before each write: a close during
        // the send cuts it short, and what is left is not sent.
        LineWrite done;
        done.result = writeAll(*driver_, [this] { return usableHandle(); }, bytes, size,
                               std::chrono::milliseconds(txTimeout_), &done.written);
        done.closing = done.result != VX_IO_OK && !usableHandle();
        return done;
    });
}

VX_IO_Result IoFtdi::GetProperty(const char* key, char* buffer, size_t* length) {
    if (!key || std::strcmp(key, "ftdi-id") != 0) return VX_IO_UNKNOWN_PROPERTY;
    uint32_t chipId = 0;
    {
        // Under the lock, so the handle cannot close in between.
        std::lock_guard<std::mutex> lock(handleMutex_);
        if (closing_ || !handle_ || driver_->FTID_GetChipIDFromHandle(handle_, &chipId) != kFtdiOk)
            return VX_IO_NOT_SUPPORTED;
    }
    return vxplatform::copyOutReportingNeed(std::to_string(chipId), buffer, length) ? VX_IO_OK
                                                                         : VX_IO_BUFFER_TOO_SMALL;
}

}  // namespace vxio
