#include "sim/FrameLog.h"

#include <cinttypes>
#include <utility>

namespace vxsim {

FrameLog::FrameLog() = default;
FrameLog::~FrameLog() = default;

void FrameLog::add(LoggedFrame frame) {
    std::lock_guard lock(mutex_);
    frame.number = accepted_ + rejected_ + 1;
    frame.at = std::chrono::steady_clock::now();
    ++(frame.accepted ? accepted_ : rejected_);
    if (observer_) observer_(frame);
    if (file_) {
        const std::string text = line(frame);
        std::fprintf(file_.get(), "%s\n", text.c_str());
        std::fflush(file_.get());
    }
    if (keeping_) frames_.push_back(std::move(frame));
}

std::vector<LoggedFrame> FrameLog::frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

uint64_t FrameLog::accepted() const {
    std::lock_guard lock(mutex_);
    return accepted_;
}

uint64_t FrameLog::rejected() const {
    std::lock_guard lock(mutex_);
    return rejected_;
}

void FrameLog::clearFrames() {
    std::lock_guard lock(mutex_);
    frames_.clear();
}

void FrameLog::setKeeping(bool keep) {
    std::lock_guard lock(mutex_);
    keeping_ = keep;
    if (!keep) frames_.clear();
}

void FrameLog::setObserver(Observer observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

bool FrameLog::writeTo(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "ae"));
    if (!file) return false;
    std::lock_guard lock(mutex_);
    file_ = std::move(file);
    return true;
}

std::string FrameLog::line(const LoggedFrame& frame) const {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(frame.at - begun_).count();
    char head[96];
    std::snprintf(head, sizeof head, "%" PRIu64 " %lld.%03lld %s", frame.number,
                  static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000),
                  frame.accepted ? "accepted" : "rejected");
    std::string out = head;
    char field[48];
    auto add = [&](const char* format, auto value) {
        std::snprintf(field, sizeof field, format, value);
        out += field;
    };
    if (frame.start >= 0) add(" start=0x%02X", frame.start);
    if (frame.address >= 0) add(" address=0x%04X", frame.address);
    if (frame.command >= 0) add(" command=0x%02X", frame.command);
    if (frame.requestId >= 0) add(" id=%d", frame.requestId);
    if (frame.index >= 0) add(" index=%d", frame.index);
    if (frame.key != 0) add(" key=0x%08" PRIX32, frame.key);
    for (size_t i = 0; i < frame.values.size(); ++i)
        add(i == 0 ? " values=%" PRId64 : ",%" PRId64, frame.values[i]);
    if (!frame.text.empty()) out += " text=\"" + frame.text + "\"";
    if (!frame.accepted) out += " reason=\"" + frame.reason + "\"";
    add(" bytes=%zu", frame.bytes.size());
    return out;
}

}  // namespace vxsim
