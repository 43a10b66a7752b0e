#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "common/Log.h"
#include "platform/Spin.h"
#include "systems/gen1/System.h"

namespace qmx {

namespace {

constexpr uint32_t kWaitForever = 0xFFFFFFFF;

// About a network round trip: longer answers are waited for asleep.
constexpr auto kSpinLength = std::chrono::microseconds(150);

// How long an abandoned answer is waited for where it may be lost: over USB,
// and wherever a packet skipped meanwhile may have been the request's own
// answer. The controller is never waited for longer than this (its channel
// list at start-up), and a line carries an answer in milliseconds. Over TCP
// answers are not lost and keep their order: otherwise an abandoned answer
// is waited for as long as the connection lasts.
constexpr auto kAnswerLifetime = std::chrono::milliseconds(5000);

uint32_t remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0;
}

bool packetLogging() { return logLevel.load(std::memory_order_relaxed) >= 5; }

VX_STATUS mapSendResult(VX_IO_Result result) {
    if (result == VX_IO_OK) return VX_OK;
    return result == VX_IO_WRITE_ERROR ? VX_TRANSMIT_ERROR : VX_OTHER_ERROR;
}

}  // namespace

size_t System::queuedPackets() const {
    std::lock_guard<std::mutex> lock(packetMutex_);
    return ring_.size();
}

VX_STATUS System::receiveStatus() const {
    std::lock_guard<std::mutex> lock(packetMutex_);
    return stickyStatus_;
}

void System::systemReceiveCallback(void* context, const void* data, size_t length) {
    if (context == nullptr || data == nullptr || length == 0) return;
    static_cast<System*>(context)->onBytes(static_cast<const uint8_t*>(data), length);
}

void System::systemErrorCallback(void* context, int code) {
    if (context == nullptr || code == 0) return;
    auto* self = static_cast<System*>(context);
    std::lock_guard<std::mutex> lock(self->packetMutex_);
    if (self->stickyStatus_ == VX_OK) self->stickyStatus_ = VX_READ_ERROR;
    self->signalPacketWaiters();
}

void System::signalPacketWaiters() {
    packetSignals_.fetch_add(1, std::memory_order_release);
    packetCondition_.notify_all();
}

void System::spinForSignal(std::unique_lock<std::mutex>& lock,
                           std::chrono::steady_clock::time_point deadline) {
    const uint32_t seen = packetSignals_.load(std::memory_order_acquire);
    const auto until = std::min(deadline, std::chrono::steady_clock::now() + kSpinLength);
    lock.unlock();
    vxplatform::spinUntil(until, [&] { return packetSignals_.load(std::memory_order_acquire) != seen; });
    lock.lock();
}

void System::onBytes(const uint8_t* data, size_t length) {
    bool dropPartial = false;
    {
        std::lock_guard<std::mutex> lock(packetMutex_);
        if (skipFirstByte_) {
            skipFirstByte_ = false;
            ++data;
            --length;
        }
        // A late answer on its way is kept whole, so that it is skipped
        // rather than lost while its entry waits for another answer.
        dropPartial = dropPartialPacket_ &&
                      !mayAnswerAbandoned(assembler_.partial(), assembler_.pending());
        dropPartialPacket_ = false;
    }
    // Noise or the torn rest of an answer given up on would otherwise shift
    // every later packet of the stream.
    if (dropPartial) assembler_.discardPartial();
    bool queued = false;
    assembler_.feed(data, length, [this, &queued](const RawPacket& packet) {
        // Logged before anyone can act on it, so the log keeps the order.
        if (packetLogging()) logPacket(" IN", packet.bytes.data());
        std::lock_guard<std::mutex> lock(packetMutex_);
        if (ring_.size() < kQueueCapacity)
            ring_.push(packet);
        else if (stickyStatus_ == VX_OK)
            stickyStatus_ = VX_INPUT_BUFFER_OVERFLOW;
        packetSignals_.fetch_add(1, std::memory_order_release);
        queued = true;
    });
    // One wake-up for the whole block, after the mutex is free, so that a
    // woken waiter does not block on it at once. The system outlives its
    // device's receive thread, which runs this.
    if (queued) packetCondition_.notify_all();
}

VX_STATUS System::sendDirect(const uint8_t* data, size_t length) {
    std::lock_guard<std::mutex> io(ioMutex_);
    return mapSendResult(VX_IO_Send(ioHandle_, data, length));
}

VX_STATUS System::sendImmediate(const OutPacket& packet) {
    if (!packet.complete()) return VX_INTERNAL_ERROR;
    if (packetLogging()) logPacket("OUT", packet.data());
    return sendDirect(packet.data(), packet.length());
}

VX_STATUS System::sendPacket(const OutPacket& packet) {
    if (!packet.complete()) return VX_INTERNAL_ERROR;
    if (!bufferedOutput_) return sendImmediate(packet);
    if (packetLogging()) logPacket("OUT", packet.data());
    if (outputFill_ + packet.length() > outputBuffer_.size()) return VX_OUTPUT_BUFFER_OVERFLOW;
    std::memcpy(outputBuffer_.data() + outputFill_, packet.data(), packet.length());
    outputFill_ += static_cast<uint32_t>(packet.length());
    return VX_OK;
}

VX_STATUS System::waitForPacket(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs) {
    if (!ring_.empty()) return VX_OK;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (timeoutMs != 0) spinForSignal(lock, deadline);
    for (;;) {
        if (!ring_.empty()) {
            if (cancelRequested_) {
                cancelRequested_ = false;
                return VX_CANCELED;
            }
            return stickyStatus_;
        }
        if (cancelRequested_) {
            cancelRequested_ = false;
            return VX_CANCELED;
        }
        if (stickyStatus_ != VX_OK) return stickyStatus_;
        if (closed_) return VX_CANCELED;
        if (timeoutMs == kWaitForever) {
            packetCondition_.wait(lock);
        } else if (packetCondition_.wait_until(lock, deadline) == std::cv_status::timeout &&
                   ring_.empty()) {
            return VX_TIMEOUT;
        }
    }
}

VX_STATUS System::waitForAnswer(RawPacket* packet, uint32_t timeoutMs, bool remove) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(packetMutex_);
    for (;;) {
        uint32_t waitMs = timeoutMs;
        if (timeoutMs != kWaitForever) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            waitMs = left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0;
        }
        VX_STATUS status = waitForPacket(lock, waitMs);
        if (status != VX_OK) return status;
        if (ring_.empty()) return VX_TIMEOUT;
        *packet = ring_.front();
        forgetExpired(Clock::now());
        auto late = std::find_if(abandoned_.begin(), abandoned_.end(),
                                 [&](const Abandoned& a) { return a.answeredBy(*packet); });
        if (late == abandoned_.end()) {
            if (remove) ring_.pop();
            return VX_OK;
        }
        // The answer to a request whose wait already gave up.
        ring_.pop();
        abandoned_.erase(late);
    }
}

VX_STATUS System::waitForAcknowledge(uint32_t target, uint32_t* code, uint32_t timeoutMs) {
    *code = 0;
    RawPacket answer;
    VX_STATUS status = waitForAnswer(&answer, timeoutMs, true);
    if (status != VX_OK) return status;
    bool fromTarget;
    if (target == kHandControlTarget)
        fromTarget = answer.address() == address::kHandControl;
    else if (target == kAnyAddress)
        fromTarget = true;
    else
        fromTarget = target < kMaxChannels && answer.address() == channels_[target].moduleWord;
    if (!fromTarget) return VX_PROTOCOL_ERROR;
    if (answer.opcode() == opcode::kAcknowledge) return VX_OK;
    // An error answer without a code would pass for success.
    if (const VX_STATUS refused = answer.errorCode()) {
        *code = refused;
        return VX_OK;
    }
    return VX_PROTOCOL_ERROR;
}

void System::abandon(uint16_t address, uint8_t opcode, Clock::time_point sent, bool mayHaveCome) {
    std::optional<Clock::time_point> expiry;
    if (interfaceType_ == VX_IO_IFACE_USB || mayHaveCome) expiry = sent + kAnswerLifetime;
    std::lock_guard<std::mutex> lock(packetMutex_);
    abandoned_.push_back({address, opcode, expiry});
}

size_t System::owedBy(uint16_t address) const {
    return static_cast<size_t>(std::count_if(
        abandoned_.begin(), abandoned_.end(), [&](const Abandoned& a) { return a.address == address; }));
}

void System::forgetExpired(Clock::time_point now) {
    std::erase_if(abandoned_, [&](const Abandoned& a) { return a.expiry && *a.expiry <= now; });
}

bool System::mayAnswerAbandoned(const uint8_t* bytes, size_t length) const {
    if (length == 0) return false;
    return std::any_of(abandoned_.begin(), abandoned_.end(), [&](const Abandoned& a) {
        if (bytes[0] != (a.address & 0xFF)) return false;
        if (length > 1 && bytes[1] != (a.address >> 8)) return false;
        return length < 3 || bytes[2] == a.opcode || bytes[2] == opcode::kError;
    });
}

VX_STATUS System::beginExchange(const OutPacket& request, uint8_t answerOpcode,
                                Exchange* exchange) {
    exchange->address = request.address();
    exchange->opcode = answerOpcode;
    {
        std::unique_lock<std::mutex> lock(packetMutex_);
        for (;;) {
            // The system is then only good for closing: nothing more is sent.
            if (stickyStatus_ != VX_OK) return stickyStatus_;
            discardQueuedLocked();
            const auto now = Clock::now();
            forgetExpired(now);
            // An answer of this kind that may never come could not be told
            // from this request's: it has to come, or be past coming, first.
            std::optional<Clock::time_point> owed;
            for (const Abandoned& a : abandoned_) {
                if (a.expiry && a.address == exchange->address && a.opcode == answerOpcode)
                    owed = owed ? std::min(*owed, *a.expiry) : *a.expiry;
            }
            if (!owed) break;
            packetCondition_.wait_until(lock, *owed);
        }
        exchange->owedByModule = owedBy(exchange->address);
    }
    exchange->sent = Clock::now();
    exchange->deadline = exchange->sent + std::chrono::milliseconds(kAnswerWaitMs);
    const VX_STATUS status = sendPacket(request);
    if (status == VX_OK) return VX_OK;
    // A send refused because the connection failed reports the failure, as
    // every later call does.
    std::lock_guard<std::mutex> lock(packetMutex_);
    return stickyStatus_ != VX_OK ? stickyStatus_ : status;
}

void System::endExchange(const Exchange& exchange, VX_STATUS status, bool fromModule) {
    bool skippedOwn = false;
    {
        std::lock_guard<std::mutex> lock(packetMutex_);
        if (fromModule) {
            // The module answers in order, and what it owed from before was
            // skipped: this packet is its reply, and nothing older follows.
            std::erase_if(abandoned_,
                          [&](const Abandoned& a) { return a.address == exchange.address; });
            return;
        }
        skippedOwn = owedBy(exchange.address) < exchange.owedByModule;
    }
    // No answer, or another module's packet: this request's may still come.
    // A packet of its module skipped meanwhile may have been it (and the
    // answer it was taken for lost): then it is skipped for a while only.
    if (status == VX_TIMEOUT || status == VX_PROTOCOL_ERROR)
        abandon(exchange.address, exchange.opcode, exchange.sent, skippedOwn);
}

VX_STATUS System::exchangeAnswer(const OutPacket& request, std::optional<uint16_t> from,
                                 uint8_t answerOpcode, RawPacket* answer) {
    Exchange exchange;
    VX_STATUS status = beginExchange(request, answerOpcode, &exchange);
    if (status != VX_OK) return status;
    status = waitForAnswer(answer, remainingMs(exchange.deadline), true);
    if (status != VX_OK) {
        endExchange(exchange, status, false);
        return status;
    }
    if (from && answer->address() != *from)
        status = VX_PROTOCOL_ERROR;
    else if (answer->opcode() != answerOpcode)
        status = answer->errorCode() != VX_OK ? answer->errorCode() : VX_PROTOCOL_ERROR;
    endExchange(exchange, status, answer->address() == exchange.address);
    return status;
}

VX_STATUS System::exchangeAcknowledge(const OutPacket& request) {
    RawPacket answer;
    return exchangeAnswer(request, request.address(), opcode::kAcknowledge, &answer);
}

void System::discardQueued() {
    std::lock_guard<std::mutex> lock(packetMutex_);
    discardQueuedLocked();
}

void System::discardQueuedLocked() {
    for (; !ring_.empty(); ring_.pop()) {
        auto late = std::find_if(abandoned_.begin(), abandoned_.end(),
                                 [&](const Abandoned& a) { return a.answeredBy(ring_.front()); });
        if (late != abandoned_.end()) abandoned_.erase(late);
    }
    dropPartialPacket_ = true;
}

VX_STATUS System::receiveNextPacket(uint32_t timeoutMs, VX_packet* packet, bool remove) {
    {
        std::lock_guard<std::mutex> command(commandMutex_);
        if (const VX_STATUS status = checkSystemCommand(false)) return status;
    }
    if (packet == nullptr) return VX_INVALID_PARAMETER;
    RawPacket raw;
    VX_STATUS status = waitForAnswer(&raw, timeoutMs, remove);
    if (status == VX_TIMEOUT) {
        *packet = VX_packet{};
        return VX_OK;
    }
    if (status != VX_OK) return status;

    std::lock_guard<std::mutex> command(commandMutex_);
    uint32_t channel = 0;
    while (channel < channelCount_ && channels_[channel].moduleWord != raw.address()) ++channel;
    if (channel == channelCount_) return VX_INTERNAL_ERROR;
    VX_packet record{};
    status = decodeAnswer(raw, channel, &record);
    if (status != VX_OK) return status;
    int32_t& pending = channels_[channel].pendingPositionerTypeQueries;
    if (record.packetType == VX_PACKET_SENSOR_TYPE && pending > 0) {
        record.packetType = VX_PACKET_POSITIONER_TYPE;
        // A look leaves the packet queued: it is counted when it is taken.
        if (remove) --pending;
    }
    *packet = record;
    return VX_OK;
}

VX_STATUS System::discardPacket() {
    std::lock_guard<std::mutex> command(commandMutex_);
    if (const VX_STATUS status = checkSystemCommand(false)) return status;
    std::lock_guard<std::mutex> lock(packetMutex_);
    if (ring_.empty()) return VX_OK;
    const RawPacket& dropped = ring_.front();
    // A dropped answer to a positioner-type query must not relabel the next
    // sensor-type answer.
    if (dropped.opcode() == opcode::kSensorType) {
        for (uint32_t i = 0; i < channelCount_; ++i) {
            if (channels_[i].moduleWord == dropped.address()) {
                if (channels_[i].pendingPositionerTypeQueries > 0)
                    --channels_[i].pendingPositionerTypeQueries;
                break;
            }
        }
    }
    ring_.pop();
    return VX_OK;
}

VX_STATUS System::cancelWaitForPacket() {
    if (const VX_STATUS status = checkSystemCommand(false)) return status;
    std::lock_guard<std::mutex> lock(packetMutex_);
    cancelRequested_ = true;
    signalPacketWaiters();
    return VX_OK;
}

VX_STATUS System::setBufferedOutput(uint32_t mode) {
    std::lock_guard<std::mutex> command(commandMutex_);
    if (const VX_STATUS status = checkSystemCommand(false)) return status;
    if (mode > 1) return VX_INVALID_PARAMETER;
    outputFill_ = 0;
    bufferedOutput_ = mode == 1;
    return VX_OK;
}

VX_STATUS System::getBufferedOutput(uint32_t* mode) {
    std::lock_guard<std::mutex> command(commandMutex_);
    if (const VX_STATUS status = checkSystemCommand(false)) return status;
    if (mode) *mode = bufferedOutput_ ? 1 : 0;
    return VX_OK;
}

VX_STATUS System::flushOutput() {
    std::lock_guard<std::mutex> command(commandMutex_);
    if (const VX_STATUS status = checkSystemCommand(false)) return status;
    if (outputFill_ == 0) return VX_OK;
    VX_STATUS status = sendDirect(outputBuffer_.data(), outputFill_);
    outputFill_ = 0;
    return status;
}

}  // namespace qmx
