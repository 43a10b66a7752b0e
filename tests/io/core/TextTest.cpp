#include <gtest/gtest.h>

#include <cstring>

#include "platform/CopyOut.h"
#include "platform/Text.h"

// The text pieces the library's option reading and list writing rest on.
namespace vxplatform {
namespace {

TEST(Text, TrimAndSplit) {
    EXPECT_EQ(trimText(" \t\r\nkey value\r\n\t "), "key value");
    EXPECT_EQ(trimText("\vx\f"), "\vx\f");
    EXPECT_EQ(splitText("\n\na\n\nb c\n", "\n"), (std::vector<std::string>{"a", "b c"}));
    EXPECT_TRUE(splitText(":::", ":").empty());
}

struct CopyCase {
    size_t capacity;
    bool copied;
    size_t lengthAfter;
};

TEST(Text, CopyOutNeedsRoomForTheNul) {
    const CopyCase cases[] = {{0, false, 0}, {1, false, 1}, {4, false, 4}, {5, true, 4}};
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.capacity);
        char buffer[8];
        std::memset(buffer, 'x', sizeof buffer);
        size_t length = c.capacity;
        EXPECT_EQ(copyOut("abcd", buffer, &length), c.copied);
        EXPECT_EQ(length, c.lengthAfter);
        EXPECT_EQ(buffer[0], c.copied ? 'a' : 'x');

        // The reporting form tells the needed length and leaves the empty
        // text where there is room for it.
        std::memset(buffer, 'x', sizeof buffer);
        length = c.capacity;
        EXPECT_EQ(copyOutReportingNeed("abcd", buffer, &length), c.copied);
        EXPECT_EQ(length, 4u);
        EXPECT_EQ(buffer[0], c.capacity == 0 ? 'x' : c.copied ? 'a' : '\0');
    }
    size_t length = 100;
    EXPECT_FALSE(copyOut("abc", nullptr, &length));
    EXPECT_EQ(length, 100u);
}

}  // namespace
}  // namespace vxplatform
