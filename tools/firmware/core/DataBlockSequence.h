#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vxdata {

// One typed block; the sequence does not know what its payload means.
struct DataBlock {
    uint32_t blockType = 0;
    uint32_t formatVersion = 0;
    std::vector<uint8_t> payload;

    uint32_t payloadSize() const { return static_cast<uint32_t>(payload.size()); }
};

// Blocks kept in a data file: the magic "Veltrax DataFile", then per block
// the header size 16, payload size, block type and format version (32-bit
// little-endian each) and the payload, to the end of the file.
class DataBlockSequence {
public:
    DataBlockSequence();
    virtual ~DataBlockSequence();

    // Appends the file's blocks; false with the reason in lastError():
    // "could not open file", "invalid file content", "wrong block header
    // size", "incomplete data block". Blocks before a failure stay.
    bool read(const std::string& fileName);
    // Writes the magic and every block to a new file beside the target and
    // puts it in the target's place once it is whole, so that a failure
    // leaves an earlier file as it was. False with "could not open file"
    // or "could not write file".
    bool write(const std::string& fileName);
    std::string lastError() const { return lastError_; }

    void clear() { blocks_.clear(); }
    size_t count() const { return blocks_.size(); }
    // Shared with the holder; the index must be below count().
    std::shared_ptr<DataBlock> block(size_t index) const { return blocks_.at(index); }
    // A new block holding a copy of `payloadSize` bytes (zeros without `payload`).
    void addBlock(uint32_t blockType, uint32_t formatVersion, uint32_t payloadSize,
                  const void* payload);

private:
    std::string lastError_;
    std::vector<std::shared_ptr<DataBlock>> blocks_;
};

}  // namespace vxdata
