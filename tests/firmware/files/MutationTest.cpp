#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "FilesTestSupport.h"
#include "ControllerRecord.h"
#include "DataBlockSequence.h"
#include "FirmwareFile.h"
#include "UpdateConfiguration.h"
#include "UpdateException.h"
#include "XmlReader.h"
#include "sim/BootImage.h"

// Damaged inputs, many of them, for the three file readers: each ends in one
// of its own errors or in success, and what it accepts holds together. The
// sanitizer builds turn any read out of bounds into a failure.
namespace {

constexpr int kInputsPerReader = 4000;

// Whether the damage was neither too little nor too much: some inputs of
// `kInputsPerReader` were accepted, and some refused.
::testing::AssertionResult bothEnds(int accepted) {
    if (accepted > kInputsPerReader / 20 && accepted < kInputsPerReader - kInputsPerReader / 20)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << accepted << " of " << kInputsPerReader << " accepted";
}

class Mutator {
public:
    Mutator(uint32_t seed, std::vector<std::string> pieces) : rng_(seed), pieces_(std::move(pieces)) {}

    size_t below(size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

    // One to four edits: a byte changed, a piece or byte put in, a run cut
    // out or doubled, the end cut off.
    std::string operator()(std::string text) {
        for (size_t edits = 1 + below(4); edits > 0; --edits) {
            const size_t at = below(text.size() + 1);
            switch (below(6)) {
                case 0:
                    if (at < text.size()) text[at] = static_cast<char>(below(256));
                    break;
                case 1:
                    text.insert(at, pieces_[below(pieces_.size())]);
                    break;
                case 2:
                    text.insert(at, 1, static_cast<char>(below(256)));
                    break;
                case 3:
                    text.erase(at, 1 + below(16));
                    break;
                case 4:
                    text.insert(at, text.substr(at, 1 + below(32)));
                    break;
                default:
                    text.resize(at);
                    break;
            }
        }
        return text;
    }

private:
    std::mt19937 rng_;
    std::vector<std::string> pieces_;
};

// Each input goes to a fresh file, removed afterwards: truncating a file
// in place makes some file systems flush it to disk first.
class InputFile {
public:
    InputFile(const fwtest::TempDir& dir, int index, const std::string& suffix, const std::string& bytes)
        : path_(dir / ("input-" + std::to_string(index) + suffix)) {
        fwtest::writeFile(path_, bytes);
    }
    ~InputFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string shown(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            out += {'\\', 'x', kDigits[c >> 4], kDigits[c & 0x0F]};
        }
    }
    return out;
}

TEST(MutationTest, FirmwareFiles) {
    vxsim::BootImageRecipe recipe;
    recipe.dataFrames = 3;
    recipe.frameContent = 20;
    const std::string seeds[] = {vxsim::bootImageFileText(recipe, true),
                                 vxsim::bootImageFileText(recipe, false)};
    Mutator mutate(0x5EED0108, {"0", "9", "A", "F", "a", "f", "G", "\r\n", "\n", "00", "FFFF",
                                "0000", "0001", "00FF"});
    fwtest::TempDir dir;
    int headers = 0;
    int bodies = 0;
    for (int i = 0; i < kInputsPerReader; ++i) {
        const bool fw6 = mutate.below(2) == 0;
        // Now and then the other format's text, under the wrong name.
        std::string text = seeds[(fw6 ? 0 : 1) ^ (mutate.below(8) == 0 ? 1 : 0)];
        const size_t way = mutate.below(4);
        if (way == 0) {
            text = mutate(text);
        } else if (way == 1) {
            text = mutate(text.substr(0, 16)) + text.substr(16);  // the header's end
        } else {
            // Digits for digits: mostly still a file, unless a length or
            // the header was hit.
            for (size_t n = 1 + mutate.below(3); n > 0; --n)
                text[mutate.below(text.size())] = "0123456789ABCDEF"[mutate.below(16)];
        }
        const InputFile input(dir, i, fw6 ? ".fw6" : ".hex", text);
        const std::string& path = input.path();
        SCOPED_TRACE(std::to_string(i) + " " + path + " " + shown(text));

        vxfw::FirmwareInfo info;
        info.setFileName(path);
        try {
            info.loadHeader();
            ++headers;
            EXPECT_GE(text.size(), vxfw::fwfile::kHeaderChars);
            EXPECT_EQ(info.hardwareVariant() == 255 || fw6, true);
        } catch (const vxfw::UpdateException& error) {
            ASSERT_EQ(error.code(), vxfw::kInvalidFileContent);
        }

        vxfw::FirmwareFrames decoded;
        const std::string error = vxfw::decodeFirmwareFile(path, decoded);
        if (!error.empty()) {
            ASSERT_EQ(error, "invalid file content: " + path);
            ASSERT_TRUE(decoded.frames.empty());
            continue;
        }
        ++bodies;
        const size_t start = fw6 ? vxfw::fwfile::kFw6BodyStart : vxfw::fwfile::kPlainBodyStart;
        ASSERT_EQ(decoded.decodedBytes * 2, text.size() - start);
        size_t total = 0;
        for (const auto& frame : decoded.frames) {
            ASSERT_GE(frame.size(), 2u);
            ASSERT_EQ(frame.size(), 2u + (frame[0] << 8 | frame[1]));
            total += frame.size();
        }
        ASSERT_EQ(total, decoded.decodedBytes);
    }
    EXPECT_TRUE(bothEnds(headers));
    EXPECT_TRUE(bothEnds(bodies));
}

TEST(MutationTest, XmlDocuments) {
    const std::string seed =
        "<!-- update -->\n<!DOCTYPE VXFirmwareUpdateConfiguration>\n"
        "<VXFirmwareUpdateConfiguration version=\"1\">\n"
        "  <file name=\"a.fw6\"/>\n  <!-- note -->\n  <file name=\"b.hex\">text</file>\n"
        "  <group><file name=\"c.fw6\"/></group>\n</VXFirmwareUpdateConfiguration>\n";
    Mutator mutate(0x5EED0109, {"<", ">", "/", "=", "\"", "!", "<!--", "-->", "!DOCTYPE", " ",
                                "\n", "file", "name", "\xFF", "<a>", "</a>", "<b/>"});
    const std::set<std::string> loadErrors = {"parse error", "open tags remaining",
                                              "doc type consistency error", "wrong document type",
                                              "invalid file size"};
    const std::set<std::string> lookupErrors = {"", "path not found", "attribute not found"};
    fwtest::TempDir dir;
    vxfw::XmlReader reader;
    int loaded = 0;
    for (int i = 0; i < kInputsPerReader; ++i) {
        const std::string text = mutate(seed);
        const InputFile input(dir, i, ".xml", text);
        const std::string& path = input.path();
        SCOPED_TRACE(std::to_string(i) + " " + shown(text));

        const std::string expected = mutate.below(4) == 0 ? "" : vxfw::UpdateConfiguration::kDocumentType;
        const bool ok = reader.load(path, expected);
        const std::string error = reader.lastError();
        if (!ok) {
            ASSERT_EQ(loadErrors.count(error), 1u) << error;
            ASSERT_EQ(reader.getValue("file:name"), "");
            ASSERT_EQ(reader.lastError(), "no configuration loaded");
        } else {
            ++loaded;
            for (const std::string& lookup :
                 {std::string("file[1]:name"), std::string("group/file"), mutate("file[2]:name")}) {
                reader.getValue(lookup);
                ASSERT_EQ(lookupErrors.count(reader.lastError()), 1u) << lookup;
            }
        }

        vxfw::UpdateConfiguration config;
        try {
            config.load(path);
            ASSERT_TRUE(ok) << "accepted what the reader refused";
        } catch (const vxfw::UpdateException& thrown) {
            ASSERT_EQ(thrown.code(), vxfw::kConfigurationError);
            ASSERT_TRUE(!ok || expected.empty()) << "refused what the reader accepted";
        }
    }
    EXPECT_TRUE(bothEnds(loaded));

    // Depth costs no stack.
    const int depth = 200000;
    std::string deep = "<!DOCTYPE A><A>";
    for (int i = 0; i < depth; ++i) deep += "<b>";
    deep += "x";
    for (int i = 0; i < depth; ++i) deep += "</b>";
    const InputFile input(dir, -1, ".xml", deep + "</A>");
    ASSERT_TRUE(reader.load(input.path(), "A")) << reader.lastError();
    EXPECT_EQ(reader.getValue("b/b/b:x"), "");
}

TEST(MutationTest, DataFiles) {
    fwtest::TempDir dir;
    const std::string seedPath = dir / "seed";
    vxdata::DataBlockSequence written;
    const uint8_t bytes[300] = {1, 2, 3, 0x10, 0, 0, 0};
    for (uint32_t size : {24u, 0u, 7u, 300u}) written.addBlock(0x10C2, 1, size, bytes);
    ASSERT_TRUE(written.write(seedPath));
    const std::string seed = fwtest::readFile(seedPath);

    Mutator mutate(0x5EED0112, {std::string("\x10\0\0\0", 4), std::string("\0\0\0\0", 4),
                                "\xFF\xFF\xFF\xFF", "\x14", "Veltrax DataFile"});
    const std::set<std::string> errors = {"invalid file content", "wrong block header size",
                                          "incomplete data block"};
    const std::string again = dir / "again";
    int accepted = 0;
    for (int i = 0; i < kInputsPerReader; ++i) {
        const std::string text = mutate(seed);
        const InputFile input(dir, i, "", text);
        const std::string& path = input.path();
        SCOPED_TRACE(std::to_string(i) + " " + shown(text));

        vxdata::DataBlockSequence sequence;
        if (!sequence.read(path)) {
            ASSERT_EQ(errors.count(sequence.lastError()), 1u) << sequence.lastError();
            continue;
        }
        ++accepted;
        // What was accepted is written back as it stood, less a partial
        // header of up to three bytes at the end.
        ASSERT_TRUE(sequence.write(again));
        const std::string back = fwtest::readFile(again);
        ASSERT_LE(back.size(), text.size());
        ASSERT_LE(text.size() - back.size(), 3u);
        ASSERT_EQ(back, text.substr(0, back.size()));
    }
    EXPECT_TRUE(bothEnds(accepted));
}

}  // namespace
