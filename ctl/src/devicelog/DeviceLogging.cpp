#include "devicelog/DeviceLogging.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <stdexcept>

#include "device/Device.h"
#include "log/Log.h"

namespace vxctl {

namespace {

// A word with this bit set is continued by the next one.
constexpr int64_t kContinuedBit = int64_t{1} << 39;
constexpr size_t kWordsPerMessage = 2;
constexpr int kMaxPending = 2;
constexpr int kInitialReads = 2;
// After this many words in a row one extra read is issued, while fewer
// than kMaxOutstanding are out.
constexpr int kWordsBeforeExtraRead = 8;
constexpr size_t kMaxOutstanding = 12;
constexpr const char* kOverflowText = "overflow";

}  // namespace

const LogSourceKeys& logSourceKeys(ModuleType type) {
    for (const LogSourceKeys& keys : kLogSourceKeys)
        if (keys.moduleType == type) return keys;
    throw std::invalid_argument("module type without log buffer");
}

std::string deviceMessageText(const std::vector<int64_t>& words) {
    std::string text;
    for (const int64_t word : words) {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "0x%016" PRIx64, static_cast<uint64_t>(word));
        if (!text.empty()) text += ' ';
        text += buffer;
    }
    return text;
}

DeviceLogging::DeviceLogging(Device& device) : device_(device) {
    deviceLoggerCreated();
    try {
        const std::vector<MessageSource> patches = currentSettings().messageSources;
        configure(ModuleType::Interface, 0, patches);
        configure(ModuleType::HandControl, 0, patches);
        int32_t channels = 0;
        if (device_.readChannelCount(&channels) != VX_CTL_OK) throw std::runtime_error("no channel count");
        for (int32_t channel = 0; channel < channels && channel <= UINT8_MAX; ++channel)
            configure(ModuleType::Drive, static_cast<uint8_t>(channel), patches);
        for (const auto& source : sources_) {
            source->busy = true;
            Source* running = source.get();
            if (!source->thread.start([this, running] { run(*running); })) {
                source->busy = false;
                throw std::runtime_error("no thread");
            }
        }
    } catch (...) {
        // No log file stays open for an object that never came to be.
        stop();
        deviceLoggerDestroyed();
        throw;
    }
}

DeviceLogging::~DeviceLogging() {
    deviceLoggerDestroyed();
    stop();
}

void DeviceLogging::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (const auto& source : sources_) source->thread.join();
}

void DeviceLogging::configure(ModuleType type, uint8_t index, const std::vector<MessageSource>& patches) {
    const LogSourceKeys& keys = logSourceKeys(type);
    std::vector<int32_t> configuration;
    if (device_.getProperty_i32(index, keys.configuration, &configuration) != VX_CTL_OK) return;
    for (const MessageSource& patch : patches) {
        if (patch.moduleType != type || patch.index != index || patch.element < 0) continue;
        if (static_cast<size_t>(patch.element) < configuration.size()) configuration[patch.element] = patch.value;
    }
    if (device_.setProperty_i32(index, keys.configuration, configuration.data(), true, configuration.size()) !=
        VX_CTL_OK)
        return;
    auto source = std::make_unique<Source>();
    source->keys = &keys;
    source->index = index;
    sources_.push_back(std::move(source));
}

void DeviceLogging::issueRead(Lock& lock, const Source& source, std::deque<VX_CTL_RequestID>& outstanding) {
    lock.unlock();
    VX_CTL_RequestID id = 0;
    const VX_CTL_Result result = device_.requestLibraryRead(source.index, source.keys->buffer, &id);
    lock.lock();
    if (result == VX_CTL_OK) outstanding.push_back(id);
}

void DeviceLogging::run(Source& source) {
    Lock lock(mutex_);
    std::deque<VX_CTL_RequestID> outstanding;
    std::vector<int64_t> message;
    int wordsInRow = 0;
    while (!stop_) {
        if (outstanding.empty()) {
            changed_.wait(lock, [&] { return source.pending > 0 || stop_ || flush_; });
            if (stop_ || source.pending == 0) break;
            for (int i = 0; i < kInitialReads; ++i) issueRead(lock, source, outstanding);
        }
        if (!outstanding.empty()) {
            const VX_CTL_RequestID id = outstanding.front();
            outstanding.pop_front();
            std::vector<int64_t> words;
            lock.unlock();
            const VX_CTL_Result result = device_.readProperty_i64(id, &words);
            lock.lock();
            if (result == VX_CTL_OK && words.size() == 1) {
                message.push_back(words.front());
                if (message.size() == kWordsPerMessage || (words.front() & kContinuedBit) == 0) {
                    logDeviceLine(source.keys->moduleType, source.index, deviceMessageText(message));
                    message.clear();
                }
                issueRead(lock, source, outstanding);
                if (++wordsInRow == kWordsBeforeExtraRead) {
                    if (outstanding.size() < kMaxOutstanding) issueRead(lock, source, outstanding);
                    wordsInRow = 0;
                }
            } else {
                wordsInRow = 0;
            }
        }
        if (outstanding.empty() && source.pending > 0) --source.pending;
    }
    lock.unlock();
    for (const VX_CTL_RequestID id : outstanding) device_.cancelRequest(id);
    lock.lock();
    source.busy = false;
    changed_.notify_all();
}

void DeviceLogging::event(const VX_CTL_Event& event) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& source : sources_) {
            if (static_cast<uint32_t>(source->index) != event.idx) continue;
            if (source->keys->overflow == event.type) {
                logDeviceLine(source->keys->moduleType, source->index, kOverflowText);
            } else if (source->keys->data == event.type) {
                wake = wake || source->pending == 0;
                source->pending = std::min(source->pending + 1, kMaxPending);
            }
        }
    }
    if (wake) changed_.notify_all();
}

bool DeviceLogging::flush(std::chrono::milliseconds limit) {
    Lock lock(mutex_);
    flush_ = true;
    changed_.notify_all();
    return changed_.wait_for(lock, limit, [&] {
        return std::none_of(sources_.begin(), sources_.end(), [](const auto& source) { return source->busy; });
    });
}

}  // namespace vxctl
