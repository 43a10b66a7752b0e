#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "QMXControl.h"

namespace qmx {

class GroupTicket;
class SystemVeltraxCTL;

// The command group that bundles one operation's requests. While it is
// open every request carries its transmit handle. Its end is the guard: a
// group still open then (never closed, or its close failed) is cancelled.
class CommandGroup {
public:
    explicit CommandGroup(SystemVeltraxCTL& system) : system_(system) {}
    ~CommandGroup();
    CommandGroup(const CommandGroup&) = delete;
    CommandGroup& operator=(const CommandGroup&) = delete;

    VX_STATUS open();
    // Sends the group, or parks it while output is buffered; either way
    // the group is no longer this object's.
    VX_STATUS close();
    uint32_t transmitHandle() const;
    // Held by whoever waits for the group's answers; null before open.
    const std::shared_ptr<GroupTicket>& ticket() const { return ticket_; }

private:
    SystemVeltraxCTL& system_;
    std::shared_ptr<GroupTicket> ticket_;
    bool open_ = false;  // opened, and neither sent nor parked
};

// Read requests of one operation, their results taken in request order.
// Requests whose results were not taken are cancelled when it ends.
class ReadQueue {
public:
    explicit ReadQueue(SystemVeltraxCTL& system, uint32_t transmitHandle = 0)
        : system_(system), transmitHandle_(transmitHandle) {}
    ~ReadQueue();
    ReadQueue(const ReadQueue&) = delete;
    ReadQueue& operator=(const ReadQueue&) = delete;

    SystemVeltraxCTL& system() { return system_; }

    VX_STATUS request(uint32_t key, uint8_t index);
    // The oldest request's result; `length` in: capacity in values (one
    // value when null), out: values received. 255 when none is queued.
    VX_STATUS popI32(int32_t* values, size_t* length = nullptr);
    VX_STATUS popI64(int64_t* values, size_t* length = nullptr);
    VX_STATUS popString(std::string* text);
    size_t pending() const { return ids_.size(); }

private:
    bool takeOldest(uint8_t* id);

    SystemVeltraxCTL& system_;
    uint32_t transmitHandle_;
    std::deque<uint8_t> ids_;
};

// Write requests of one operation. Commit waits for each in order, at once
// or on the job worker; writes not committed are cancelled when it ends.
class WriteQueue {
public:
    explicit WriteQueue(SystemVeltraxCTL& system, uint32_t transmitHandle = 0)
        : system_(system), transmitHandle_(transmitHandle) {}
    ~WriteQueue();
    WriteQueue(const WriteQueue&) = delete;
    WriteQueue& operator=(const WriteQueue&) = delete;

    SystemVeltraxCTL& system() { return system_; }

    VX_STATUS requestI32(uint32_t key, uint8_t index, int32_t value);
    VX_STATUS requestI64(uint32_t key, uint8_t index, int64_t value);
    VX_STATUS requestArrayI32(uint32_t key, uint8_t index, const int32_t* values, size_t count);
    // The first failed write's status (a write the controller reports as
    // aborted counts as done); asynchronous writes fail as error packets.
    // `group` is the ticket of the group the writes went out in, if any.
    VX_STATUS commit(bool sync, std::shared_ptr<GroupTicket> group = nullptr);
    size_t pending() const { return entries_.size(); }

private:
    struct Entry {
        uint8_t id;
        uint8_t index;
    };

    SystemVeltraxCTL& system_;
    uint32_t transmitHandle_;
    std::deque<Entry> entries_;
};

// How one numbered first-generation value is read and written through the
// batches. A null member: the value cannot be written.
struct BatchEntry {
    uint32_t number;
    VX_STATUS (*readRequest)(ReadQueue& batch, uint8_t channel);
    VX_STATUS (*readResult)(ReadQueue& batch, uint8_t channel, int32_t* value);
    VX_STATUS (*writeRequest)(WriteQueue& batch, uint8_t channel, int32_t value);
};

// The entry of a first-generation channel property key; null for an
// unknown key (156).
const BatchEntry* channelPropertyBatch(uint32_t key);
// Of a tuning parameter number; null for an unknown number (225).
const BatchEntry* tuningParameterBatch(uint32_t number);
// Of a debug value number (read only); null for an unknown number (223).
const BatchEntry* debugValueBatch(uint32_t number);

}  // namespace qmx
