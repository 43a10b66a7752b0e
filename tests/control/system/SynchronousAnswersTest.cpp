#include <vector>

#include "Gen1Fixture.h"

namespace gen1test {

namespace {

using Clock = std::chrono::steady_clock;

// One synchronous call on channel 0 and how long the controller takes to
// answer it; a call waits 2 s.
struct Call {
    enum Kind { SetPosition, GetPosition } kind;
    int32_t value;                       // SetPosition: the position set
    std::chrono::milliseconds answerIn;  // from the request's arrival
    int32_t movedTo;                     // GetPosition: the position once moved there first
    VX_STATUS status;
};

}  // namespace

class SynchronousAnswers : public Gen1Test {
protected:
    void SetUp() override {
        simulateTcp(SystemSetup::standard(1, false));
        ASSERT_EQ(openTcp(), 0u);
    }
};

// Answers that come 400 ms after the wait, on a line that keeps their order:
// each call that follows one that gave up must skip the earlier answer.
TEST_F(SynchronousAnswers, AnAnswerThatComesAfterTheWaitIsNotTakenByTheNextCall) {
    const std::vector<Call> calls{
        {Call::SetPosition, 1000, 2400ms, 0, 15},
        {Call::SetPosition, 2000, 800ms, 0, 0},
        {Call::GetPosition, 0, 2400ms, 2000, 15},
        {Call::GetPosition, 0, 800ms, 3000, 0},
    };
    for (const Call& call : calls) endpoint().addFault(Fault::late({}, call.answerIn, 1));

    for (size_t i = 0; i < calls.size(); ++i) {
        const Call& call = calls[i];
        SCOPED_TRACE("call " + std::to_string(i));
        int32_t position = -1;
        const auto start = Clock::now();
        VX_STATUS status;
        if (call.kind == Call::SetPosition) {
            status = system->setPosition(0, call.value, true);
        } else {
            model().setPosition(0, call.movedTo);
            status = system->getPosition(0, true, &position);
        }
        const auto took = Clock::now() - start;
        EXPECT_EQ(status, call.status);
        if (status != 0) continue;
        // The controller had not answered this request yet: what came was an
        // earlier call's answer.
        EXPECT_GE(took, call.answerIn) << "confirmed by an answer to another request";
        if (call.kind == Call::GetPosition) {
            EXPECT_EQ(position, call.movedTo);
        }
    }
}

TEST_F(SynchronousAnswers, EveryCallAfterALostConnectionGives10) {
    int32_t position = 0;
    ASSERT_EQ(system->getPosition(0, true, &position), 0u);
    sim.reset();
    ASSERT_TRUE(vxtest::waitUntil([&] { return system->receiveStatus() == 10; }));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(system->getPosition(0, true, &position), 10u);
        EXPECT_EQ(system->setPosition(0, 5, true), 10u);
        EXPECT_EQ(system->stop(0, true), 10u);
    }
}

}  // namespace gen1test
