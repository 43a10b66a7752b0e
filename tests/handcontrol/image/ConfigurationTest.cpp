#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "HandControlErrors.h"
#include "QMXHConfiguration.h"

namespace {

using Values = std::vector<int>;

Values state(const QMXHConfiguration& c) {
    return {c.type(), c.size(), c.slotCount(), c.slotSize(), c.highlightedPortCount()};
}

Values operator+(Values a, const Values& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A configuration of `type` whose byte i holds i × 7 + 3.
void typed(QMXHConfiguration& c, int type) {
    int size = 0;
    ASSERT_EQ(c.setType(type, size), kHcNoError);
    for (int i = 0; i < size; ++i) c.setByteAt(i, static_cast<uint8_t>(i * 7 + 3));
}

int pattern(int i) { return static_cast<uint8_t>(i * 7 + 3); }

Values bytes(const uint8_t* data, int count) { return Values(data, data + count); }

Values patternBytes(int from, int count) {
    Values v;
    for (int i = from; i < from + count; ++i) v.push_back(pattern(i));
    return v;
}

bool imageIsPattern(const QMXHConfiguration& c) {
    return bytes(c.data(), c.size()) == patternBytes(0, c.size());
}

// How many bytes a slot copy sets (the positions where two buffers of
// different fill agree afterwards), then its first and last byte.
Values copiedOut(const QMXHConfiguration& c, int slot, unsigned capacity) {
    std::vector<uint8_t> ones(600, 0x11), twos(600, 0x22);
    c.copySlotOut(slot, ones.data(), capacity);
    c.copySlotOut(slot, twos.data(), capacity);
    int set = 0;
    for (size_t i = 0; i < ones.size(); ++i) set += ones[i] == twos[i];
    return {set, ones[0], ones[static_cast<size_t>(c.slotSize()) - 1]};
}

struct Case {
    const char* name;
    std::function<Values(QMXHConfiguration&)> run;
    Values expected;
};

const Case kCases[] = {
    {"a new configuration",
     [](QMXHConfiguration& c) {
         uint8_t chunk[8] = {};
         return state(c) + Values{c.byteAt(0), c.readChunk(0, chunk), c.writeChunk(0, chunk)};
     },
     {0, 0, 0, 0, 3, 0xFF, 1010, 1010}},
    {"type 0 is unknown",
     [](QMXHConfiguration& c) {
         int size = -5;
         return Values{c.setType(0, size), size} + state(c);
     },
     {1009, -5, 0, 0, 0, 0, 3}},
    {"type 0x1234 is unknown and changes nothing",
     [](QMXHConfiguration& c) {
         typed(c, 0x3D01);
         int size = -5;
         return Values{c.setType(0x1234, size), size, imageIsPattern(c)} + state(c);
     },
     {1009, -5, 1, 0x3D01, 2048, 9, 128, 3}},
    {"0xFD01 geometry",
     [](QMXHConfiguration& c) {
         int size = 0;
         const Values result{c.setType(0xFD01, size), size};
         return result + state(c);
     },
     {0, 2048, 0xFD01, 2048, 3, 500, 3}},
    {"a new image is erased",
     [](QMXHConfiguration& c) {
         int size = 0;
         c.setType(0x3D01, size);
         return Values{bytes(c.data(), size) == Values(2048, 0xFF)};
     },
     {1}},
    {"byte bounds",
     [](QMXHConfiguration& c) {
         typed(c, 0x3D01);
         c.setByteAt(-1, 0);
         c.setByteAt(2048, 0);
         return Values{c.byteAt(-1), c.byteAt(0), c.byteAt(2047), c.byteAt(2048),
                       imageIsPattern(c)};
     },
     {0xFF, pattern(0), pattern(2047), 0xFF, 1}},
    {"chunk bounds",
     [](QMXHConfiguration& c) {
         typed(c, 0x3D01);
         Values codes;
         uint8_t out[8] = {};
         const uint8_t in[8] = {9, 9, 9, 9, 9, 9, 9, 9};
         for (int offset : {-1, -8, 2041, 2047, 2048}) {
             codes.push_back(c.readChunk(offset, out));
             codes.push_back(c.writeChunk(offset, in));
         }
         codes.push_back(imageIsPattern(c) && bytes(out, 8) == Values(8, 0));
         codes.push_back(c.readChunk(2040, out));
         codes = codes + bytes(out, 8);
         codes.push_back(c.writeChunk(2040, in));
         codes.push_back(c.byteAt(2039) == pattern(2039) && c.byteAt(2040) == 9 &&
                         c.byteAt(2047) == 9);
         codes.push_back(c.writeChunk(3, in));  // offsets need not be aligned
         return codes + Values{c.byteAt(2), c.byteAt(3), c.byteAt(10), c.byteAt(11)};
     },
     Values{1010, 1010, 1010, 1010, 1010, 1010, 1010, 1010, 1010, 1010, 1, 0} +
         patternBytes(2040, 8) + Values{0, 1, 0, pattern(2), 9, 9, pattern(11)}},
    {"slot 2 of 0xFD01 out with capacity 499, then 500",
     [](QMXHConfiguration& c) {
         typed(c, 0xFD01);
         return copiedOut(c, 2, 499) + copiedOut(c, 2, 500);
     },
     {0, 0x11, 0x11, 500, pattern(1000), pattern(1499)}},
    {"slots 9 to 15 of 0x3D01 lie in the image, 16 does not",
     [](QMXHConfiguration& c) {
         typed(c, 0x3D01);
         Values v;
         for (int slot = 9; slot <= 16; ++slot) v = v + copiedOut(c, slot, 128);
         return v;
     },
     Values{128, pattern(9 * 128), pattern(10 * 128 - 1)} +
         Values{128, pattern(10 * 128), pattern(11 * 128 - 1)} +
         Values{128, pattern(11 * 128), pattern(12 * 128 - 1)} +
         Values{128, pattern(12 * 128), pattern(13 * 128 - 1)} +
         Values{128, pattern(13 * 128), pattern(14 * 128 - 1)} +
         Values{128, pattern(14 * 128), pattern(15 * 128 - 1)} +
         Values{128, pattern(15 * 128), pattern(16 * 128 - 1)} + Values{0, 0x11, 0x11}},
    {"a slot in goes to slot × length unless it reaches past the image",
     [](QMXHConfiguration& c) {
         typed(c, 0x3D01);
         const std::vector<uint8_t> in(128, 0x42);
         const int inside = c.copySlotIn(1, in.data(), 128);
         const int past = c.copySlotIn(16, in.data(), 128);
         return Values{inside,        past,          c.byteAt(127), c.byteAt(128),
                       c.byteAt(255), c.byteAt(256), c.byteAt(2047)};
     },
     {0, 0, pattern(127), 0x42, 0x42, pattern(256), pattern(2047)}},
    {"clear, then a fresh image",
     [](QMXHConfiguration& c) {
         typed(c, 0x3D01);
         c.clear();
         const Values cleared = state(c) + Values{c.byteAt(0)};
         int size = 0;
         const int status = c.setType(0x3D01, size);
         return cleared + Values{status} + state(c) +
                Values{bytes(c.data(), size) == Values(2048, 0xFF)};
     },
     {0, 0, 9, 128, 3, 0xFF, 0, 0x3D01, 2048, 9, 128, 3, 1}},
    {"taking another configuration's image",
     [](QMXHConfiguration& c) {
         QMXHConfiguration other;
         typed(other, 0xFD01);
         c.takeFrom(other);
         return state(c) + Values{imageIsPattern(c)} + state(other);
     },
     {0xFD01, 2048, 3, 500, 3, 1, 0, 0, 3, 500, 3}},
};

TEST(Configuration, Table) {
    for (const Case& test : kCases) {
        SCOPED_TRACE(test.name);
        QMXHConfiguration configuration;
        EXPECT_EQ(test.run(configuration), test.expected);
    }
}

TEST(Configuration, ErrorTexts) {
    const std::pair<int, const char*> rows[] = {
        {1017, "operation was aborted"},       {8, "error 8"},   {0, "no error"},
        {1001, "fdti function call error"},    {15, "timeout"},  {1008, "error 1008"},
        {1018, "connecting to device failed"}, {-3, "error -3"},
    };
    for (const auto& [code, text] : rows) EXPECT_EQ(errorText(code).toStdString(), text) << code;
}

}  // namespace
