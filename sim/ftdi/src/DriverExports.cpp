// The driver functions of the double, over the simulated adapters of Driver.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "Driver.h"

using vxftdi::Adapter;
using vxftdi::Driver;
using vxftdi::Session;

extern "C" {
#define VXFTDI_DECLARE(name, params) __attribute__((visibility("default"))) FtdiStatus name params;
VX_FTDI_DRIVER_FUNCTIONS(VXFTDI_DECLARE)
#undef VXFTDI_DECLARE
__attribute__((visibility("default"))) FtdiStatus VXFTDI_ChipIdNumDevices(uint32_t* count);
__attribute__((visibility("default"))) FtdiStatus VXFTDI_ChipIdFromHandle(FtdiHandle handle,
                                                                          uint32_t* chipId);
}

namespace {

constexpr uint32_t kMaxBaudRate = 12000000;

template <typename... Values>
std::string arguments(Values... values) {
    std::string text;
    ((text += (text.empty() ? "" : ",") + std::to_string(values)), ...);
    return text;
}

// Runs `body` on the open session of `handle` under the driver's lock, after
// logging the call and applying an injected failure.
template <typename Body>
FtdiStatus onSession(const char* function, FtdiHandle handle, const std::string& args,
                     Body body) {
    Driver& driver = Driver::instance();
    if (auto failure = driver.enter(function, args)) return *failure;
    std::unique_lock<std::mutex> lock(driver.mutex);
    std::shared_ptr<Session> session = driver.findSession(handle);
    if (!session) return VXFTDI_INVALID_HANDLE;
    return body(*session, *session->adapter, lock);
}

// Setters only record what the host configured, on a handle that still works.
template <typename Body>
FtdiStatus setLine(const char* function, FtdiHandle handle, const std::string& args, Body body) {
    return onSession(function, handle, args,
                     [&](Session& session, Adapter& adapter, std::unique_lock<std::mutex>&) {
                         if (session.lost) return FtdiStatus(VXFTDI_IO_ERROR);
                         return body(adapter.line);
                     });
}

void fillNode(const Adapter& adapter, bool open, FtdiHandle handle, FtdiDeviceInfoNode* node) {
    std::memset(node, 0, sizeof(*node));
    node->flags = (adapter.flags & kFtdiFlagHighSpeed) |
                  ((open || (adapter.flags & kFtdiFlagOpened)) ? kFtdiFlagOpened : 0);
    node->type = adapter.type;
    node->id = (static_cast<uint32_t>(adapter.vendorId) << 16) | adapter.productId;
    node->locationId = adapter.locationId;
    std::strncpy(node->serialNumber, adapter.serial.c_str(), sizeof(node->serialNumber) - 1);
    std::strncpy(node->description, adapter.description.c_str(), sizeof(node->description) - 1);
    node->handle = handle;
}

std::shared_ptr<Session> sessionOf(Driver& driver, const Adapter& adapter) {
    for (auto& [number, session] : driver.sessions) {
        if (session->adapter.get() == &adapter && session->ready) return session;
    }
    return nullptr;
}

FtdiStatus openAdapter(Driver& driver, std::shared_ptr<Adapter> adapter,
                       std::unique_lock<std::mutex>& lock, FtdiHandle* handle) {
    FtdiStatus status = VXFTDI_OK;
    std::shared_ptr<Session> session = driver.openSession(adapter, lock, &status);
    if (session) *handle = Driver::handleOf(session->number);
    return status;
}

}  // namespace

extern "C" {

FtdiStatus FT_CreateDeviceInfoList(uint32_t* count) {
    Driver& driver = Driver::instance();
    if (auto failure = driver.enter("FT_CreateDeviceInfoList", "")) return *failure;
    if (!count) return VXFTDI_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(driver.mutex);
    driver.listSnapshot = driver.adapters;
    *count = static_cast<uint32_t>(driver.listSnapshot.size());
    return VXFTDI_OK;
}

FtdiStatus FT_GetDeviceInfoList(FtdiDeviceInfoNode* list, uint32_t* count) {
    Driver& driver = Driver::instance();
    if (auto failure = driver.enter("FT_GetDeviceInfoList", "")) return *failure;
    if (!list || !count) return VXFTDI_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(driver.mutex);
    // The list the last FT_CreateDeviceInfoList counted, as it is now.
    uint32_t filled = 0;
    for (const auto& adapter : driver.listSnapshot) {
        auto session = sessionOf(driver, *adapter);
        fillNode(*adapter, session != nullptr,
                 session ? Driver::handleOf(session->number) : nullptr, &list[filled++]);
    }
    *count = filled;
    return VXFTDI_OK;
}

FtdiStatus FT_Open(int index, FtdiHandle* handle) {
    Driver& driver = Driver::instance();
    if (auto failure = driver.enter("FT_Open", arguments(index))) return *failure;
    if (!handle) return VXFTDI_INVALID_PARAMETER;
    std::unique_lock<std::mutex> lock(driver.mutex);
    if (index < 0 || static_cast<size_t>(index) >= driver.adapters.size())
        return VXFTDI_DEVICE_NOT_FOUND;
    return openAdapter(driver, driver.adapters[static_cast<size_t>(index)], lock, handle);
}

FtdiStatus FT_OpenEx(void* argument, uint32_t flags, FtdiHandle* handle) {
    Driver& driver = Driver::instance();
    const std::string serial =
        (flags == kFtdiOpenBySerialNumber && argument) ? static_cast<const char*>(argument) : "";
    if (auto failure = driver.enter("FT_OpenEx", serial + "," + std::to_string(flags)))
        return *failure;
    if (!handle || flags != kFtdiOpenBySerialNumber || !argument) return VXFTDI_INVALID_PARAMETER;
    std::unique_lock<std::mutex> lock(driver.mutex);
    for (auto& adapter : driver.adapters) {
        if (adapter->serial == serial) return openAdapter(driver, adapter, lock, handle);
    }
    return VXFTDI_DEVICE_NOT_FOUND;
}

FtdiStatus FT_Close(FtdiHandle handle) {
    Driver& driver = Driver::instance();
    if (auto failure = driver.enter("FT_Close", "")) return *failure;
    return driver.closeSession(handle);
}

FtdiStatus FT_GetStatus(FtdiHandle handle, uint32_t* rxBytes, uint32_t* txBytes,
                        uint32_t* eventStatus) {
    return onSession("FT_GetStatus", handle, "",
                     [&](Session& session, Adapter& adapter, std::unique_lock<std::mutex>&) {
                         if (session.lost) return FtdiStatus(VXFTDI_IO_ERROR);
                         if (rxBytes) *rxBytes = static_cast<uint32_t>(adapter.received.size());
                         if (txBytes) *txBytes = 0;
                         if (eventStatus) *eventStatus = 0;
                         return FtdiStatus(VXFTDI_OK);
                     });
}

FtdiStatus FT_Read(FtdiHandle handle, void* buffer, uint32_t toRead, uint32_t* read) {
    return onSession(
        "FT_Read", handle, arguments(toRead),
        [&](Session& session, Adapter& adapter, std::unique_lock<std::mutex>& lock) {
            if (!read || (!buffer && toRead)) return FtdiStatus(VXFTDI_INVALID_PARAMETER);
            *read = 0;
            // Like the chip: wait for the whole request up to the read time-out.
            const auto deadline = std::chrono::steady_clock::now() +
                                  std::chrono::milliseconds(adapter.line.readTimeout);
            Driver& driver = Driver::instance();
            driver.changed.wait_until(lock, deadline, [&] {
                return session.lost || !driver.sessions.count(session.number) ||
                       adapter.received.size() >= toRead;
            });
            if (session.lost) return FtdiStatus(VXFTDI_IO_ERROR);
            const size_t count = std::min<size_t>(toRead, adapter.received.size());
            std::copy_n(adapter.received.begin(), count, static_cast<uint8_t*>(buffer));
            adapter.received.erase(adapter.received.begin(),
                                   adapter.received.begin() + static_cast<ptrdiff_t>(count));
            *read = static_cast<uint32_t>(count) + adapter.readSkew;
            return FtdiStatus(VXFTDI_OK);
        });
}

FtdiStatus FT_Write(FtdiHandle handle, const void* buffer, uint32_t toWrite, uint32_t* written) {
    std::shared_ptr<Adapter> target;
    std::string bytes;
    const FtdiStatus status = onSession(
        "FT_Write", handle, arguments(toWrite),
        [&](Session& session, Adapter& adapter, std::unique_lock<std::mutex>& lock) {
            if (!written || (!buffer && toWrite)) return FtdiStatus(VXFTDI_INVALID_PARAMETER);
            *written = 0;
            if (session.lost) return FtdiStatus(VXFTDI_IO_ERROR);
            Driver& driver = Driver::instance();
            if (adapter.writeLimit == 0 || session.stalled) {
                // A stuck line: nothing goes out within the write time-out,
                // or until FT_Close takes the handle away.
                const auto deadline = std::chrono::steady_clock::now() +
                                      std::chrono::milliseconds(adapter.line.writeTimeout);
                driver.changed.wait_until(lock, deadline, [&] {
                    return session.lost || !driver.sessions.count(session.number);
                });
                if (session.lost) return FtdiStatus(VXFTDI_IO_ERROR);
                *written = adapter.writeSkew;
                return FtdiStatus(VXFTDI_OK);
            }
            const size_t count = std::min<size_t>(toWrite, adapter.writeLimit);
            bytes.assign(static_cast<const char*>(buffer), count);
            target = session.adapter;
            *written = static_cast<uint32_t>(count) + adapter.writeSkew;
            return FtdiStatus(VXFTDI_OK);
        });
    if (target && !bytes.empty())
        Driver::instance().deliverWritten(target, reinterpret_cast<const uint8_t*>(bytes.data()),
                                          bytes.size());
    return status;
}

FtdiStatus FT_Purge(FtdiHandle handle, uint32_t mask) {
    return onSession("FT_Purge", handle, arguments(mask),
                     [&](Session& session, Adapter& adapter, std::unique_lock<std::mutex>&) {
                         if (session.lost) return FtdiStatus(VXFTDI_IO_ERROR);
                         if (mask & kFtdiPurgeRx) adapter.received.clear();
                         return FtdiStatus(VXFTDI_OK);
                     });
}

FtdiStatus FT_SetBaudRate(FtdiHandle handle, uint32_t baudRate) {
    return setLine("FT_SetBaudRate", handle, arguments(baudRate), [&](VxFtdiLineState& line) {
        if (baudRate == 0 || baudRate > kMaxBaudRate) return FtdiStatus(VXFTDI_INVALID_BAUD_RATE);
        line.baudRate = baudRate;
        return FtdiStatus(VXFTDI_OK);
    });
}

FtdiStatus FT_SetDataCharacteristics(FtdiHandle handle, uint8_t wordLength, uint8_t stopBits,
                                     uint8_t parity) {
    return setLine("FT_SetDataCharacteristics", handle,
                   arguments(wordLength, stopBits, parity), [&](VxFtdiLineState& line) {
                       line.wordLength = wordLength;
                       line.stopBits = stopBits;
                       line.parity = parity;
                       return FtdiStatus(VXFTDI_OK);
                   });
}

FtdiStatus FT_SetFlowControl(FtdiHandle handle, uint16_t flowControl, uint8_t xon, uint8_t xoff) {
    return setLine("FT_SetFlowControl", handle, arguments(flowControl, xon, xoff),
                   [&](VxFtdiLineState& line) {
                       line.flowControl = flowControl;
                       line.xon = xon;
                       line.xoff = xoff;
                       return FtdiStatus(VXFTDI_OK);
                   });
}

FtdiStatus FT_SetTimeouts(FtdiHandle handle, uint32_t readTimeout, uint32_t writeTimeout) {
    return setLine("FT_SetTimeouts", handle, arguments(readTimeout, writeTimeout),
                   [&](VxFtdiLineState& line) {
                       line.readTimeout = readTimeout;
                       line.writeTimeout = writeTimeout;
                       return FtdiStatus(VXFTDI_OK);
                   });
}

FtdiStatus FT_SetLatencyTimer(FtdiHandle handle, uint8_t latency) {
    return setLine("FT_SetLatencyTimer", handle, arguments(latency), [&](VxFtdiLineState& line) {
        line.latency = latency;
        return FtdiStatus(VXFTDI_OK);
    });
}

#ifndef VXFTDI_WITHOUT_SET_BIT_MODE
FtdiStatus FT_SetBitMode(FtdiHandle handle, uint8_t mask, uint8_t mode) {
    return setLine("FT_SetBitMode", handle, arguments(mask, mode), [&](VxFtdiLineState& line) {
        line.bitMask = mask;
        line.bitMode = mode;
        return FtdiStatus(VXFTDI_OK);
    });
}
#endif

FtdiStatus FT_SetUSBParameters(FtdiHandle handle, uint32_t inSize, uint32_t outSize) {
    return setLine("FT_SetUSBParameters", handle, arguments(inSize, outSize),
                   [&](VxFtdiLineState& line) {
                       line.usbInSize = inSize;
                       line.usbOutSize = outSize;
                       return FtdiStatus(VXFTDI_OK);
                   });
}

FtdiStatus FT_SetEventNotification(FtdiHandle handle, uint32_t mask, void* parameter) {
    return onSession("FT_SetEventNotification", handle, arguments(mask),
                     [&](Session& session, Adapter& adapter, std::unique_lock<std::mutex>&) {
                         if (session.lost) return FtdiStatus(VXFTDI_IO_ERROR);
                         session.event = static_cast<FtdiEventRecord*>(parameter);
                         session.eventMask = mask;
                         adapter.line.eventMask = mask;
                         return FtdiStatus(VXFTDI_OK);
                     });
}

FtdiStatus FT_ReadEE(FtdiHandle handle, uint32_t offset, uint16_t* value) {
    return onSession("FT_ReadEE", handle, arguments(offset),
                     [&](Session&, Adapter&, std::unique_lock<std::mutex>&) {
                         if (value) *value = 0xFFFF;
                         return FtdiStatus(VXFTDI_OK);
                     });
}

FtdiStatus FT_EE_Read(FtdiHandle handle, void*) {
    return onSession("FT_EE_Read", handle, "",
                     [&](Session&, Adapter&, std::unique_lock<std::mutex>&) {
                         return FtdiStatus(VXFTDI_OTHER_ERROR);
                     });
}

FtdiStatus FT_EE_UASize(FtdiHandle handle, uint32_t* size) {
    return onSession("FT_EE_UASize", handle, "",
                     [&](Session& session, Adapter& adapter, std::unique_lock<std::mutex>&) {
                         if (!size) return FtdiStatus(VXFTDI_INVALID_PARAMETER);
                         if (session.lost) return FtdiStatus(VXFTDI_IO_ERROR);
                         *size = static_cast<uint32_t>(adapter.userAreaSize);
                         return FtdiStatus(VXFTDI_OK);
                     });
}

FtdiStatus FT_EE_UARead(FtdiHandle handle, uint8_t* data, uint32_t length, uint32_t* read) {
    return onSession("FT_EE_UARead", handle, arguments(length),
                     [&](Session& session, Adapter& adapter, std::unique_lock<std::mutex>&) {
                         if (!data || !read || length > adapter.userAreaSize)
                             return FtdiStatus(VXFTDI_INVALID_PARAMETER);
                         if (session.lost) return FtdiStatus(VXFTDI_IO_ERROR);
                         std::copy_n(adapter.userArea.begin(), length, data);
                         *read = length;
                         return FtdiStatus(VXFTDI_OK);
                     });
}

FtdiStatus FT_EE_UAWrite(FtdiHandle handle, const uint8_t* data, uint32_t length) {
    return onSession("FT_EE_UAWrite", handle, arguments(length),
                     [&](Session& session, Adapter& adapter, std::unique_lock<std::mutex>&) {
                         if (!data || length > adapter.userAreaSize)
                             return FtdiStatus(VXFTDI_INVALID_PARAMETER);
                         if (session.lost) return FtdiStatus(VXFTDI_IO_ERROR);
                         std::copy_n(data, length, adapter.userArea.begin());
                         return FtdiStatus(VXFTDI_OK);
                     });
}

// Behind the chip-id library's functions, which share this driver's state.
FtdiStatus VXFTDI_ChipIdNumDevices(uint32_t* count) {
    Driver& driver = Driver::instance();
    if (auto failure = driver.enter("FTID_GetNumDevices", "")) return *failure;
    if (!count) return VXFTDI_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(driver.mutex);
    *count = static_cast<uint32_t>(driver.adapters.size());
    return VXFTDI_OK;
}

FtdiStatus VXFTDI_ChipIdFromHandle(FtdiHandle handle, uint32_t* chipId) {
    return onSession("FTID_GetChipIDFromHandle", handle, "",
                     [&](Session& session, Adapter& adapter, std::unique_lock<std::mutex>&) {
                         if (!chipId) return FtdiStatus(VXFTDI_INVALID_PARAMETER);
                         if (session.lost) return FtdiStatus(VXFTDI_IO_ERROR);
                         *chipId = adapter.chipId;
                         return FtdiStatus(VXFTDI_OK);
                     });
}

}  // extern "C"
