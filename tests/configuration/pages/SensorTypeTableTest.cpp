#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "SensorTypes.h"

namespace {

using namespace sensortypes;

constexpr uint32_t kDegree = 1000000;  // micro-degrees

TEST(SensorTypeTable, OfferedCodesAndTheirClasses) {
    std::vector<uint32_t> codes;
    for (const SensorType& type : offered()) codes.push_back(type.code);
    std::vector<uint32_t> expected = {1, 2, 5, 6, 8, 9, 11, 12, 14};
    for (uint32_t code = 16; code <= 56; ++code) expected.push_back(code);
    EXPECT_EQ(codes, expected);

    const std::set<uint32_t> positions = {1,  5,  6,  9,  18, 21, 24, 32,
                                          34, 35, 38, 40, 41, 42, 43, 44};
    const std::set<uint32_t> distanceCoded = {6, 18, 24, 25, 35, 38, 40};
    std::set<std::string> designations;
    for (uint32_t code = 0; code <= 60; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(isPosition(code), positions.count(code) == 1);
        EXPECT_EQ(isDistanceCoded(code), distanceCoded.count(code) == 1);
        const SensorType* type = find(code);
        if (type == nullptr) continue;
        designations.insert(type->designation);
        // What the description says agrees with how the page treats the code.
        const bool linear = type->positioner == Positioner::Linear ||
                            type->positioner == Positioner::HighLoadVertical;
        EXPECT_EQ(linear, isPosition(code));
        EXPECT_EQ(type->marks == ReferenceMarks::DistanceCoded, isDistanceCoded(code));
    }
    EXPECT_EQ(designations.size(), 50u) << "each entry has its own designation";
}

TEST(SensorTypeTable, DescriptionsSharedByTheSamePositionerOnly) {
    std::map<std::string, std::vector<uint32_t>> byText;
    for (const SensorType& type : offered()) {
        const QString text = description(type.code);
        if (text.isEmpty()) {
            byText["(none)"].push_back(type.code);
            continue;
        }
        EXPECT_TRUE(text.endsWith('.')) << type.code;
        byText[text.toStdString()].push_back(type.code);
    }
    std::vector<std::vector<uint32_t>> shared;
    for (const auto& [text, codes] : byText)
        if (codes.size() > 1) shared.push_back(codes);
    std::sort(shared.begin(), shared.end());
    EXPECT_EQ(shared, (std::vector<std::vector<uint32_t>>{
                          {5, 21}, {6, 18}, {22, 45, 46}, {26, 28}, {27, 29}}));
    EXPECT_EQ(byText["(none)"], (std::vector<uint32_t>{22, 45, 46}));
    EXPECT_EQ(description(3), "");
    EXPECT_EQ(description(12),
              "Goniometer with nano sensor, standard actuator, a single reference mark and end "
              "stops, radius 61.5 mm.");
}

TEST(SensorTypeTable, SearchDirections) {
    EXPECT_EQ(searchDirection(6, false), kPositionForward);
    EXPECT_EQ(searchDirection(6, true), kPositionBackward);
    EXPECT_EQ(searchDirection(25, false), kAngleForward);
    EXPECT_EQ(searchDirection(25, true), kAngleBackward);
    EXPECT_EQ(searchDirection(0, true), kAngleBackward) << "0 counts as an angle type";
    EXPECT_EQ(reversed(kPositionForward), kPositionBackward);
    EXPECT_EQ(reversed(kPositionBackward), kPositionForward);
    EXPECT_EQ(reversed(kAngleForward), kAngleBackward);
    EXPECT_EQ(reversed(kAngleBackward), kAngleForward);
}

TEST(SensorTypeTable, PositionDecision) {
    struct Case {
        uint32_t direction;
        int32_t first, second;
        bool wrong;
    };
    const Case cases[] = {
        {kPositionForward, 1000, 3000, false},  {kPositionForward, 3000, 1000, true},
        {kPositionBackward, 3000, 1000, false}, {kPositionBackward, 1000, 3000, true},
        {kPositionForward, 5, 5, false},        {kPositionBackward, 5, 5, false},
        {kPositionForward, INT32_MAX, INT32_MIN, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.direction << ": " << c.first << " -> " << c.second);
        EXPECT_EQ(positionFlagWrong(c.direction, c.first, c.second), c.wrong);
    }
}

TEST(SensorTypeTable, AngleDecisionAcrossARevolution) {
    struct Case {
        uint32_t firstAngle;
        int32_t firstRevolution;
        uint32_t secondAngle;
        int32_t secondRevolution;
        int32_t difference;
        bool wrongForward;
        bool wrongBackward;
    };
    const Case cases[] = {
        // Forward across zero: the flag is right forward, wrong backward.
        {359 * kDegree, 0, 1 * kDegree, 1, 2 * kDegree, false, true},
        // Backward across zero.
        {1 * kDegree, 1, 359 * kDegree, 0, -2 * int32_t(kDegree), true, false},
        // Within one turn.
        {10 * kDegree, 3, 50 * kDegree, 3, 40 * int32_t(kDegree), false, true},
        {50 * kDegree, -2, 10 * kDegree, -2, -40 * int32_t(kDegree), true, false},
        // The same reading counts as right both ways.
        {7 * kDegree, 0, 7 * kDegree, 0, 0, false, false},
        // Revolution counts decide only the sign of the turn added.
        {10 * kDegree, 0, 20 * kDegree, 5, 370 * int32_t(kDegree), false, true},
        {350 * kDegree, -1, 10 * kDegree, -1, -340 * int32_t(kDegree), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.firstAngle << "/" << c.firstRevolution << " -> "
                                        << c.secondAngle << "/" << c.secondRevolution);
        EXPECT_EQ(angleDifference(c.firstAngle, c.firstRevolution, c.secondAngle,
                                  c.secondRevolution),
                  c.difference);
        EXPECT_EQ(angleFlagWrong(kAngleForward, c.firstAngle, c.firstRevolution, c.secondAngle,
                                 c.secondRevolution),
                  c.wrongForward);
        EXPECT_EQ(angleFlagWrong(kAngleBackward, c.firstAngle, c.firstRevolution, c.secondAngle,
                                 c.secondRevolution),
                  c.wrongBackward);
    }
}

}  // namespace
