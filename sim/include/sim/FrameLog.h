#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vxsim {

// One frame a simulated controller took from the host, or dropped. The
// codec that read it fills in what its protocol has; the rest stays as is.
struct LoggedFrame {
    uint64_t number = 0;  // from 1, in the order the frames arrived
    std::chrono::steady_clock::time_point at;
    bool accepted = true;
    std::string reason;  // why a dropped frame was dropped
    int start = -1;      // second generation: start byte
    int command = -1;    // second generation: frame type; first generation: opcode
    int requestId = -1;  // second generation
    int index = -1;      // second generation: device, module or channel index
    int address = -1;    // first generation: module address
    uint32_t key = 0;
    std::vector<int64_t> values;  // the numbers a request carried
    std::string text;             // the text a request carried
    std::vector<uint8_t> bytes;   // the frame as received
};

// What one endpoint's codec took from the host and what it dropped, frame
// by frame, for tests (in-process) and for a file (from the command line).
// Thread-safe. By default every frame is kept; a long run keeps only the
// counts and hands each frame to an observer or the file.
class FrameLog {
public:
    using Observer = std::function<void(const LoggedFrame&)>;

    FrameLog();
    ~FrameLog();
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;

    // Numbers and times `frame`, then keeps it, calls the observer and
    // writes its line. The codec calls it with its own lock held, so an
    // observer must not call back into the endpoint.
    void add(LoggedFrame frame);

    std::vector<LoggedFrame> frames() const;
    uint64_t accepted() const;
    uint64_t rejected() const;
    // Forgets the frames kept; the counts and numbering go on.
    void clearFrames();
    void setKeeping(bool keep);
    void setObserver(Observer observer);
    // Appends one line per frame to `path` from now on; false when it
    // cannot be opened.
    bool writeTo(const std::string& path);

    // One line: number, time since the log began, what was read.
    std::string line(const LoggedFrame& frame) const;

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    const std::chrono::steady_clock::time_point begun_ = std::chrono::steady_clock::now();
    mutable std::mutex mutex_;
    bool keeping_ = true;
    uint64_t accepted_ = 0;
    uint64_t rejected_ = 0;
    std::vector<LoggedFrame> frames_;
    Observer observer_;
    std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace vxsim
