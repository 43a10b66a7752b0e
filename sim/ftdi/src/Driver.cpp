#include "Driver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "Bridge.h"
#include "platform/Text.h"

namespace vxftdi {

namespace {

constexpr size_t kLogLimit = 20000;
constexpr uintptr_t kHandleBase = 0x5000;
constexpr uint16_t kDefaultVendorId = 0x0403;
constexpr uint16_t kDefaultProductId = 0x6001;
constexpr uint32_t kDefaultType = VXFTDI_TYPE_SINGLE;
constexpr size_t kDefaultUserAreaSize = 64;

// The pieces between separators, trimmed; blank ones are dropped.
std::vector<std::string> trimmedPieces(std::string_view text, std::string_view separators) {
    std::vector<std::string> pieces;
    for (const std::string& piece : vxplatform::splitText(text, separators)) {
        std::string trimmed = vxplatform::trimText(piece);
        if (!trimmed.empty()) pieces.push_back(std::move(trimmed));
    }
    return pieces;
}

bool parseNumber(const std::string& text, uint32_t* value) {
    if (text.empty()) return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > (hex ? 8u : 10u)) return false;
    for (char c : digits) {
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c))))
            return false;
    }
    const unsigned long long parsed = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    if (parsed > UINT32_MAX) return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

bool parseHexBytes(const std::string& text, std::vector<uint8_t>* bytes) {
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        uint32_t value = 0;
        if (!parseNumber("0x" + text.substr(i, 2), &value)) return false;
        bytes->push_back(static_cast<uint8_t>(value));
    }
    return true;
}

// One adapter of the text form, before anything is added.
struct TextAdapter {
    VxFtdiAdapterSpec spec{};
    std::string serial;
    std::string description;
    std::vector<uint8_t> userArea;
    std::string host;
    uint16_t port = 0;
    bool paced = false;
};

bool parseTextAdapter(const std::string& entry, TextAdapter* out) {
    for (const std::string& field : trimmedPieces(entry, ";")) {
        const size_t equals = field.find('=');
        if (equals == std::string::npos) return false;
        const std::string key = vxplatform::trimText(field.substr(0, equals));
        const std::string value = vxplatform::trimText(field.substr(equals + 1));
        uint32_t number = 0;
        if (key == "sn") {
            out->serial = value;
        } else if (key == "desc") {
            out->description = value;
        } else if (key == "ua") {
            if (!parseHexBytes(value, &out->userArea)) return false;
        } else if (key == "tcp") {
            const size_t colon = value.rfind(':');
            if (colon == std::string::npos || !parseNumber(value.substr(colon + 1), &number) ||
                number == 0 || number > 65535)
                return false;
            out->host = value.substr(0, colon);
            if (out->host.size() >= 2 && out->host.front() == '[' && out->host.back() == ']')
                out->host = out->host.substr(1, out->host.size() - 2);
            if (out->host.empty()) return false;
            out->port = static_cast<uint16_t>(number);
        } else if (parseNumber(value, &number)) {
            if (key == "vid" && number <= 0xFFFF) out->spec.vendorId = static_cast<uint16_t>(number);
            else if (key == "pid" && number <= 0xFFFF) out->spec.productId = static_cast<uint16_t>(number);
            else if (key == "id") out->spec.chipId = number;
            else if (key == "type") out->spec.type = number;
            else if (key == "flags") out->spec.flags = number;
            else if (key == "paced" && number <= 1) out->paced = number == 1;
            else return false;
        } else {
            return false;
        }
    }
    return !out->serial.empty();
}

}  // namespace

Adapter::~Adapter() = default;

Driver& Driver::instance() {
    // Lives for the process: host threads may still call the driver while
    // the process ends.
    static Driver* driver = [] {
        Driver* created = new Driver;
        if (const char* devices = std::getenv("VXFTDI_DEVICES")) created->addFromText(devices);
        return created;
    }();
    return *driver;
}

FtdiHandle Driver::handleOf(uint64_t number) {
    return reinterpret_cast<FtdiHandle>(kHandleBase + static_cast<uintptr_t>(number));
}

std::optional<FtdiStatus> Driver::enter(const char* function, const std::string& arguments) {
    std::lock_guard<std::mutex> lock(mutex);
    log_.push_back(std::string(function) + "(" + arguments + ")");
    if (log_.size() > kLogLimit) log_.pop_front();
    auto fault = faults_.find(function);
    if (fault == faults_.end()) return std::nullopt;
    const FtdiStatus status = fault->second.status;
    if (fault->second.remaining > 0 && --fault->second.remaining == 0) faults_.erase(fault);
    return status;
}

void Driver::reset() {
    std::vector<std::shared_ptr<Adapter>> removed;
    {
        std::lock_guard<std::mutex> lock(mutex);
        removed.swap(adapters);
        listSnapshot.clear();
        for (auto& [number, session] : sessions) session->lost = true;
        for (auto& adapter : removed) adapter->listed = false;
        faults_.clear();
        log_.clear();
        changed.notify_all();
    }
}

int Driver::addAdapter(const VxFtdiAdapterSpec& spec) {
    auto adapter = std::make_shared<Adapter>();
    adapter->serial = std::string(spec.serial ? spec.serial : "").substr(0, kSerialCapacity - 1);
    adapter->description =
        std::string(spec.description ? spec.description : "").substr(0, kDescriptionCapacity - 1);
    adapter->vendorId = spec.vendorId ? spec.vendorId : kDefaultVendorId;
    adapter->productId = spec.productId ? spec.productId : kDefaultProductId;
    adapter->chipId = spec.chipId;
    adapter->type = spec.type ? spec.type : kDefaultType;
    adapter->flags = spec.flags;
    adapter->locationId = spec.locationId;
    if (spec.userArea && spec.userAreaLength)
        adapter->userArea.assign(spec.userArea, spec.userArea + spec.userAreaLength);
    adapter->userAreaSize =
        spec.userAreaSize ? spec.userAreaSize : std::max(kDefaultUserAreaSize, spec.userAreaLength);
    adapter->userArea.resize(std::max(adapter->userArea.size(), adapter->userAreaSize), 0);
    std::lock_guard<std::mutex> lock(mutex);
    adapter->id = nextAdapterId_++;
    if (adapter->locationId == 0) adapter->locationId = 0x1000 + static_cast<uint32_t>(adapter->id);
    adapters.push_back(adapter);
    return adapter->id;
}

int Driver::addFromText(const std::string& text) {
    std::vector<TextAdapter> parsed;
    for (const std::string& entry : trimmedPieces(text, "|\n")) {
        TextAdapter adapter;
        if (!parseTextAdapter(entry, &adapter)) return -1;
        parsed.push_back(std::move(adapter));
    }
    for (TextAdapter& entry : parsed) {
        entry.spec.serial = entry.serial.c_str();
        entry.spec.description = entry.description.c_str();
        entry.spec.userArea = entry.userArea.data();
        entry.spec.userAreaLength = entry.userArea.size();
        if (entry.host.empty())
            addAdapter(entry.spec);
        else
            addBridgedAdapter(entry.spec, entry.host, entry.port, entry.paced);
    }
    return static_cast<int>(parsed.size());
}

int Driver::addBridgedAdapter(const VxFtdiAdapterSpec& spec, const std::string& host, uint16_t port,
                              bool paced) {
    const int id = addAdapter(spec);
    VxFtdiPeer peer{};
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto adapter = findAdapter(id);
        adapter->bridge = std::make_unique<Bridge>(*this, host, port, paced);
        peer = adapter->bridge->peer();
    }
    attachPeer(id, &peer);
    return id;
}

std::shared_ptr<Adapter> Driver::findAdapter(int id) {
    for (auto& adapter : adapters) {
        if (adapter->id == id) return adapter;
    }
    for (auto& [number, session] : sessions) {
        if (session->adapter->id == id) return session->adapter;
    }
    return nullptr;
}

std::shared_ptr<Session> Driver::findSession(FtdiHandle handle) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value <= kHandleBase) return nullptr;
    auto found = sessions.find(value - kHandleBase);
    if (found == sessions.end() || !found->second->ready) return nullptr;
    return found->second;
}

int Driver::unplug(int id) {
    // Let go of after the lock: a bridged adapter's end joins its pump,
    // which may be waiting for the lock.
    std::shared_ptr<Adapter> adapter;
    std::lock_guard<std::mutex> lock(mutex);
    adapter = findAdapter(id);
    if (!adapter) return -1;
    adapter->listed = false;
    adapters.erase(std::remove(adapters.begin(), adapters.end(), adapter), adapters.end());
    for (auto& [number, session] : sessions) {
        if (session->adapter == adapter) session->lost = true;
    }
    changed.notify_all();
    return 0;
}

int Driver::dropConnection(int id) {
    std::lock_guard<std::mutex> lock(mutex);
    auto adapter = findAdapter(id);
    if (!adapter) return -1;
    for (auto& [number, session] : sessions) {
        if (session->adapter == adapter) session->lost = true;
    }
    changed.notify_all();
    return 0;
}

int Driver::attachPeer(int id, const VxFtdiPeer* peer) {
    std::shared_ptr<Adapter> adapter;
    {
        std::lock_guard<std::mutex> lock(mutex);
        adapter = findAdapter(id);
    }
    if (!adapter) return -1;
    std::lock_guard<std::recursive_mutex> calls(adapter->peerCalls);
    std::lock_guard<std::mutex> lock(mutex);
    if (peer) adapter->peer = *peer;
    else adapter->peer.reset();
    return 0;
}

int Driver::pushReceived(int id, const uint8_t* data, size_t length) {
    std::shared_ptr<Session> session;
    FtdiEventRecord* event = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& [number, candidate] : sessions) {
            if (candidate->adapter->id == id) session = candidate;
        }
        if (!session || session->lost) return -1;
        if (length) session->adapter->received.insert(session->adapter->received.end(), data, data + length);
        changed.notify_all();
        if (session->event && (session->eventMask & kFtdiEventRxChar) && length) {
            event = session->event;
            ++session->signalling;
        }
    }
    if (!event) return 0;
    pthread_mutex_lock(&event->mutex);
    event->signalled = 1;
    pthread_cond_broadcast(&event->condition);
    pthread_mutex_unlock(&event->mutex);
    std::lock_guard<std::mutex> lock(mutex);
    --session->signalling;
    changed.notify_all();
    return 0;
}

std::shared_ptr<Session> Driver::openSession(const std::shared_ptr<Adapter>& adapter,
                                             std::unique_lock<std::mutex>& lock,
                                             FtdiStatus* status) {
    for (auto& [number, session] : sessions) {
        if (session->adapter == adapter) {
            *status = VXFTDI_DEVICE_NOT_OPENED;
            return nullptr;
        }
    }
    if (adapter->flags & kFtdiFlagOpened) {
        *status = VXFTDI_DEVICE_NOT_OPENED;
        return nullptr;
    }
    auto session = std::make_shared<Session>();
    session->number = nextSession_++;
    session->adapter = adapter;
    sessions[session->number] = session;
    adapter->received.clear();

    // The peer learns of the open before the host gets its handle, and
    // may already send: the session takes those bytes.
    lock.unlock();
    int refused = 0;
    {
        std::lock_guard<std::recursive_mutex> calls(adapter->peerCalls);
        std::optional<VxFtdiPeer> peer;
        {
            std::lock_guard<std::mutex> relock(mutex);
            peer = adapter->peer;
        }
        if (peer && peer->onOpen) refused = peer->onOpen(peer->context, adapter->id);
    }
    lock.lock();
    if (refused) {
        sessions.erase(session->number);
        *status = VXFTDI_DEVICE_NOT_OPENED;
        return nullptr;
    }
    session->ready = true;
    ++adapter->line.opens;
    *status = VXFTDI_OK;
    return session;
}

FtdiStatus Driver::closeSession(FtdiHandle handle) {
    std::shared_ptr<Session> session;
    {
        std::unique_lock<std::mutex> lock(mutex);
        session = findSession(handle);
        if (!session) return VXFTDI_INVALID_HANDLE;
        sessions.erase(session->number);
        // The host may free its event record once the handle is closed.
        changed.wait(lock, [&] { return session->signalling == 0; });
        session->event = nullptr;
        session->adapter->received.clear();
        ++session->adapter->line.closes;
        changed.notify_all();
    }
    std::shared_ptr<Adapter> adapter = session->adapter;
    std::lock_guard<std::recursive_mutex> calls(adapter->peerCalls);
    std::optional<VxFtdiPeer> peer;
    {
        std::lock_guard<std::mutex> lock(mutex);
        peer = adapter->peer;
    }
    if (peer && peer->onClose) peer->onClose(peer->context, adapter->id);
    return VXFTDI_OK;
}

void Driver::deliverWritten(const std::shared_ptr<Adapter>& adapter, const uint8_t* data,
                            size_t length) {
    std::lock_guard<std::recursive_mutex> calls(adapter->peerCalls);
    std::optional<VxFtdiPeer> peer;
    {
        std::lock_guard<std::mutex> lock(mutex);
        peer = adapter->peer;
        if (!peer || !peer->onWrite) {
            adapter->written.insert(adapter->written.end(), data, data + length);
            return;
        }
    }
    peer->onWrite(peer->context, adapter->id, data, length);
}

void Driver::failCall(const std::string& function, FtdiStatus status, int count) {
    std::lock_guard<std::mutex> lock(mutex);
    if (count == 0) faults_.erase(function);
    else faults_[function] = Fault{status, count};
}

void Driver::clearFaults() {
    std::lock_guard<std::mutex> lock(mutex);
    faults_.clear();
}

std::string Driver::callLog() {
    std::lock_guard<std::mutex> lock(mutex);
    std::string text;
    for (const std::string& line : log_) {
        text += line;
        text += '\n';
    }
    return text;
}

void Driver::clearCallLog() {
    std::lock_guard<std::mutex> lock(mutex);
    log_.clear();
}

}  // namespace vxftdi
