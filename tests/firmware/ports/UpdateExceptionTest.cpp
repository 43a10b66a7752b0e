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
    const Case cases[] = {
        {vxfw::kNoError, "", "no Error"},
        {vxfw::kProtocolError, "", "protocol error"},
        {vxfw::kInvalidParameter, "no port", "invalid parameter (no port)"},
        {vxfw::kCouldNotOpenFile, "a.fw6", "could not open file (a.fw6)"},
        {vxfw::kConfigurationError, "unknown configuration code",
         "configuration error (unknown configuration code)"},
        {vxfw::kBufferFull, "", "buffer full"},
        {vxfw::kCanError, "", "CAN error"},
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
