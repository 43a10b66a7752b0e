#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "UpdateException.h"

namespace {

using vxfw::UpdateException;

TEST(UpdateExceptionTest, TextsOfTheCodeTableAndNumbers) {
    struct Case {
        int32_t code;
        const char* message;
        const char* text;
    };
    // Every code by its number, with its fixed text.
    const Case cases[] = {
        {0, "", "no Error"},
        {1, "USB", "port enumeration error (USB)"},
        {2, "no port", "invalid parameter (no port)"},
        {3, "", "could not open port"},
        {4, "", "port already open"},
        {5, "", "protocol error"},
        {6, "", "send error"},
        {7, "", "receive error"},
        {8, "", "timeout"},
        {9, "", "port not open"},
        {10, "a.fw6", "could not open file (a.fw6)"},
        {11, "", "invalid file content"},
        {12, "unknown configuration code", "configuration error (unknown configuration code)"},
        {13, "", "unknown port type"},
        {14, "", "not implemented"},
        {15, "", "wrong system state"},
        {16, "", "crc error"},
        {17, "", "buffer full"},
        {18, "", "CAN error"},
        {19, "", "<error code invalid>"},
        {19, "detail", "<error code invalid>"},
        {-1, "detail", "<error code invalid>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const UpdateException thrown(c.code, c.message);
        EXPECT_EQ(thrown.text(), c.text);
        const UpdateException copied = thrown;  // rethrown as a copy
        EXPECT_EQ(copied.code(), c.code);
        EXPECT_EQ(copied.message(), c.message);
        EXPECT_EQ(UpdateException(c.code, std::string(c.message)).text(), c.text);
    }

    const std::pair<int32_t, const char*> numbers[] = {
        {0, "0"},
        {-1500, "-1500"},
        {115200, "115200"},
        {std::numeric_limits<int32_t>::min(), "-2147483648"},
        {std::numeric_limits<int32_t>::max(), "2147483647"},
    };
    for (const auto& [value, text] : numbers) EXPECT_EQ(vxfw::toText(value), text);
}

}  // namespace
