#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "FilesTestSupport.h"
#include "DataBlockSequence.h"

namespace {

using vxdata::DataBlockSequence;

const std::string kMagic = "Veltrax DataFile";

std::string word(uint32_t value) {
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}

std::string block(uint32_t payloadSize, const std::string& payload, uint32_t headerSize = 16) {
    return word(headerSize) + word(payloadSize) + word(0x10C2) + word(1) + payload;
}

std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST(DataBlockSequenceTest, WrittenAndReadBack) {
    fwtest::TempDir dir;
    const std::string path = dir / "QMXConfig";
    DataBlockSequence written;
    const std::vector<std::pair<uint32_t, size_t>> shapes = {
        {0x10C2, 0}, {0x10C2, 24}, {0x10C5, 300}, {0xFFFFFFFF, 2052}};
    for (size_t i = 0; i < shapes.size(); ++i) {
        const std::vector<uint8_t> payload = pattern(shapes[i].second, static_cast<uint8_t>(i));
        written.addBlock(shapes[i].first, static_cast<uint32_t>(i + 1),
                         static_cast<uint32_t>(payload.size()), payload.data());
    }
    ASSERT_TRUE(written.write(path));
    EXPECT_EQ(written.lastError(), "");

    DataBlockSequence read;
    ASSERT_TRUE(read.read(path)) << read.lastError();
    ASSERT_EQ(read.count(), shapes.size());
    for (size_t i = 0; i < shapes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read.block(i)->blockType, shapes[i].first);
        EXPECT_EQ(read.block(i)->formatVersion, i + 1);
        EXPECT_EQ(read.block(i)->payloadSize(), shapes[i].second);
        EXPECT_EQ(read.block(i)->payload, written.block(i)->payload);
    }
    // Reading appends.
    ASSERT_TRUE(read.read(path));
    EXPECT_EQ(read.count(), 2 * shapes.size());
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"QMXConfig"});

    // The layout, byte for byte; a held block outlives the sequence's hold.
    DataBlockSequence small;
    const uint8_t three[] = {1, 2, 3};
    small.addBlock(0x10C2, 1, 3, three);
    small.addBlock(0x10C5, 2, 2, nullptr);
    const auto held = small.block(1);
    ASSERT_TRUE(small.write(path));
    EXPECT_EQ(fwtest::readFile(path), kMagic + block(3, "\x01\x02\x03") +
                                          word(16) + word(2) + word(0x10C5) + word(2) +
                                          std::string(2, '\0'));
    small.clear();
    EXPECT_EQ(small.count(), 0u);
    EXPECT_EQ(held->blockType, 0x10C5u);
}

TEST(DataBlockSequenceTest, DamagedFiles) {
    const std::string one = block(3, "abc");
    struct Case {
        std::string content;
        const char* error;
        size_t blocks;
    };
    const Case cases[] = {
        {kMagic, "", 0},
        {kMagic + one + "\x10", "", 1},
        {kMagic + one + word(16).substr(0, 2), "", 1},
        {kMagic + one + word(16).substr(0, 3), "", 1},
        {kMagic + block(0, ""), "", 1},
        {kMagic + one + block(10, "12345"), "incomplete data block", 1},
        {kMagic + block(0xFFFFFFFF, "abc"), "incomplete data block", 0},
        {kMagic + word(16) + word(0), "incomplete data block", 0},
        {kMagic + word(16) + word(0) + word(1) + std::string(2, '\x01'), "incomplete data block", 0},
        {kMagic + one + block(3, "abc", 20), "wrong block header size", 1},
        {kMagic + block(3, "abc", 0), "wrong block header size", 0},
        {kMagic.substr(0, 15), "invalid file content", 0},
        {std::string("Veltrax\0DataFile", 16) + one, "invalid file content", 0},
        {"veltrax DataFile" + one, "invalid file content", 0},
        {"", "invalid file content", 0},
    };
    fwtest::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        const std::string path = dir / "data";
        fwtest::writeFile(path, c.content);
        DataBlockSequence sequence;
        EXPECT_EQ(sequence.read(path), !*c.error);
        EXPECT_EQ(sequence.lastError(), c.error);
        EXPECT_EQ(sequence.count(), c.blocks);
        if (c.blocks) {
            EXPECT_EQ(sequence.block(0)->formatVersion, 1u);
        }
    }
    DataBlockSequence sequence;
    EXPECT_FALSE(sequence.read(dir / "missing"));
    EXPECT_EQ(sequence.lastError(), "could not open file");
    EXPECT_FALSE(sequence.read(dir.path()));
    EXPECT_EQ(sequence.lastError(), "could not open file");
}

TEST(DataBlockSequenceTest, AFailedWriteKeepsTheEarlierFile) {
    fwtest::TempDir dir;
    const std::string path = dir / "QMXConfig";
    DataBlockSequence earlier;
    earlier.addBlock(0x10C2, 1, 24, pattern(24, 1).data());
    ASSERT_TRUE(earlier.write(path));
    const std::string before = fwtest::readFile(path);

    DataBlockSequence larger;
    for (uint8_t i = 0; i < 4; ++i) larger.addBlock(0x10C5, 1, 2052, pattern(2052, i).data());
    // A file-size limit cuts the write short part-way, in a child so that
    // the limit stays there.
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const rlimit limit{4096, 4096};
        std::signal(SIGXFSZ, SIG_IGN);
        const bool refused = ::setrlimit(RLIMIT_FSIZE, &limit) == 0 && !larger.write(path) &&
                             larger.lastError() == "could not write file";
        ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(fwtest::readFile(path), before);
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"QMXConfig"});

    // Without the limit the same sequence replaces the file.
    ASSERT_TRUE(larger.write(path));
    DataBlockSequence back;
    ASSERT_TRUE(back.read(path));
    EXPECT_EQ(back.count(), 4u);

    const std::string unwritable[] = {dir / "no/such/folder", dir.path()};
    for (const std::string& target : unwritable) {
        EXPECT_FALSE(larger.write(target)) << target;
        EXPECT_EQ(larger.lastError(), "could not open file");
    }
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"QMXConfig"});
}

}  // namespace
