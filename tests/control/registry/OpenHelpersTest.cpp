#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "systems/gen1/OpenHelpers.h"

namespace {

struct TimeoutCase {
    const char* options;
    int32_t milliseconds;
};

class OpenTimeout : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(OpenTimeout, ValueOfTheKeysOwnLine) {
    EXPECT_EQ(qmx::parseOpenTimeout(GetParam().options), GetParam().milliseconds)
        << '"' << GetParam().options << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Options, OpenTimeout,
    ::testing::Values(TimeoutCase{"open-timeout 500", 500},
                      TimeoutCase{"async,\nopen-timeout 250\nreset,", 250},
                      TimeoutCase{"open-timeout    750\r\n", 750},
                      TimeoutCase{"open-timeout", 3000},
                      TimeoutCase{"open-timeout ", 3000},
                      // A key without a value never borrows the next line's.
                      TimeoutCase{"open-timeout\nport 4000", 3000},
                      TimeoutCase{"open-timeout \nport 4000", 3000},
                      TimeoutCase{"open-timeout\r\nport 4000", 3000},
                      TimeoutCase{"", 3000},
                      TimeoutCase{"async,\nreset,", 3000},
                      TimeoutCase{"open-timeout abc", 0},
                      TimeoutCase{"open-timeout 12ms", 12},
                      TimeoutCase{"open-timeout 0", 0},
                      TimeoutCase{"open-timeout 99999999999", std::numeric_limits<int32_t>::max()},
                      TimeoutCase{"open-timeout 1000\nopen-timeout 2000", 1000}));

TEST(OpenTimeout, NullOptionTextGivesTheDefault) { EXPECT_EQ(qmx::parseOpenTimeout(nullptr), 3000); }

}  // namespace
