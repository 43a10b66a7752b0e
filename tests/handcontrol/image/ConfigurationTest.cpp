#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "HandControlErrors.h"
#include "QMXHConfiguration.h"

namespace {

using Values = std::vector<int>;

Values operator+(Values a, const Values& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Values state(const QMXHConfiguration& c) {
    return {c.type(), c.size(), c.slotCount(), c.slotSize(), c.highlightedPortCount()};
}
int pattern(int i) { return static_cast<uint8_t>(i * 7 + 3); }
// A configuration of `type` whose byte i holds pattern(i).
void typed(QMXHConfiguration& c, int type) {
    int size = 0;
    c.setType(type, size);
    for (int i = 0; i < size; ++i) c.setByteAt(i, static_cast<uint8_t>(pattern(i)));
}
bool imageIsPattern(const QMXHConfiguration& c) {
    for (int i = 0; i < c.size(); ++i)
        if (c.data()[i] != pattern(i)) return false;
    return c.size() > 0;
}
bool erased(const QMXHConfiguration& c) {
    return Values(c.data(), c.data() + c.size()) == Values(2048, 0xFF);
}
// How many bytes a slot copy sets (where buffers of two fills agree after
// it), then its first byte.
Values copiedOut(const QMXHConfiguration& c, int slot, unsigned capacity) {
    std::vector<uint8_t> ones(600, 0x11), twos(600, 0x22);
    c.copySlotOut(slot, ones.data(), capacity);
    c.copySlotOut(slot, twos.data(), capacity);
    int set = 0;
    for (size_t i = 0; i < ones.size(); ++i) set += ones[i] == twos[i];
    return {set, ones[0]};
}

const struct {
    const char* name;
    std::function<Values(QMXHConfiguration&)> run;
    Values expected;
} kCases[] = {
    {"new",
     [](QMXHConfiguration& c) {
         uint8_t chunk[8] = {};
         return state(c) + Values{c.byteAt(0), c.readChunk(0, chunk), c.writeChunk(0, chunk)};
     },
     {0, 0, 0, 0, 3, 0xFF, 1010, 1010}},
    {"type 0",
     [](QMXHConfiguration& c) {
         int size = -5;
         const Values result{c.setType(0, size), size};
         return result + state(c);
     },
     {1009, -5, 0, 0, 0, 0, 3}},
    {"type 0x1234",
     [](QMXHConfiguration& c) {
         typed(c, 0x3D01);
         int size = -5;
         const Values result{c.setType(0x1234, size), size, imageIsPattern(c)};
         return result + state(c);
     },
     {1009, -5, 1, 0x3D01, 2048, 9, 128, 3}},
    {"0xFD01",
     [](QMXHConfiguration& c) {
         int size = 0;
         const Values result{c.setType(0xFD01, size), size, erased(c)};
         return result + state(c);
     },
     {0, 2048, 1, 0xFD01, 2048, 3, 500, 3}},
    {"bytes",
     [](QMXHConfiguration& c) {
         typed(c, 0x3D01);
         c.setByteAt(-1, 0);
         c.setByteAt(2048, 0);
         return Values{c.byteAt(-1), c.byteAt(2047), c.byteAt(2048), imageIsPattern(c)};
     },
     {0xFF, pattern(2047), 0xFF, 1}},
    {"chunks",
     [](QMXHConfiguration& c) {
         typed(c, 0x3D01);
         Values codes;
         uint8_t out[8] = {};
         const uint8_t in[8] = {9, 9, 9, 9, 9, 9, 9, 9};
         for (int offset : {-1, -8, 2041, 2047, 2048})
             codes = codes + Values{c.readChunk(offset, out), c.writeChunk(offset, in)};
         const Values untouched{imageIsPattern(c), out[0]};
         const Values last{c.readChunk(2040, out), out[0], out[7], c.writeChunk(3, in)};
         return codes + untouched + last +
                Values{c.byteAt(2), c.byteAt(3), c.byteAt(10), c.byteAt(11)};
     },
     Values(10, 1010) +
         Values{1, 0, 0, pattern(2040), pattern(2047), 0, pattern(2), 9, 9, pattern(11)}},
    {"slot 2 of 0xFD01 out, capacity 499 then 500",
     [](QMXHConfiguration& c) {
         typed(c, 0xFD01);
         return copiedOut(c, 2, 499) + copiedOut(c, 2, 500);
     },
     {0, 0x11, 500, pattern(1000)}},
    {"slots 9 to 16 of 0x3D01 out",
     [](QMXHConfiguration& c) {
         typed(c, 0x3D01);
         Values v;
         for (int slot = 9; slot <= 16; ++slot) v = v + copiedOut(c, slot, 128);
         return v;
     },
     {128, pattern(1152), 128, pattern(1280), 128, pattern(1408), 128, pattern(1536), 128,
      pattern(1664), 128, pattern(1792), 128, pattern(1920), 0, 0x11}},
    {"clear, then fresh",
     [](QMXHConfiguration& c) {
         typed(c, 0x3D01);
         c.clear();
         const Values cleared = state(c) + Values{c.byteAt(0)};
         int size = 0;
         const Values result{c.setType(0x3D01, size), erased(c)};
         return cleared + result + state(c);
     },
     {0, 0, 9, 128, 3, 0xFF, 0, 1, 0x3D01, 2048, 9, 128, 3}},
};

TEST(Configuration, Table) {
    for (const auto& test : kCases) {
        SCOPED_TRACE(test.name);
        QMXHConfiguration configuration;
        EXPECT_EQ(test.run(configuration), test.expected);
    }
}

TEST(Configuration, ErrorTexts) {
    // Every row by its number, then numbers without a row.
    const std::pair<int, const char*> rows[] = {
        {0, "no error"},
        {1001, "fdti function call error"},
        {1, "already open"},
        {2, "not open"},
        {1004, "no devices found"},
        {1005, "read error"},
        {1006, "write error"},
        {1007, "unexpected answer"},
        {15, "timeout"},
        {1009, "unknown configuration"},
        {1010, "invalid address"},
        {1011, "configuration mismatch"},
        {1012, "could not open file for write"},
        {1013, "could not open file for read"},
        {1014, "invalid file content"},
        {1015, "unknown file format"},
        {1016, "verification failed"},
        {1017, "operation was aborted"},
        {1018, "connecting to device failed"},
        {8, "error 8"},
        {1002, "error 1002"},
        {1008, "error 1008"},
    };
    for (const auto& [code, text] : rows) EXPECT_EQ(errorText(code).toStdString(), text);
}

}  // namespace
