#include <gtest/gtest.h>

#include <cstdint>

#include "systems/gen2/CtlBatches.h"
#include "systems/gen2/CtlConversions.h"
#include "systems/gen2/SystemVeltraxCTL.h"

namespace {

struct AngleCase {
    int64_t value;
    uint32_t angle;
    int32_t revolution;
};

class AngleConversion : public ::testing::TestWithParam<AngleCase> {};

TEST_P(AngleConversion, RoundsToMicrodegreesAndKeepsTheAngleWithinOneTurn) {
    uint32_t angle = 1;
    int32_t revolution = 1;
    qmx::toAngleAndRevolution(GetParam().value, &angle, &revolution);
    EXPECT_EQ(angle, GetParam().angle);
    EXPECT_EQ(revolution, GetParam().revolution);
}

INSTANTIATE_TEST_SUITE_P(Edges, AngleConversion,
                         ::testing::Values(AngleCase{0, 0, 0}, AngleCase{499, 0, 0}, AngleCase{500, 1, 0},
                                           AngleCase{-499, 0, 0}, AngleCase{-500, 359999999, -1},
                                           AngleCase{-1000, 359999999, -1}, AngleCase{-360000000000, 0, -1},
                                           AngleCase{-360000000500, 359999999, -2},
                                           AngleCase{359999999499, 359999999, 0}, AngleCase{359999999500, 0, 1},
                                           AngleCase{360000000000, 0, 1}, AngleCase{720000123456, 123, 2}));

TEST(AngleConversion, TheInverseGivesBackWhatWasSplit) {
    for (const int64_t value : {int64_t{0}, int64_t{1000}, int64_t{-1000}, int64_t{359999999000}, int64_t{-360000000000},
                                int64_t{360000000000} * 5000 + 7000}) {
        uint32_t angle = 0;
        int32_t revolution = 0;
        qmx::toAngleAndRevolution(value, &angle, &revolution);
        EXPECT_EQ(qmx::fromAngleAndRevolution(angle, revolution), value) << value;
    }
    EXPECT_EQ(qmx::fromAngleAndRevolution(359999999, -1), -1000);
    // Beyond 32 bits before the scaling: computed in 64.
    EXPECT_EQ(qmx::fromAngleAndRevolution(5, 25000), (int64_t{25000} * 360000000 + 5) * 1000);
}

TEST(Scaling, TimesAThousandUpAndRoundedHalfAwayFromZeroDown) {
    EXPECT_EQ(qmx::scaleUp(-5), -5000);
    EXPECT_EQ(qmx::scaleUp(2147483647), int64_t{2147483647000});
    EXPECT_EQ(qmx::scaleDown(-5500), -6);
    EXPECT_EQ(qmx::scaleDown(-5499), -5);
    EXPECT_EQ(qmx::scaleDown(5500), 6);
    EXPECT_EQ(qmx::scaleDown(499), 0);
    EXPECT_EQ(qmx::roundedDivide(1499999, 1000000), 1);
    EXPECT_EQ(qmx::roundedDivide(1500000, 1000000), 2);
    EXPECT_EQ(qmx::roundedDivide(-1500000, 1000000), -2);
}

TEST(PackedVersion, KindAndNumbersShareOneWord) {
    const int32_t numbers[] = {99, 0x1234, 0x56, 0x0F};
    // Only the low three bits of the third number count; the first is unused.
    EXPECT_EQ(qmx::packVersion(2, numbers), (((2u * 8u) | 7u) << 8 | 0x56u) << 16 | 0x1234u);
    const int32_t zeros[] = {0, 0, 0, 0};
    EXPECT_EQ(qmx::packVersion(0, zeros), 0u);
}

TEST(ConversionTables, KnowOnlyTheirNumbers) {
    for (const uint32_t key : {0x01020001u, 0x01040001u, 0x01050011u, 0x01180001u, 0x08060013u, 0x08070012u,
                               0x08070031u, 0x080B0001u, 0x08160013u, 0x0816002Fu})
        EXPECT_NE(qmx::channelPropertyBatch(key), nullptr) << std::hex << key;
    EXPECT_EQ(qmx::channelPropertyBatch(0x01020002), nullptr);
    for (const uint32_t number : {1u, 2u, 5u, 6u}) EXPECT_NE(qmx::tuningParameterBatch(number), nullptr) << number;
    for (const uint32_t number : {0u, 3u, 4u, 7u}) EXPECT_EQ(qmx::tuningParameterBatch(number), nullptr) << number;
    for (uint32_t number = 15; number <= 23; ++number) {
        const bool known = number < 17 || number > 19;
        EXPECT_EQ(qmx::debugValueBatch(number) != nullptr, known) << number;
    }
    EXPECT_EQ(qmx::debugValueBatch(14), nullptr);
    // Read-only values.
    EXPECT_EQ(qmx::channelPropertyBatch(0x08060013)->writeRequest, nullptr);
    EXPECT_EQ(qmx::channelPropertyBatch(0x08070012)->writeRequest, nullptr);
}

// Values a table cannot write are refused before anything is sent: the
// adapter here has no device at all.
TEST(ConversionTables, RefuseValuesOutOfRangeWithoutSending) {
    struct Case {
        const qmx::BatchEntry* entry;
        int32_t value;
    };
    const Case cases[] = {
        {qmx::channelPropertyBatch(0x01020001), 2},  {qmx::channelPropertyBatch(0x01040001), -1},
        {qmx::channelPropertyBatch(0x01050011), 2},  {qmx::channelPropertyBatch(0x01180001), 7},
        {qmx::channelPropertyBatch(0x080B0001), 3},  {qmx::channelPropertyBatch(0x08160013), 2},
        {qmx::tuningParameterBatch(1), -1},          {qmx::tuningParameterBatch(5), 2},
    };
    qmx::SystemVeltraxCTL system;
    for (const Case& c : cases) {
        qmx::WriteQueue batch(system);
        EXPECT_EQ(c.entry->writeRequest(batch, 0, c.value), VX_INVALID_PARAMETER) << c.entry->number;
        EXPECT_EQ(batch.pending(), 0u);
    }
    // A value in range reaches for the device, which a closed system has not.
    qmx::WriteQueue batch(system);
    EXPECT_EQ(qmx::channelPropertyBatch(0x01020001)->writeRequest(batch, 0, 1), VX_CANCELED);
}

TEST(ClosedSystem, ChecksModeFirstAndHasNothingToCloseOrJoin) {
    qmx::SystemVeltraxCTL system;
    VX_packet packet{};
    EXPECT_EQ(system.receiveNextPacket(0, &packet, true), VX_NOT_INITIALIZED);
    EXPECT_EQ(system.cancelWaitForPacket(), VX_NOT_INITIALIZED);
    EXPECT_EQ(system.discardPacket(), VX_NOT_INITIALIZED);
    uint32_t count = 7;
    EXPECT_EQ(system.getNumberOfChannels(&count), VX_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(system.close(), VX_OK);
    EXPECT_FALSE(system.threadsRunning());
}

}  // namespace
