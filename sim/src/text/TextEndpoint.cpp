#include "sim/TextEndpoint.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <optional>
#include <system_error>

namespace vxsim {

namespace {

// Codes of the controller's "E" replies beyond the model's refusals.
constexpr int64_t kNoSuchChannel = 128;
constexpr int64_t kWholeSystem = -1;
constexpr int64_t kSpeedLevelTarget = 255;

// Codes of the speed level table command: 32 size, 64 + size, 96 + i entry,
// 128 + i write entry, 160 store.
constexpr int64_t kTableReadSize = 32;
constexpr int64_t kTableWriteSize = 64;
constexpr int64_t kTableReadEntry = 96;
constexpr int64_t kTableWriteEntry = 128;
constexpr int64_t kTableStore = 160;

// Sub-commands of "IM" and the sub-command its read answer carries.
constexpr int64_t kMapRead = 0;
constexpr int64_t kMapWrite = 16;
constexpr int64_t kMapFinalize = 17;
constexpr int64_t kMapReadAnswer = 1;

constexpr int64_t kPermissionCount = 255;
// "GFV" with this index asks the hand control module's firmware version.
constexpr int64_t kHandControlIndex = 255;
constexpr uint8_t kClosedLoopFrequencyParameter = 2;
constexpr int64_t kSynchronousMode = 0;

using Args = std::vector<int64_t>;

std::string line(std::string_view name, std::initializer_list<int64_t> values) {
    std::string text = ":";
    text += name;
    bool first = true;
    for (int64_t value : values) {
        if (!first) text += ',';
        text += std::to_string(value);
        first = false;
    }
    text += '\n';
    return text;
}

std::string acknowledge(int64_t target, int64_t code) { return line("E", {target, code}); }
std::string systemError(int64_t code) { return acknowledge(kWholeSystem, code); }

// The four numbers of a version word: bits 31-27, 26-24, 23-16, 15-0.
std::array<int64_t, 4> versionParts(uint32_t version) {
    return {version >> 27, (version >> 24) & 0x7, (version >> 16) & 0xFF, version & 0xFFFF};
}

uint16_t clamp16(int64_t value) {
    return static_cast<uint16_t>(std::clamp<int64_t>(value, 0, 0xFFFF));
}

// A command text: the name (capital letters) and its decimal arguments.
struct Command {
    std::string name;
    Args args;
};

std::optional<Command> parseCommand(std::string_view text) {
    Command command;
    size_t at = 0;
    while (at < text.size() && std::isupper(static_cast<unsigned char>(text[at]))) ++at;
    if (at == 0) return std::nullopt;
    command.name = std::string(text.substr(0, at));
    text.remove_prefix(at);
    while (!text.empty()) {
        int64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc()) return std::nullopt;
        command.args.push_back(value);
        text.remove_prefix(static_cast<size_t>(end - text.data()));
        if (text.empty()) break;
        if (text.front() != ',') return std::nullopt;
        text.remove_prefix(1);
        if (text.empty()) return std::nullopt;
    }
    return command;
}

std::string nameOf(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && std::isupper(static_cast<unsigned char>(text[at]))) ++at;
    return std::string(text.substr(0, at));
}

// What the controller answers, one function per command.
struct Context {
    ControllerModel& model;

    std::optional<size_t> channel(int64_t value) const {
        if (value < 0 || static_cast<uint64_t>(value) >= model.channelCount()) return std::nullopt;
        return static_cast<size_t>(value);
    }
};

using Answer = std::string (*)(Context&, const Args&);

// Commands on one channel: the first argument names it.
template <std::string (*Body)(Context&, size_t, const Args&)>
std::string onChannel(Context& c, const Args& a) {
    const auto channel = c.channel(a[0]);
    if (!channel) return systemError(kNoSuchChannel);
    return Body(c, *channel, a);
}

std::string interfaceVersion(Context& c, const Args&) {
    const auto v = versionParts(c.model.setup().interfaceFirmwareVersion);
    return line("IV", {v[0], v[1], v[2], v[3]});
}

std::string communicationMode(Context& c, const Args& a) {
    c.model.setSynchronous(a[0] == kSynchronousMode);
    return systemError(0);
}

std::string channelCount(Context& c, const Args&) {
    return line("N", {static_cast<int64_t>(c.model.channelCount())});
}

std::string baudRateQuery(Context& c, const Args&) { return line("BR", {c.model.rs232Rate()}); }

std::string baudRateChange(Context& c, const Args& a) {
    if (a[0] <= 0 || a[0] > UINT32_MAX) return systemError(refusal::kNotProcessable);
    // Stored, in effect after a reset; with its second argument the command
    // switches the line at once, and gives no reply.
    c.model.setRs232Rate(static_cast<uint32_t>(a[0]), a.size() == 2);
    return a.size() == 1 ? line("BR", {a[0]}) : std::string();
}

std::string channelType(Context& c, size_t ch, const Args& a) {
    switch (c.model.kind(ch)) {
    case ModuleKind::Positioner:
        return line("CT", {a[0], 0});
    case ModuleKind::EndEffector:
        return line("CT", {a[0], 1});
    default:
        return systemError(refusal::kNotProcessable);
    }
}

std::string serialNumber(Context& c, size_t ch, const Args& a) {
    return line("SN", {a[0], c.model.setup().channels[ch].moduleWord});
}

std::string sensorType(Context& c, size_t ch, const Args& a) {
    return line("ST", {a[0], c.model.sensorType(ch)});
}

std::string setSensorType(Context& c, size_t ch, const Args& a) {
    if (a[1] < 0 || a[1] > 255) return acknowledge(a[0], refusal::kNotProcessable);
    c.model.setSensorType(ch, static_cast<uint8_t>(a[1]));
    return acknowledge(a[0], 0);
}

std::string channelState(Context& c, size_t ch, const Args& a) {
    return line("S", {a[0], c.model.status(ch)});
}

std::string position(Context& c, size_t ch, const Args& a) {
    int32_t value = 0;
    if (uint8_t refused = c.model.position(ch, &value)) return systemError(refused);
    return line("P", {a[0], value});
}

std::string angle(Context& c, size_t ch, const Args& a) {
    uint32_t value = 0;
    int32_t revolution = 0;
    if (uint8_t refused = c.model.angle(ch, &value, &revolution)) return systemError(refused);
    return line("A", {a[0], value, revolution});
}

std::string readTuning(Context& c, size_t ch, const Args& a) {
    if (a[1] < 0 || a[1] > 255) return systemError(refusal::kNotProcessable);
    const int32_t value =
        c.model.tableValue(ch, ControllerModel::Table::Tuning, static_cast<uint8_t>(a[1]));
    return line("TP", {a[0], a[1], value});
}

std::string writeTuning(Context& c, size_t ch, const Args& a) {
    if (a[1] < 0 || a[1] > 255) return acknowledge(a[0], refusal::kNotProcessable);
    c.model.setTableValue(ch, ControllerModel::Table::Tuning, static_cast<uint8_t>(a[1]),
                          static_cast<int32_t>(a[2]));
    return acknowledge(a[0], 0);
}

std::string channelProperty(Context& c, size_t ch, const Args& a) {
    int32_t value = 0;
    if (uint8_t refused = c.model.channelProperty(ch, static_cast<uint32_t>(a[1]), &value))
        return acknowledge(a[0], refused);
    return line("CPR", {a[0], a[1], value});
}

std::string setChannelProperty(Context& c, size_t ch, const Args& a) {
    c.model.setChannelProperty(ch, static_cast<uint32_t>(a[1]), static_cast<int32_t>(a[2]));
    return acknowledge(a[0], 0);
}

std::string closedLoopMaxFrequency(Context& c, size_t ch, const Args& a) {
    c.model.setTableValue(ch, ControllerModel::Table::Config, kClosedLoopFrequencyParameter,
                          static_cast<int32_t>(a[1]));
    return acknowledge(a[0], 0);
}

std::string findReferenceMark(Context& c, size_t ch, const Args& a) {
    return acknowledge(
        a[0], c.model.findReferenceMark(ch, static_cast<uint8_t>(a[1]), a[3] != 0, clamp16(a[2])));
}

std::string calibrate(Context& c, size_t ch, const Args& a) {
    return acknowledge(a[0], c.model.calibrateSensor(ch));
}

std::string angleRelative(Context& c, size_t ch, const Args& a) {
    return acknowledge(a[0], c.model.gotoAngle(ch, static_cast<int32_t>(a[1]),
                                               static_cast<int32_t>(a[2]), clamp16(a[3]), true));
}

std::string positionRelative(Context& c, size_t ch, const Args& a) {
    return acknowledge(a[0],
                       c.model.gotoPosition(ch, static_cast<int32_t>(a[1]), clamp16(a[2]), true));
}

std::string stepMove(Context& c, size_t ch, const Args& a) {
    return acknowledge(
        a[0], c.model.stepMove(ch, static_cast<int32_t>(a[1]), clamp16(a[2]), clamp16(a[3])));
}

std::string stop(Context& c, size_t ch, const Args& a) {
    return acknowledge(a[0], c.model.stop(ch));
}

std::string firmwareVersions(Context& c, size_t ch, const Args& a) {
    const ChannelSetup& setup = c.model.setup().channels[ch];
    if (!setup.reportsFirmware) return systemError(refusal::kUnknownCommand);
    const auto first = versionParts(setup.firmwareVersion);
    const auto second = versionParts(setup.secondFirmwareVersion);
    return line("FV", {a[0], first[0], first[1], first[2], first[3], second[0], second[1],
                       second[2], second[3]});
}

// Channels answer with their two versions; the hand control module, when
// there is one, with its version twice. Without one nobody answers.
std::string moduleFirmwareVersions(Context& c, const Args& a) {
    if (a[0] != kHandControlIndex) return onChannel<firmwareVersions>(c, a);
    if (!c.model.handControl()) return {};
    const auto v = versionParts(c.model.setup().handControlFirmwareVersion);
    return line("FV", {a[0], v[0], v[1], v[2], v[3], v[0], v[1], v[2], v[3]});
}

std::string featurePermissions(Context& c, size_t ch, const Args& a) {
    const std::vector<uint8_t>& bytes = c.model.setup().channels[ch].featureBytes;
    if (a[1] == kPermissionCount) return line("FP", {a[0], static_cast<int64_t>(bytes.size())});
    if (a[1] < 0 || static_cast<size_t>(a[1]) >= bytes.size())
        return systemError(refusal::kNotProcessable);
    return line("FP", {a[0], bytes[static_cast<size_t>(a[1])]});
}

std::string speedLevelTable(Context& c, const Args& a) {
    ControllerModel& model = c.model;
    if (!model.handControl()) return {};  // no module to answer
    const int64_t code = a[0];
    if (code == kTableReadSize && a.size() == 1) return line("SLTS", {model.speedLevelTableSize()});
    if (code == kTableWriteSize && a.size() == 2) {
        if (a[1] < 0 || a[1] > 255) return acknowledge(kSpeedLevelTarget, refusal::kNotProcessable);
        return acknowledge(kSpeedLevelTarget,
                           model.setSpeedLevelTableSize(static_cast<uint8_t>(a[1])));
    }
    if (code >= kTableReadEntry && code < kTableWriteEntry && a.size() == 1) {
        const auto level = model.speedLevel(static_cast<uint8_t>(code - kTableReadEntry));
        return line("SLTE", {code - kTableReadEntry, level[0], level[1], level[2]});
    }
    if (code >= kTableWriteEntry && code < kTableStore && a.size() == 4) {
        return acknowledge(kSpeedLevelTarget,
                           model.setSpeedLevel(static_cast<uint8_t>(code - kTableWriteEntry),
                                               {clamp16(a[1]), clamp16(a[2]), clamp16(a[3])}));
    }
    if (code == kTableStore && a.size() == 1) {
        model.storeSpeedLevelTable();
        return acknowledge(kSpeedLevelTarget, 0);
    }
    return acknowledge(kSpeedLevelTarget, refusal::kUnknownCommand);
}

std::string indexMap(Context& c, const Args& a) {
    if (a[1] < 0 || a[1] > 255 || a[2] < 0 || a[2] > 255)
        return systemError(refusal::kNotProcessable);
    const auto index = static_cast<uint8_t>(a[1]);
    switch (a[0]) {
    case kMapRead:
        return line("IM", {kMapReadAnswer, a[1], c.model.indexMapEntry(index)});
    case kMapWrite:
        c.model.setIndexMapEntry(index, static_cast<uint8_t>(a[2]));
        return systemError(0);
    case kMapFinalize:
        c.model.finalizeIndexMap();
        return systemError(0);
    default:
        return systemError(refusal::kUnknownCommand);
    }
}

std::string reset(Context& c, const Args&) {
    c.model.reset();
    return systemError(0);
}

std::string sensorMode(Context& c, const Args&) { return line("SE", {c.model.sensorEnabled()}); }

std::string setSensorMode(Context& c, const Args& a) {
    if (a[0] < 0 || a[0] > 255) return systemError(refusal::kNotProcessable);
    c.model.setSensorEnabled(static_cast<uint8_t>(a[0]));
    return systemError(0);
}

// The hand control module's EEPROM type and configuration slots, 8 bytes a
// command; without a module nobody answers.
constexpr size_t kSlotPiece = 8;

std::string handControlType(Context& c, const Args&) {
    if (!c.model.handControl()) return {};
    return line("HEL", {c.model.setup().hcmEepromType});
}

bool slotAddress(const Args& a) {
    return a[0] >= 0 && a[0] <= 0xFF && a[1] >= 0 && a[1] <= 0xFFFF;
}

std::string readConfigSlot(Context& c, const Args& a) {
    if (!c.model.handControl()) return {};
    if (!slotAddress(a)) return systemError(refusal::kNotProcessable);
    uint8_t bytes[kSlotPiece];
    if (uint8_t refused = c.model.readSlot(static_cast<uint8_t>(a[0]),
                                           static_cast<uint16_t>(a[1]), bytes, kSlotPiece))
        return systemError(refused);
    std::string text = line("HCS", {a[0], a[1]});
    text.pop_back();
    for (uint8_t byte : bytes) text += ',' + std::to_string(byte);
    return text + '\n';
}

std::string writeConfigSlot(Context& c, const Args& a) {
    if (!c.model.handControl()) return {};
    if (!slotAddress(a)) return systemError(refusal::kNotProcessable);
    uint8_t bytes[kSlotPiece];
    for (size_t i = 0; i < kSlotPiece; ++i) {
        if (a[2 + i] < 0 || a[2 + i] > 0xFF) return systemError(refusal::kNotProcessable);
        bytes[i] = static_cast<uint8_t>(a[2 + i]);
    }
    return systemError(c.model.writeSlot(static_cast<uint8_t>(a[0]), static_cast<uint16_t>(a[1]),
                                         bytes, kSlotPiece));
}

struct CommandEntry {
    std::string_view name;
    size_t minArgs;
    size_t maxArgs;
    Answer answer;
};

constexpr CommandEntry kCommands[] = {
    {"GIV", 0, 0, interfaceVersion},
    {"SCM", 1, 1, communicationMode},
    {"GNC", 0, 0, channelCount},
    {"GCB", 0, 0, baudRateQuery},
    {"CB", 1, 2, baudRateChange},
    {"GCT", 1, 1, onChannel<channelType>},
    {"GSN", 1, 1, onChannel<serialNumber>},
    {"GST", 1, 1, onChannel<sensorType>},
    {"SST", 2, 2, onChannel<setSensorType>},
    {"GS", 1, 1, onChannel<channelState>},
    {"GP", 1, 1, onChannel<position>},
    {"GA", 1, 1, onChannel<angle>},
    {"RTP", 2, 2, onChannel<readTuning>},
    {"WTP", 3, 3, onChannel<writeTuning>},
    {"GCP", 2, 2, onChannel<channelProperty>},
    {"SCP", 3, 3, onChannel<setChannelProperty>},
    {"SCLF", 2, 2, onChannel<closedLoopMaxFrequency>},
    {"FRM", 4, 4, onChannel<findReferenceMark>},
    {"CS", 1, 1, onChannel<calibrate>},
    {"MAR", 4, 4, onChannel<angleRelative>},
    {"MPR", 3, 3, onChannel<positionRelative>},
    {"MST", 4, 4, onChannel<stepMove>},
    {"S", 1, 1, onChannel<stop>},
    {"GFV", 1, 1, moduleFirmwareVersions},
    {"GFP", 2, 2, onChannel<featurePermissions>},
    {"SLTC", 1, 4, speedLevelTable},
    {"IM", 3, 3, indexMap},
    {"R", 0, 0, reset},
    {"GSE", 0, 0, sensorMode},
    {"SSE", 1, 1, setSensorMode},
    {"RHEL", 0, 0, handControlType},
    {"RHCS", 2, 2, readConfigSlot},
    {"WHCS", 2 + kSlotPiece, 2 + kSlotPiece, writeConfigSlot},
};

}  // namespace

TextFault TextFault::silent(std::string command, int times) {
    TextFault f;
    f.command = std::move(command);
    f.kind = Kind::Silent;
    f.times = times;
    return f;
}

TextFault TextFault::late(std::string command, std::chrono::milliseconds delay, int times) {
    TextFault f = silent(std::move(command), times);
    f.kind = Kind::Late;
    f.delay = delay;
    return f;
}

TextFault TextFault::error(std::string command, uint32_t code, int times) {
    TextFault f = silent(std::move(command), times);
    f.kind = Kind::Error;
    f.code = code;
    return f;
}

TextFault TextFault::replace(std::string command, std::string bytes, int times) {
    TextFault f = silent(std::move(command), times);
    f.kind = Kind::Replace;
    f.bytes = std::move(bytes);
    return f;
}

TextFault TextFault::pieces(std::string command, size_t pieceSize, std::chrono::milliseconds pause,
                            int times) {
    TextFault f = silent(std::move(command), times);
    f.kind = Kind::Pieces;
    f.pieceSize = pieceSize;
    f.delay = pause;
    return f;
}

TextFault TextFault::disconnect(std::string command, int times) {
    TextFault f = silent(std::move(command), times);
    f.kind = Kind::Disconnect;
    return f;
}

TextFault TextFault::busy(std::string command, std::chrono::milliseconds delay, int times) {
    TextFault f = late(std::move(command), delay, times);
    f.kind = Kind::Busy;
    return f;
}

TextEndpoint::TextEndpoint(ControllerModel& model) : model_(model) {
    const bool started = worker_.start([this] { run(); },
                                       [this] {
                                           std::lock_guard<std::mutex> lock(mutex_);
                                           changed_.notify_all();
                                       });
    if (!started) throw std::system_error(EAGAIN, std::generic_category(), "endpoint thread");
}

TextEndpoint::~TextEndpoint() { worker_.stop(); }

uint32_t TextEndpoint::baudRate() const { return model_.rs232Rate(); }

void TextEndpoint::addFault(const TextFault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(fault);
}

void TextEndpoint::clearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

std::string TextEndpoint::reply(std::string_view text) {
    const std::optional<Command> command = parseCommand(text);
    if (!command) return systemError(refusal::kUnknownCommand);
    for (const CommandEntry& entry : kCommands) {
        if (entry.name != command->name) continue;
        if (command->args.size() < entry.minArgs || command->args.size() > entry.maxArgs) break;
        Context context{model_};
        return entry.answer(context, command->args);
    }
    return systemError(refusal::kUnknownCommand);
}

std::vector<TextCommandLine> TextEndpoint::commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

std::vector<std::string> TextEndpoint::commandTexts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    for (const TextCommandLine& command : commands_) texts.push_back(command.text);
    return texts;
}

std::string TextEndpoint::received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

void TextEndpoint::clearRecords() {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.clear();
    received_.clear();
}

bool TextEndpoint::waitForCommands(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return commands_.size() >= count; });
}

size_t TextEndpoint::delayedWrites() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return delayedWrites_;
}

bool TextEndpoint::waitForDelayedWrites(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return delayedWrites_ >= count; });
}

size_t TextEndpoint::connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return partial_.size();
}

void TextEndpoint::onConnect(Link& link) {
    std::lock_guard<std::mutex> lock(mutex_);
    partial_[&link].clear();
}

void TextEndpoint::onDisconnect(Link& link) {
    std::lock_guard<std::mutex> lock(mutex_);
    partial_.erase(&link);
    busyUntil_.erase(&link);
    delayed_.dropLink(&link);
}

void TextEndpoint::onReceive(Link& link, const uint8_t* data, size_t length) {
    std::unique_lock<std::mutex> lock(mutex_);
    received_.append(reinterpret_cast<const char*>(data), length);
    std::string& pending = partial_[&link];
    pending.append(reinterpret_cast<const char*>(data), length);
    for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        std::string text = pending.substr(0, end);
        pending.erase(0, end + 1);
        // Bytes before the colon (a wake-up byte, noise) are no command.
        const size_t colon = text.find(':');
        if (colon == std::string::npos) continue;
        handleLine(link, text.substr(colon + 1), lock);
        if (!lock.owns_lock()) return;  // the link is gone
    }
}

void TextEndpoint::handleLine(Link& link, std::string text, std::unique_lock<std::mutex>& lock) {
    const std::string name = nameOf(text);
    const std::string head = text.substr(0, text.find(','));
    const TextFault* fault = nullptr;
    for (TextFault& candidate : faults_) {
        const bool applies = candidate.command.empty() || candidate.command == name ||
                             candidate.command == head || candidate.command == text;
        if (candidate.times == 0 || !applies) continue;
        if (candidate.times > 0) --candidate.times;
        fault = &candidate;
        break;
    }
    std::string now;
    std::vector<std::pair<SimClock::time_point, std::string>> later;
    const auto start = SimClock::now();
    if (fault == nullptr) {
        now = reply(text);
    } else {
        switch (fault->kind) {
        case TextFault::Kind::Silent:
        case TextFault::Kind::Disconnect:
            break;
        case TextFault::Kind::Late:
            later.emplace_back(start + fault->delay, reply(text));
            break;
        case TextFault::Kind::Busy:
            later.emplace_back(start + fault->delay, reply(text));
            busyUntil_[&link] = std::max(busyUntil_[&link], start + fault->delay);
            break;
        case TextFault::Kind::Error:
            now = systemError(fault->code);
            break;
        case TextFault::Kind::Replace:
            now = fault->bytes;
            break;
        case TextFault::Kind::Pieces: {
            const std::string whole = reply(text);
            const size_t size = std::max<size_t>(fault->pieceSize, 1);
            now = whole.substr(0, size);
            for (size_t at = size, k = 1; at < whole.size(); at += size, ++k)
                later.emplace_back(start + fault->delay * static_cast<int>(k), whole.substr(at, size));
            break;
        }
        }
    }
    // Recorded once the model has taken the command, so a test that waits
    // for it sees its effect.
    commands_.push_back({std::move(text), start});
    changed_.notify_all();
    if (fault && fault->kind == TextFault::Kind::Disconnect) {
        lock.unlock();
        link.close();
        return;
    }
    // A busy controller answers this command once it is done with the one
    // before; due at the same time, the earlier reply goes first.
    if (const auto busy = busyUntil_.find(&link);
        !now.empty() && busy != busyUntil_.end() && start < busy->second) {
        later.emplace(later.begin(), busy->second, std::move(now));
        now.clear();
    }
    if (!now.empty()) link.send(reinterpret_cast<const uint8_t*>(now.data()), now.size());
    if (!later.empty()) {
        for (auto& [due, bytes] : later) delayed_.add(due, &link, std::move(bytes));
        changed_.notify_all();
    }
}

void TextEndpoint::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!worker_.stopRequested()) {
        for (const auto& due : delayed_.takeDue(SimClock::now())) {
            if (!due.bytes.empty())
                due.link->send(reinterpret_cast<const uint8_t*>(due.bytes.data()),
                               due.bytes.size());
            ++delayedWrites_;
            changed_.notify_all();
        }
        if (const auto next = delayed_.nextDue())
            changed_.wait_until(lock, *next);
        else
            changed_.wait(lock);
    }
}

}  // namespace vxsim
