// A second-generation system over TCP and one over a USB adapter (the FTDI
// double's bridge) are driven through QMXControl at the same time, and an
// asynchronous one over TCP with many reads in flight, each through its own
// line-fault proxy under a seeded schedule; see QmxSoak.h for what is
// checked. CI runs it 15 s (VX_SOAK_SECONDS for longer,
// VX_SOAK_SEED to repeat a schedule).

#include <atomic>

#include "FtdiDouble.h"
#include "VeltraxIO.h"
#include "control/soak/QmxSoak.h"
#include "integration/gen2/Gen2System.h"
#include "sim/Gen2Frame.h"
#include "sim/Gen2Simulator.h"

namespace {

using namespace qmxsoak;
namespace gen2 = vxsim::gen2;

// The closed-loop speed's key and the position's; the controller counts
// both in thousandths of the library's units.
constexpr uint32_t kMoveVelocity = 0x03050029;
constexpr uint32_t kPosition = 0x0305001D;
constexpr int64_t kScale = 1000;

// Positions the test sets at the controller, past the line: reads of the
// position key answer them.
class MovedPositions {
public:
    explicit MovedPositions(vxsim::Gen2Model& model) : model_(model) {
        model_.answerReads(kPosition, [this](uint8_t index) -> std::pair<uint16_t, vxsim::PropertyValue> {
            const int64_t position = index < kWorkers ? positions_[index].load() : 0;
            return {0, vxsim::PropertyValue{position * kScale}};
        });
    }
    ~MovedPositions() { model_.answerReads(kPosition, {}); }
    void set(unsigned channel, int32_t position) { positions_[channel] = position; }

private:
    vxsim::Gen2Model& model_;
    std::atomic<int64_t> positions_[kWorkers] = {};
};

// The speed of a speed write the controller took.
std::optional<int64_t> speedOf(const vxsim::LoggedFrame& frame) {
    if (!frame.accepted || frame.start != gen2::kCommandStart || frame.command != gen2::command::kWriteProperty ||
        frame.key != kMoveVelocity || frame.values.empty())
        return std::nullopt;
    return frame.values[0] / kScale;
}

std::unique_ptr<vxsim::Gen2Simulator> simulator() {
    auto sim = std::make_unique<vxsim::Gen2Simulator>();
    vxsim::defineLayout(sim->model(), gen2road::layout());
    return sim;
}

TEST(QmxControlSoak, SecondGenerationCallsKeepTheirPromisesOnAFaultyLine) {
    vxtest::soak::Run run("QMXControl second generation");

    auto tcpSim = simulator();
    tcpSim->serveTcp();
    SpeedLog tcpSpeeds(tcpSim->endpoint().frameLog(), speedOf);
    MovedPositions tcpPositions(tcpSim->model());
    auto usbSim = simulator();
    const std::string usbUpstream = usbSim->serveTcp().locator();
    SpeedLog usbSpeeds(usbSim->endpoint().frameLog(), speedOf);
    MovedPositions usbPositions(usbSim->model());
    auto asyncSim = simulator();
    asyncSim->serveTcp();
    MovedPositions asyncPositions(asyncSim->model());
    const VxFtdiDoubleApi* ftdi = vxftdi_api();
    ASSERT_NE(ftdi, nullptr);
    gen2road::rescanUsb();
    // Before the proxies and the first open: what is left after the last
    // close is compared with this once the proxies are gone too.
    const auto before = vxtest::soak::Resources::now();
    {
        vxsim::LineProxy tcpProxy({tcpSim->tcpLocator()});
        vxsim::LineProxy usbProxy({usbUpstream});
        vxsim::LineProxy asyncProxy({asyncSim->tcpLocator()});
        std::string serial;
        const int adapter = addBridgedAdapter(ftdi, "QMX2-SOAK", "Veltrax QMX2", 0x2E500000, usbProxy.locator(), &serial);
        ASSERT_GT(adapter, 0);
        gen2road::rescanUsb();

        // A "network:" locator is tried as a first-generation system first,
        // which waits for a greeting up to the open time-out; that time-out
        // is also how long a send waits for a connection that takes nothing.
        // Over USB a send waits for the adapter's write time-out (1000 ms).
        // A call that meets a lost connection waits up to 500 ms more for
        // the loss to be reported.
        std::vector<std::unique_ptr<TargetSoak>> soaks;
        soaks.push_back(std::make_unique<TargetSoak>(
            run, Target{"gen2 tcp", tcpProxy.locator(), "open-timeout 1000", false, &tcpProxy, 1000ms, 500ms,
                        [&] { return tcpSpeeds.speeds(); }, 1,
                        [&](unsigned channel, int32_t position) { tcpPositions.set(channel, position); }}));
        soaks.push_back(std::make_unique<TargetSoak>(
            run, Target{"gen2 usb", "usb:sn:" + serial, "", false, &usbProxy, 1000ms, 500ms,
                        [&] { return usbSpeeds.speeds(); }, 1,
                        [&](unsigned channel, int32_t position) { usbPositions.set(channel, position); }}));
        for (auto& soak : soaks) ASSERT_TRUE(learnKnownValues(*soak)) << soak->target().name;
        // Many reads in flight at once, so that IDs come round again while
        // late replies are still on their way.
        AsyncSoak async(run, Target{"gen2 tcp async", asyncProxy.locator(), "open-timeout 1000", false, &asyncProxy,
                                    1000ms, 500ms, {}, 1,
                                    [&](unsigned channel, int32_t position) { asyncPositions.set(channel, position); }});

        vxsim::LineFaultSchedule tcpSchedule(tcpProxy, tcpFaults(vxtest::soak::mix(run.seed() ^ 0x2C9)));
        vxsim::LineFaultSchedule usbSchedule(usbProxy, tcpFaults(vxtest::soak::mix(run.seed() ^ 0x25B)));
        vxsim::LineFaultSchedule asyncSchedule(asyncProxy, tcpFaults(vxtest::soak::mix(run.seed() ^ 0x2A5)));
        soaks[0]->setSchedule(&tcpSchedule);
        soaks[1]->setSchedule(&usbSchedule);
        async.setSchedule(&asyncSchedule);
        std::thread asyncDriver([&] { async.drive(); });
        driveAll(soaks);
        asyncDriver.join();
        tcpSchedule.stop();
        usbSchedule.stop();
        asyncSchedule.stop();
        recordFaults(run.recorder(), "gen2 tcp", tcpSchedule.steps());
        recordFaults(run.recorder(), "gen2 usb", usbSchedule.steps());
        recordFaults(run.recorder(), "gen2 tcp async", asyncSchedule.steps());
        for (auto& soak : soaks) {
            soak->setSchedule(nullptr);
            soak->checkFrameLog();
        }
        ftdi->unplug(adapter);
        gen2road::rescanUsb();
    }
    finishRun(run, before);
}

}  // namespace
