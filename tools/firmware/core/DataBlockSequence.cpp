#include "DataBlockSequence.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "FileBytes.h"
#include "platform/UniqueFd.h"

namespace vxdata {

namespace {

constexpr std::string_view kMagic = "Veltrax DataFile";
constexpr uint32_t kHeaderSize = 16;
constexpr size_t kWordBytes = 4;
// Names beside the target tried before giving up: others may be taken by
// writers of the same target.
constexpr int kPartAttempts = 100;

constexpr char kCouldNotOpen[] = "could not open file";
constexpr char kCouldNotWrite[] = "could not write file";

void putWord(std::string& out, uint32_t value) {
    for (size_t i = 0; i < kWordBytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

// Reads the file's bytes front to back, never past their end.
class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
    size_t left() const { return bytes_.size() - at_; }
    bool word(uint32_t& value) {
        if (left() < kWordBytes) return false;
        value = 0;
        for (size_t i = 0; i < kWordBytes; ++i)
            value |= uint32_t{static_cast<uint8_t>(bytes_[at_ + i])} << (8 * i);
        at_ += kWordBytes;
        return true;
    }
    bool skip(size_t count) {
        if (left() < count) return false;
        at_ += count;
        return true;
    }
    // Checked against what is left before anything is set aside.
    bool take(size_t count, std::vector<uint8_t>& out) {
        if (left() < count) return false;
        const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(at_);
        out.assign(first, first + static_cast<std::ptrdiff_t>(count));
        at_ += count;
        return true;
    }

private:
    const std::string& bytes_;
    size_t at_ = 0;
};

bool writeAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// A name beside the target that no other writer, in this process or
// another, uses at the same time.
std::string partName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + ".part-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

// Whether a file already at the target may be written, as opening it for
// writing would tell; never waits on a FIFO without a reader.
bool targetWritable(const std::string& target) {
    vxplatform::UniqueFd fd(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    return fd.valid() || errno == ENOENT;
}

}  // namespace

DataBlockSequence::DataBlockSequence() = default;
DataBlockSequence::~DataBlockSequence() = default;

void DataBlockSequence::addBlock(uint32_t blockType, uint32_t formatVersion, uint32_t payloadSize,
                                 const void* payload) {
    auto block = std::make_shared<DataBlock>();
    block->blockType = blockType;
    block->formatVersion = formatVersion;
    block->payload.resize(payloadSize);
    if (payload && payloadSize > 0) std::memcpy(block->payload.data(), payload, payloadSize);
    blocks_.push_back(std::move(block));
}

bool DataBlockSequence::read(const std::string& fileName) {
    std::string bytes;
    const vxfw::detail::FileRead read = vxfw::detail::readWholeFile(fileName, bytes);
    if (read == vxfw::detail::FileRead::CouldNotOpen) {
        lastError_ = kCouldNotOpen;
        return false;
    }
    if (read == vxfw::detail::FileRead::TooLarge ||
        std::string_view(bytes).substr(0, kMagic.size()) != kMagic) {
        lastError_ = "invalid file content";
        return false;
    }
    Reader reader(bytes);
    reader.skip(kMagic.size());
    for (;;) {
        uint32_t headerSize = 0;
        // A header that the file ends in before its first word is no block.
        if (!reader.word(headerSize)) break;
        if (headerSize != kHeaderSize) {
            lastError_ = "wrong block header size";
            return false;
        }
        uint32_t payloadSize = 0;
        auto block = std::make_shared<DataBlock>();
        if (!reader.word(payloadSize) || !reader.word(block->blockType) ||
            !reader.word(block->formatVersion) || !reader.take(payloadSize, block->payload)) {
            lastError_ = "incomplete data block";
            return false;
        }
        blocks_.push_back(std::move(block));
    }
    lastError_.clear();
    return true;
}

bool DataBlockSequence::write(const std::string& fileName) {
    std::string bytes(kMagic);
    for (const auto& block : blocks_) {
        putWord(bytes, kHeaderSize);
        putWord(bytes, block->payloadSize());
        putWord(bytes, block->blockType);
        putWord(bytes, block->formatVersion);
        bytes.append(block->payload.begin(), block->payload.end());
    }

    std::string part;
    vxplatform::UniqueFd fd;
    if (targetWritable(fileName)) {
        for (int attempt = 0; attempt < kPartAttempts && !fd.valid(); ++attempt) {
            part = partName(fileName);
            const int opened = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (opened < 0 && errno != EEXIST) break;
            fd.reset(opened);
        }
    }
    if (!fd.valid()) {
        lastError_ = kCouldNotOpen;
        return false;
    }
    // The target is replaced only by a file that reached the disk whole.
    const bool whole = writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 &&
                       ::close(fd.release()) == 0 && ::rename(part.c_str(), fileName.c_str()) == 0;
    if (!whole) {
        fd.reset();
        ::unlink(part.c_str());
        lastError_ = kCouldNotWrite;
        return false;
    }
    lastError_.clear();
    return true;
}

}  // namespace vxdata
