// A first-generation system over TCP and one over a USB adapter (the FTDI
// double's bridge) are driven at the same time, each through its own
// line-fault proxy under a seeded schedule; see QmxSoak.h for what is
// checked. CI runs it 15 s (VX_SOAK_SECONDS for longer, VX_SOAK_SEED to
// repeat a schedule).

#include "FtdiDouble.h"
#include "VeltraxIO.h"
#include "control/soak/QmxSoak.h"
#include "sim/Gen1Opcodes.h"
#include "sim/Gen1Simulator.h"
#include "sim/TcpServer.h"

namespace {

using namespace qmxsoak;
namespace gen1 = vxsim::gen1;

// Distinct per channel, so that an answer for another channel shows.
constexpr uint8_t kSensorTypes[kWorkers] = {1, 5, 9};

vxsim::SystemSetup setup() {
    vxsim::SystemSetup setup = vxsim::SystemSetup::standard(kWorkers, false);
    for (unsigned channel = 0; channel < kWorkers; ++channel) setup.channels[channel].sensorType = kSensorTypes[channel];
    return setup;
}

// The speed of a speed write (opcode, write access, then the speed,
// little-endian).
std::optional<int64_t> speedOf(const vxsim::LoggedFrame& frame) {
    const auto& bytes = frame.bytes;
    if (frame.command != gen1::kMoveSpeed || bytes.size() < 8 || bytes[3] != gen1::kWrite) return std::nullopt;
    return static_cast<uint32_t>(bytes[4]) | static_cast<uint32_t>(bytes[5]) << 8 |
           static_cast<uint32_t>(bytes[6]) << 16 | static_cast<uint32_t>(bytes[7]) << 24;
}

void rescanUsb() {
    char list[4096];
    size_t length = sizeof list;
    VX_IO_EnumerateDevices(VX_IO_IFACE_USB, "force-rescan\n", list, &length);
}

TEST(QmxControlSoak, FirstGenerationCallsKeepTheirPromisesOnAFaultyLine) {
    vxtest::soak::Run run("QMXControl first generation");

    vxsim::Gen1Simulator tcpSim(setup());
    tcpSim.serveTcp();
    SpeedLog tcpSpeeds(tcpSim.endpoint().frameLog(), speedOf);
    // A USB adapter's far side: no greeting, as the adapter gives none.
    vxsim::Gen1Simulator usbSim(setup());
    vxsim::TcpServer usbServer(usbSim.endpoint());
    SpeedLog usbSpeeds(usbSim.endpoint().frameLog(), speedOf);
    const VxFtdiDoubleApi* ftdi = vxftdi_api();
    ASSERT_NE(ftdi, nullptr);
    rescanUsb();
    // Before the proxies and the first open: what is left after the last
    // close is compared with this once the proxies are gone too.
    const auto before = vxtest::soak::Resources::now();
    {
        vxsim::LineProxy tcpProxy({tcpSim.tcpLocator()});
        vxsim::LineProxy usbProxy({usbServer.locator()});
        std::string serial;
        const int adapter = addBridgedAdapter(ftdi, "SOAK1-", "Veltrax QMX-I", 0x50AC0000, usbProxy.locator(), &serial);
        ASSERT_GT(adapter, 0);
        rescanUsb();

        // Over TCP a send waits for the open time-out (3000 ms) for a line
        // that takes nothing; over USB for the adapter's write time-out
        // (1000 ms). A call may first wait for an answer still owed to an
        // earlier call of its kind and module, up to 5 s from that request.
        std::vector<std::unique_ptr<TargetSoak>> soaks;
        soaks.push_back(std::make_unique<TargetSoak>(
            run, Target{"gen1 tcp", tcpProxy.locator(), "", true, &tcpProxy, 3000ms, 5000ms,
                        [&] { return tcpSpeeds.speeds(); }, 1,
                        [&](unsigned channel, int32_t position) { tcpSim.model().setPosition(channel, position); }}));
        soaks.push_back(std::make_unique<TargetSoak>(
            run, Target{"gen1 usb", "usb:sn:" + serial, "", true, &usbProxy, 1000ms, 5000ms,
                        [&] { return usbSpeeds.speeds(); }, 1,
                        [&](unsigned channel, int32_t position) { usbSim.model().setPosition(channel, position); }}));
        for (auto& soak : soaks) {
            ASSERT_TRUE(learnKnownValues(*soak)) << soak->target().name;
            for (unsigned channel = 0; channel < kWorkers; ++channel)
                ASSERT_EQ(soak->knownSensorType(channel), kSensorTypes[channel]) << soak->target().name;
        }

        vxsim::LineFaultSchedule tcpSchedule(tcpProxy, tcpFaults(vxtest::soak::mix(run.seed() ^ 0x7C9)));
        vxsim::LineFaultSchedule usbSchedule(usbProxy, usbFaults(vxtest::soak::mix(run.seed() ^ 0x05B)));
        soaks[0]->setSchedule(&tcpSchedule);
        soaks[1]->setSchedule(&usbSchedule);
        driveAll(soaks);
        tcpSchedule.stop();
        usbSchedule.stop();
        recordFaults(run.recorder(), "gen1 tcp", tcpSchedule.steps());
        recordFaults(run.recorder(), "gen1 usb", usbSchedule.steps());
        for (auto& soak : soaks) {
            soak->setSchedule(nullptr);
            soak->checkFrameLog();
        }
        ftdi->unplug(adapter);
        rescanUsb();
    }
    finishRun(run, before);
}

}  // namespace
