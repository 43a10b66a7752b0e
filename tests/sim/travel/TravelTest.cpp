#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sim/ControllerModel.h"
#include "sim/TextEndpoint.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using vxsim::ControllerModel;
namespace status = vxsim::channelStatus;

constexpr uint16_t kHoldForever = 60000;
constexpr int64_t kDegree = 1000000;
constexpr uint8_t kForward = 0;
constexpr uint8_t kBackward = 1;

// Channel 0 linear: marks at 1, 3 and 6 mm between end stops at -9 and 9 mm;
// channel 1 rotary: marks at 30 and 100 degrees of every turn, no end stops.
vxsim::SystemSetup travelSetup(uint8_t linearType, uint8_t rotaryType) {
    vxsim::SystemSetup setup = vxsim::SystemSetup::standard(2, false);
    setup.channels[0].sensorType = linearType;
    setup.channels[0].travel =
        vxsim::TravelSetup{0, {1000000, 3000000, 6000000}, {{-9000000, 9000000}}};
    setup.channels[1].rotary = true;
    setup.channels[1].sensorType = rotaryType;
    setup.channels[1].travel = vxsim::TravelSetup{0, {30 * kDegree, 100 * kDegree}, {}};
    setup.referenceSearchTime = 30ms;
    setup.maximumSpeed = 200000000;  // 200 mm/s
    return setup;
}

int32_t positionOf(const ControllerModel& model, size_t channel) {
    int32_t position = 0;
    EXPECT_EQ(model.position(channel, &position), 0);
    return position;
}

int64_t angleOf(const ControllerModel& model, size_t channel) {
    uint32_t angle = 0;
    int32_t revolution = 0;
    EXPECT_EQ(model.angle(channel, &angle, &revolution), 0);
    return static_cast<int64_t>(revolution) * 360 * kDegree + angle;
}

// Searches and waits for the search's end: the state it settles in.
uint8_t search(ControllerModel& model, size_t channel, uint8_t direction) {
    EXPECT_EQ(model.findReferenceMark(channel, direction, false, kHoldForever), 0);
    EXPECT_EQ(model.status(channel), status::kFindingReference);
    EXPECT_TRUE(vxtest::waitUntil(
        [&] { return model.status(channel) != status::kFindingReference; }));
    return model.status(channel);
}

TEST(Travel, SearchesFindTheNextMarkInTheirDirectionOrEndAtAnEndStop) {
    ControllerModel model(travelSetup(1, 2));
    struct Step {
        uint8_t direction;
        uint8_t settles;
        int32_t at;
    };
    const Step steps[] = {
        {kForward, status::kHolding, 1000000},   {kForward, status::kHolding, 3000000},
        {kForward, status::kHolding, 6000000},   {kForward, status::kStopped, 9000000},
        {kBackward, status::kHolding, 6000000},  {kBackward, status::kHolding, 3000000},
        {kBackward, status::kHolding, 1000000},  {kBackward, status::kStopped, -9000000},
        {4, status::kHolding, 1000000},          {5, status::kStopped, -9000000},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.at);
        EXPECT_EQ(search(model, 0, step.direction), step.settles);
        EXPECT_EQ(positionOf(model, 0), step.at);
        EXPECT_EQ(model.physicalPositionKnown(0), step.settles == status::kHolding ? 1 : 0);
    }
    // A mark holds only for its hold time; an end stop does not hold.
    ASSERT_EQ(model.findReferenceMark(0, kForward, false, 0), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.status(0) == status::kStopped; }));
    EXPECT_EQ(positionOf(model, 0), 1000000);
    EXPECT_EQ(model.physicalPositionKnown(0), 1);

    // On a rotary channel the marks come round every turn.
    EXPECT_EQ(search(model, 1, kBackward), status::kHolding);
    EXPECT_EQ(angleOf(model, 1), -260 * kDegree);
    EXPECT_EQ(search(model, 1, kForward), status::kHolding);
    EXPECT_EQ(angleOf(model, 1), 30 * kDegree);
    EXPECT_EQ(search(model, 1, kForward), status::kHolding);
    EXPECT_EQ(angleOf(model, 1), 100 * kDegree);
    EXPECT_EQ(search(model, 1, kForward), status::kHolding);
    EXPECT_EQ(angleOf(model, 1), 390 * kDegree);
}

TEST(Travel, EndStopsEndClosedLoopMovesStandingStill) {
    ControllerModel model(travelSetup(1, 2));
    struct Move {
        int32_t by;
        uint8_t settles;
        int32_t at;
    };
    const Move moves[] = {
        {5000000, status::kHolding, 5000000}, {5000000, status::kStopped, 9000000},
        {-4000000, status::kHolding, 5000000}, {-20000000, status::kStopped, -9000000},
    };
    for (const Move& move : moves) {
        SCOPED_TRACE(move.by);
        ASSERT_EQ(model.gotoPosition(0, move.by, kHoldForever, true), 0);
        EXPECT_TRUE(vxtest::waitUntil([&] { return positionOf(model, 0) == move.at; }));
        EXPECT_TRUE(vxtest::waitUntil([&] { return model.status(0) == move.settles; }));
    }
    // Open-loop steps stop at the end stop too.
    ASSERT_EQ(model.stepMove(0, -1000, 4095, 20000), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.status(0) == status::kStopped; }));
    EXPECT_EQ(positionOf(model, 0), -9000000);
}

// Distance-coded marks give their place on the scale; decoded with the
// wrong flag (tuning parameter 5), mirrored, so the second of two marks
// reads against the direction of travel.
TEST(Travel, DistanceCodedMarksReadThroughTheInversionFlag) {
    struct Case {
        const char* what;
        uint8_t linearType;
        uint8_t rotaryType;
        int32_t flag;
        int64_t firstMark, secondMark;  // linear readings
        int64_t firstAngle, secondAngle;
    };
    const Case cases[] = {
        {"flag right", 6, 25, 0, 1000000, 3000000, 30 * kDegree, 100 * kDegree},
        {"flag wrong", 6, 25, 1, -1000000, -3000000, -30 * kDegree, -100 * kDegree},
        {"not distance-coded", 1, 2, 1, 1000000, 3000000, 30 * kDegree, 100 * kDegree},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ControllerModel model(travelSetup(c.linearType, c.rotaryType));
        for (size_t channel : {0, 1})
            model.setTableValue(channel, ControllerModel::Table::Tuning,
                                vxsim::kDistanceCodeInvertedParameter, c.flag);
        search(model, 0, kForward);
        EXPECT_EQ(positionOf(model, 0), c.firstMark);
        search(model, 0, kForward);
        EXPECT_EQ(positionOf(model, 0), c.secondMark);
        // Moves go on from the scale the mark gave.
        ASSERT_EQ(model.gotoPosition(0, 500, 0, true), 0);
        EXPECT_TRUE(vxtest::waitUntil([&] { return positionOf(model, 0) == c.secondMark + 500; }));

        search(model, 1, kForward);
        EXPECT_EQ(angleOf(model, 1), c.firstAngle);
        search(model, 1, kForward);
        EXPECT_EQ(angleOf(model, 1), c.secondAngle);
    }
    // A sensor whose code runs inverted reads right with the flag set.
    vxsim::SystemSetup setup = travelSetup(6, 25);
    setup.channels[0].travel->distanceCodeInverted = true;
    ControllerModel model(setup);
    search(model, 0, kForward);
    EXPECT_EQ(positionOf(model, 0), -1000000);
    model.setTableValue(0, ControllerModel::Table::Tuning, vxsim::kDistanceCodeInvertedParameter,
                        1);
    search(model, 0, kForward);
    EXPECT_EQ(positionOf(model, 0), 3000000);
}

TEST(Travel, Rs232RateIsStoredAndTakesEffectAtTheReset) {
    ControllerModel model(vxsim::SystemSetup::standard(1, false));
    vxsim::TextEndpoint endpoint(model);
    EXPECT_EQ(endpoint.reply("GCB"), ":BR9600\n");
    EXPECT_EQ(endpoint.reply("CB57600"), ":BR57600\n");
    EXPECT_EQ(endpoint.reply("GCB"), ":BR57600\n");
    EXPECT_EQ(model.rs232Rate(), 57600u);
    EXPECT_EQ(model.effectiveRs232Rate(), 9600u);
    model.reset();
    EXPECT_EQ(model.effectiveRs232Rate(), 57600u);
    EXPECT_EQ(model.rs232Rate(), 57600u) << "kept across the reset";
    // With its second argument the line switches at once, unanswered.
    EXPECT_EQ(endpoint.reply("CB115200,1"), "");
    EXPECT_EQ(model.effectiveRs232Rate(), 115200u);
    EXPECT_EQ(endpoint.reply("CB0"), ":E-1,150\n");
    EXPECT_EQ(model.rs232Rate(), 115200u);
}

}  // namespace
