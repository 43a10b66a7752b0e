#include <array>
#include <functional>

#include "Gen1Fixture.h"

namespace gen1test {

namespace {

Bytes le16(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
Bytes le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes zeros(size_t n) { return Bytes(n, 0); }

constexpr uint32_t kKey = 0x0816002F;

// Module words of the simulated system below: a linear positioner, a rotary
// positioner and an end effector.
using Words = std::array<uint16_t, 3>;

struct Out {
    uint32_t u[4]{};
    int32_t i[4]{};
    VX_packet record{};
};

struct Row {
    const char* name;
    std::function<VX_STATUS(qmx::System&, bool sync, Out&)> call;
    std::function<Bytes(const Words&)> request;
    std::function<void(const Out&)> outputs;          // synchronous answer
    uint32_t packetType;                              // asynchronous answer, 0 for none
    std::function<void(const VX_packet&)> packet;     // its fields
    std::function<void(vxsim::ControllerModel&)> effect;  // what a command did
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

SystemSetup channelSetup() {
    SystemSetup setup = SystemSetup::standard(3, true, 1);
    setup.channels[1].rotary = true;
    // Long enough to be seen in progress.
    setup.calibrationTime = 10s;
    setup.referenceSearchTime = 10s;
    return setup;
}

// Distinct values for every answer.
void prepare(vxsim::ControllerModel& model) {
    auto s = model.settings(0);
    s.moveSpeed = 5000;
    s.moveAcceleration = 777;
    s.scaleShift = -7;
    s.scaleInverted = 1;
    s.minPosition = -1000;
    s.maxPosition = 2000;
    s.safeDirection = 1;
    model.updateSettings(0, s);
    model.setSensorType(0, 3);
    model.setPosition(0, -99);
    model.setChannelProperty(0, kKey, -42);
    model.setTableValue(0, vxsim::ControllerModel::Table::Debug, 3, -5);
    model.setTableValue(0, vxsim::ControllerModel::Table::Tuning, 4, 99);
    model.setTableValue(0, vxsim::ControllerModel::Table::Config, 5, -77);
    model.scanMove(0, 1234, 4095000000u, false);
    model.setSensorEnabled(2);

    auto r = model.settings(1);
    r.minAngle = 1000;
    r.minRevolution = -2;
    r.maxAngle = 359000000;
    r.maxRevolution = 3;
    model.updateSettings(1, r);
    model.setPosition(1, -90000000);

    model.setEndEffector(2, {2, -3, 4});
    model.gotoForce(2, -500, 1);
    model.gotoGripperOpening(2, 1500, 225000, false);
    vxtest::waitUntil([&] { return model.voltageLevel(0) == 1234 && model.gripperOpening(2) == 1500; });
}

using S = qmx::System;

const Row kRows[] = {
    {"GetAngleLimit",
     [](S& s, bool y, Out& o) { return s.getAngleLimit(1, y, &o.u[0], &o.i[0], &o.u[1], &o.i[1]); },
     [](const Words& w) { return gen1Packet(w[1], 0x1D, cat({{0x02}, zeros(12)})); },
     [](const Out& o) {
         EXPECT_EQ(o.u[0], 1000u);
         EXPECT_EQ(o.i[0], -2);
         EXPECT_EQ(o.u[1], 359000000u);
         EXPECT_EQ(o.i[1], 3);
     },
     15,
     [](const VX_packet& p) {
         EXPECT_EQ(p.data1, 1000u);
         EXPECT_EQ(p.data2, -2);
         EXPECT_EQ(p.data3, 3);
         EXPECT_EQ(p.data4, 359000000u);
     },
     nullptr},
    {"GetChannelProperty",
     [](S& s, bool y, Out& o) { return s.getChannelProperty(0, kKey, y, &o.i[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0x39, cat({{0x02}, le32(kKey), zeros(4)})); },
     [](const Out& o) { EXPECT_EQ(o.i[0], -42); }, 19,
     [](const VX_packet& p) {
         EXPECT_EQ(p.data1, kKey);
         EXPECT_EQ(p.data2, -42);
     },
     nullptr},
    {"GetClosedLoopMoveAcceleration",
     [](S& s, bool y, Out& o) { return s.getClosedLoopMoveAcceleration(0, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0x75, cat({{0x02}, zeros(4)})); },
     [](const Out& o) { EXPECT_EQ(o.u[0], 777u); }, 18,
     [](const VX_packet& p) { EXPECT_EQ(p.data1, 777u); }, nullptr},
    {"GetClosedLoopMoveSpeed",
     [](S& s, bool y, Out& o) { return s.getClosedLoopMoveSpeed(0, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0x65, cat({{0x02}, zeros(4)})); },
     [](const Out& o) { EXPECT_EQ(o.u[0], 5000u); }, 12,
     [](const VX_packet& p) { EXPECT_EQ(p.data1, 5000u); }, nullptr},
    {"GetEndEffectorType",
     [](S& s, bool y, Out& o) { return s.getEndEffectorType(2, y, &o.u[0], &o.i[0], &o.i[1]); },
     [](const Words& w) { return gen1Packet(w[2], 0x1A, cat({{0x00}, zeros(9)})); },
     [](const Out& o) {
         EXPECT_EQ(o.u[0], 2u);
         EXPECT_EQ(o.i[0], -3);
         EXPECT_EQ(o.i[1], 4);
     },
     9,
     [](const VX_packet& p) {
         EXPECT_EQ(p.data1, 2u);
         EXPECT_EQ(p.data2, -3);
         EXPECT_EQ(p.data3, 4);
     },
     nullptr},
    {"GetPositionLimit",
     [](S& s, bool y, Out& o) { return s.getPositionLimit(0, y, &o.i[0], &o.i[1]); },
     [](const Words& w) { return gen1Packet(w[0], 0x29, cat({{0x02}, zeros(8)})); },
     [](const Out& o) {
         EXPECT_EQ(o.i[0], -1000);
         EXPECT_EQ(o.i[1], 2000);
     },
     14,
     [](const VX_packet& p) {
         EXPECT_EQ(p.data2, -1000);
         EXPECT_EQ(p.data3, 2000);
     },
     nullptr},
    {"GetSafeDirection", [](S& s, bool y, Out& o) { return s.getSafeDirection(0, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0xB2, {0x02, 0}); },
     [](const Out& o) { EXPECT_EQ(o.u[0], 1u); }, 16,
     [](const VX_packet& p) { EXPECT_EQ(p.data1, 1u); }, nullptr},
    {"GetScale", [](S& s, bool y, Out& o) { return s.getScale(0, y, &o.i[0], &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0x16, cat({{0x02}, zeros(5)})); },
     [](const Out& o) {
         EXPECT_EQ(o.i[0], -7);
         EXPECT_EQ(o.u[0], 1u);
     },
     17,
     [](const VX_packet& p) {
         EXPECT_EQ(p.data2, -7);
         EXPECT_EQ(p.data1, 1u);
     },
     nullptr},
    {"GetSensorEnabled", [](S& s, bool y, Out& o) { return s.getSensorEnabled(y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0xA1, {0xFF}); },
     [](const Out& o) { EXPECT_EQ(o.u[0], 2u); }, 8,
     [](const VX_packet& p) { EXPECT_EQ(p.data1, 2u); }, nullptr},
    {"GetSensorType", [](S& s, bool y, Out& o) { return s.getSensorType(0, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0x72, {0x01, 0}); },
     [](const Out& o) { EXPECT_EQ(o.u[0], 3u); }, 7,
     [](const VX_packet& p) { EXPECT_EQ(p.data1, 3u); }, nullptr},
    {"GetPositionerType", [](S& s, bool y, Out& o) { return s.getPositionerType(0, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0x72, {0x01, 0}); },
     [](const Out& o) { EXPECT_EQ(o.u[0], 3u); }, 22,
     [](const VX_packet& p) { EXPECT_EQ(p.data1, 3u); }, nullptr},
    {"SetAccumulateRelativePositions",
     [](S& s, bool y, Out&) { return s.setAccumulateRelativePositions(0, 1, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x32, {0x08, 0x08}); }, nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) { EXPECT_EQ(m.flags(0), 0x08); }},
    {"SetAngleLimit",
     [](S& s, bool y, Out&) { return s.setAngleLimit(1, 5, -6, 359999999, 32767, y); },
     [](const Words& w) {
         return gen1Packet(w[1], 0x1D, cat({{0x01}, le32(5), le16(-6), le32(359999999), le16(32767)}));
     },
     nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) {
         EXPECT_EQ(m.settings(1).minRevolution, -6);
         EXPECT_EQ(m.settings(1).maxAngle, 359999999u);
     }},
    {"SetChannelProperty", [](S& s, bool y, Out&) { return s.setChannelProperty(0, kKey, 55, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x39, cat({{0x01}, le32(kKey), le32(55)})); },
     nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) {
         int32_t v = 0;
         EXPECT_EQ(m.channelProperty(0, kKey, &v), 0);
         EXPECT_EQ(v, 55);
     }},
    {"SetClosedLoopMaxFrequency",
     [](S& s, bool y, Out&) { return s.setClosedLoopMaxFrequency(0, 18500, y); },
     [](const Words& w) { return gen1Packet(w[0], 0xD5, cat({{0x02}, le32(18500)})); }, nullptr, 0,
     nullptr,
     [](vxsim::ControllerModel& m) {
         EXPECT_EQ(m.tableValue(0, vxsim::ControllerModel::Table::Config, 2), 18500);
     }},
    {"SetClosedLoopMoveAcceleration",
     [](S& s, bool y, Out&) { return s.setClosedLoopMoveAcceleration(0, 100000000, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x75, cat({{0x01}, le32(100000000)})); }, nullptr,
     0, nullptr,
     [](vxsim::ControllerModel& m) { EXPECT_EQ(m.settings(0).moveAcceleration, 100000000u); }},
    {"SetClosedLoopMoveSpeed", [](S& s, bool y, Out&) { return s.setClosedLoopMoveSpeed(0, 456, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x65, cat({{0x01}, le32(456)})); }, nullptr, 0,
     nullptr, [](vxsim::ControllerModel& m) { EXPECT_EQ(m.settings(0).moveSpeed, 456u); }},
    {"SetEndEffectorType",
     [](S& s, bool y, Out&) { return s.setEndEffectorType(2, 255, -8, 9, y); },
     [](const Words& w) { return gen1Packet(w[2], 0x1A, cat({{0x01, 255}, le32(-8), le32(9)})); },
     nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) {
         EXPECT_EQ(m.endEffector(2).type, 255);
         EXPECT_EQ(m.endEffector(2).param1, -8);
     }},
    {"SetPosition", [](S& s, bool y, Out&) { return s.setPosition(0, -12345, y); },
     [](const Words& w) { return gen1Packet(w[0], 0xB4, le32(-12345)); }, nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) {
         int32_t p = 0;
         m.position(0, &p);
         EXPECT_EQ(p, -12345);
     }},
    {"SetPositionLimit", [](S& s, bool y, Out&) { return s.setPositionLimit(0, -5, 5, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x29, cat({{0x01}, le32(-5), le32(5)})); }, nullptr,
     0, nullptr, [](vxsim::ControllerModel& m) { EXPECT_EQ(m.settings(0).minPosition, -5); }},
    {"SetSafeDirection", [](S& s, bool y, Out&) { return s.setSafeDirection(0, 0, y); },
     [](const Words& w) { return gen1Packet(w[0], 0xB2, {0x01, 0}); }, nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) { EXPECT_EQ(m.settings(0).safeDirection, 0); }},
    {"SetScale", [](S& s, bool y, Out&) { return s.setScale(0, 12, 0, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x16, cat({{0x01}, le32(12), {0}})); }, nullptr, 0,
     nullptr, [](vxsim::ControllerModel& m) { EXPECT_EQ(m.settings(0).scaleShift, 12); }},
    {"SetSensorEnabledOnEveryPositioner", [](S& s, bool y, Out&) { return s.setSensorEnabled(1, y); },
     [](const Words& w) { return cat({gen1Packet(w[0], 0x91, {1}), gen1Packet(w[1], 0x91, {1})}); },
     nullptr, 0, nullptr, [](vxsim::ControllerModel& m) { EXPECT_EQ(m.sensorEnabled(), 1); }},
    {"SetSensorType", [](S& s, bool y, Out&) { return s.setSensorType(0, 255, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x61, {255}); }, nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) { EXPECT_EQ(m.sensorType(0), 255); }},
    {"SetStepWhileScan", [](S& s, bool y, Out&) { return s.setStepWhileScan(0, 1, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x32, {0x04, 0x04}); }, nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) { EXPECT_EQ(m.flags(0), 0x04); }},
    {"SetZeroForce", [](S& s, bool y, Out&) { return s.setZeroForce(2, y); },
     [](const Words& w) { return gen1Packet(w[2], 0x19, cat({{0x02}, zeros(8)})); }, nullptr, 0,
     nullptr, [](vxsim::ControllerModel& m) { EXPECT_EQ(m.force(2), 0); }},
    {"CalibrateSensor", [](S& s, bool y, Out&) { return s.calibrateSensor(0, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x83, {0, 0, 0}); }, nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) { EXPECT_EQ(m.status(0), vxsim::channelStatus::kCalibrating); }},
    {"FindReferenceMark", [](S& s, bool y, Out&) { return s.findReferenceMark(0, 5, 60000, 1, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x83, cat({{0x1B}, le16(60000)})); }, nullptr, 0,
     nullptr,
     [](vxsim::ControllerModel& m) {
         EXPECT_EQ(m.status(0), vxsim::channelStatus::kFindingReference);
     }},
    {"GotoAngleAbsolute",
     [](S& s, bool y, Out&) { return s.gotoAngle(1, 359999999, -32768, 60000, 0x88, y); },
     [](const Words& w) {
         return gen1Packet(w[1], 0x88, cat({le32(359999999), le16(-32768), le16(60000)}));
     },
     nullptr, 0, nullptr, nullptr},
    {"GotoAngleRelative",
     [](S& s, bool y, Out&) { return s.gotoAngle(1, -359999999, 32767, 0, 0x98, y); },
     [](const Words& w) { return gen1Packet(w[1], 0x98, cat({le32(-359999999), le16(32767), le16(0)})); },
     nullptr, 0, nullptr, nullptr},
    {"GotoGripperForceAbsolute",
     [](S& s, bool y, Out&) { return s.gotoGripperForceAbsolute(2, -100000, 225000, 500, y); },
     [](const Words& w) { return gen1Packet(w[2], 0x19, cat({{0x01}, le32(-100000), le32(225000)})); },
     nullptr, 0, nullptr, [](vxsim::ControllerModel& m) { EXPECT_EQ(m.force(2), -100000); }},
    {"GotoGripperOpeningAbsolute",
     [](S& s, bool y, Out&) { return s.gotoGripperOpeningAbsolute(2, 22500, 1, y); },
     [](const Words& w) { return gen1Packet(w[2], 0x96, cat({le16(22500), le32(1)})); }, nullptr, 0,
     nullptr, nullptr},
    {"GotoGripperOpeningRelative",
     [](S& s, bool y, Out&) { return s.gotoGripperOpeningRelative(2, -22500, 225000, y); },
     [](const Words& w) { return gen1Packet(w[2], 0xA6, cat({le16(-22500), le32(225000)})); }, nullptr,
     0, nullptr, nullptr},
    {"GotoPositionAbsolute",
     [](S& s, bool y, Out&) { return s.gotoPosition(0, 1500, 60000, false, y); },
     [](const Words& w) { return gen1Packet(w[0], 0xB6, cat({le32(1500), le16(60000)})); }, nullptr,
     0, nullptr,
     [](vxsim::ControllerModel& m) {
         EXPECT_TRUE(vxtest::waitUntil([&] {
             int32_t p = 0;
             return m.position(0, &p) == 0 && p == 1500;
         }));
     }},
    {"GotoPositionRelative", [](S& s, bool y, Out&) { return s.gotoPosition(0, -1, 0, true, y); },
     [](const Words& w) { return gen1Packet(w[0], 0xC6, cat({le32(-1), le16(0)})); }, nullptr, 0,
     nullptr, nullptr},
    {"ScanMoveAbsolute",
     [](S& s, bool y, Out&) { return s.scanMoveAbsolute(0, 4095, static_cast<int32_t>(4095000000u), y); },
     [](const Words& w) { return gen1Packet(w[0], 0x96, cat({le16(4095), le32(4095000000u)})); },
     nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) {
         EXPECT_TRUE(vxtest::waitUntil([&] { return m.voltageLevel(0) == 4095; }));
     }},
    {"ScanMoveRelative", [](S& s, bool y, Out&) { return s.scanMoveRelative(0, -32768, 1000, y); },
     [](const Words& w) { return gen1Packet(w[0], 0xA6, cat({le16(-32768), le32(1000)})); }, nullptr,
     0, nullptr, nullptr},
    {"StepMove", [](S& s, bool y, Out&) { return s.stepMove(0, -30000, 4095, 20000, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x86, cat({le16(-30000), le16(4095), le16(20000)})); },
     nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) { EXPECT_EQ(m.status(0), vxsim::channelStatus::kStepping); }},
    {"StopAnyChannel", [](S& s, bool y, Out&) { return s.stop(2, y); },
     [](const Words& w) { return gen1Packet(w[2], 0x80); }, nullptr, 0, nullptr, nullptr},
    {"GetStatusOfAnyChannel", [](S& s, bool y, Out& o) { return s.getStatus(2, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[2], 0xA0); },
     [](const Out& o) { EXPECT_EQ(o.u[0], 0u); }, 4,
     [](const VX_packet& p) {
         EXPECT_EQ(p.data1, 0u);
         EXPECT_EQ(p.channelIndex, 2u);
     },
     nullptr},
    {"GetPosition", [](S& s, bool y, Out& o) { return s.getPosition(0, y, &o.i[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0x90); },
     [](const Out& o) { EXPECT_EQ(o.i[0], -99); }, 2,
     [](const VX_packet& p) { EXPECT_EQ(p.data2, -99); }, nullptr},
    {"GetAngle", [](S& s, bool y, Out& o) { return s.getAngle(1, y, &o.u[0], &o.i[0]); },
     [](const Words& w) { return gen1Packet(w[1], 0x70); },
     [](const Out& o) {
         EXPECT_EQ(o.u[0], 270000000u);
         EXPECT_EQ(o.i[0], -1);
     },
     5,
     [](const VX_packet& p) {
         EXPECT_EQ(p.data1, 270000000u);
         EXPECT_EQ(p.data2, -1);
         EXPECT_EQ(p.channelIndex, 1u);
     },
     nullptr},
    {"GetCaptureBuffer", [](S& s, bool y, Out& o) { return s.getCaptureBuffer(0, 7, y, &o.record); },
     [](const Words& w) { return gen1Packet(w[0], 0x1B, cat({{7}, zeros(10)})); },
     [](const Out& o) {
         EXPECT_EQ(o.record.packetType, 20u);
         EXPECT_EQ(o.record.channelIndex, 0u);
         EXPECT_EQ(o.record.data1, 7u);
         EXPECT_EQ(o.record.data4, 1007u);
         EXPECT_EQ(o.record.data2, -70007);
         EXPECT_EQ(o.record.data3, -8);
     },
     20,
     [](const VX_packet& p) {
         EXPECT_EQ(p.data1, 7u);
         EXPECT_EQ(p.data4, 1007u);
         EXPECT_EQ(p.data2, -70007);
         EXPECT_EQ(p.data3, -8);
     },
     nullptr},
    {"GetForce", [](S& s, bool y, Out& o) { return s.getForce(2, y, &o.i[0]); },
     [](const Words& w) { return gen1Packet(w[2], 0x19, cat({{0x00}, zeros(8)})); },
     [](const Out& o) { EXPECT_EQ(o.i[0], -500); }, 11,
     [](const VX_packet& p) { EXPECT_EQ(p.data2, -500); }, nullptr},
    {"GetGripperOpening", [](S& s, bool y, Out& o) { return s.getGripperOpening(2, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[2], 0xC0); },
     [](const Out& o) { EXPECT_EQ(o.u[0], 1500u); }, 10,
     [](const VX_packet& p) { EXPECT_EQ(p.data1, 1500u); }, nullptr},
    {"GetPhysicalPositionKnown",
     [](S& s, bool y, Out& o) { return s.getPhysicalPositionKnown(0, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0x71, {0}); },
     [](const Out& o) { EXPECT_EQ(o.u[0], 0u); }, 13,
     [](const VX_packet& p) { EXPECT_EQ(p.data1, 0u); }, nullptr},
    {"GetVoltageLevel", [](S& s, bool y, Out& o) { return s.getVoltageLevel(0, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0xC0); },
     [](const Out& o) { EXPECT_EQ(o.u[0], 1234u); }, 6,
     [](const VX_packet& p) { EXPECT_EQ(p.data1, 1234u); }, nullptr},
    {"SetDebuggingEnabled", [](S& s, bool y, Out&) { return s.setDebuggingEnabled(2, 1, y); },
     [](const Words& w) { return gen1Packet(w[2], 0x32, {0x80, 0x80}); }, nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) { EXPECT_EQ(m.flags(2), 0x80); }},
    {"ReadDebugValue", [](S& s, bool y, Out& o) { return s.readDebugValue(0, 3, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0x41, {3}); },
     [](const Out& o) { EXPECT_EQ(o.u[0], uint32_t(-5)); }, 250,
     [](const VX_packet& p) {
         EXPECT_EQ(p.data1, 3u);
         EXPECT_EQ(p.data2, -5);
     },
     nullptr},
    {"WriteDebugValue", [](S& s, bool y, Out&) { return s.writeDebugValue(0, 255, -1, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x45, cat({{255}, le32(-1)})); }, nullptr, 0,
     nullptr,
     [](vxsim::ControllerModel& m) {
         EXPECT_EQ(m.tableValue(0, vxsim::ControllerModel::Table::Debug, 255), -1);
     }},
    {"ReadTuningParameter", [](S& s, bool y, Out& o) { return s.readTuningParameter(0, 4, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0x51, {4}); },
     [](const Out& o) { EXPECT_EQ(o.u[0], 99u); }, 251,
     [](const VX_packet& p) {
         EXPECT_EQ(p.data1, 4u);
         EXPECT_EQ(p.data2, 99);
     },
     nullptr},
    {"WriteTuningParameter", [](S& s, bool y, Out&) { return s.writeTuningParameter(0, 4, 10, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x55, cat({{4}, le32(10)})); }, nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) {
         EXPECT_EQ(m.tableValue(0, vxsim::ControllerModel::Table::Tuning, 4), 10);
     }},
    {"ReadConfigParameter", [](S& s, bool y, Out& o) { return s.readConfigParameter(0, 5, y, &o.u[0]); },
     [](const Words& w) { return gen1Packet(w[0], 0xD1, {5}); },
     [](const Out& o) { EXPECT_EQ(o.u[0], uint32_t(-77)); }, 251,
     [](const VX_packet& p) {
         EXPECT_EQ(p.data1, 5u);
         EXPECT_EQ(p.data2, -77);
     },
     nullptr},
    {"WriteConfigParameter", [](S& s, bool y, Out&) { return s.writeConfigParameter(0, 5, -3, y); },
     [](const Words& w) { return gen1Packet(w[0], 0xD5, cat({{5}, le32(-3)})); }, nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) {
         EXPECT_EQ(m.tableValue(0, vxsim::ControllerModel::Table::Config, 5), -3);
     }},
    {"WriteCustomSensorTypeConfiguration",
     [](S& s, bool y, Out&) { return s.writeCustomSensorTypeConfiguration(0, 77, y); },
     [](const Words& w) { return gen1Packet(w[0], 0x42, {0, 0}); }, nullptr, 0, nullptr,
     [](vxsim::ControllerModel& m) { EXPECT_EQ(m.customSensorConfigurations(0), 1u); }},
};

}  // namespace

class ChannelOperations : public Gen1Test,
                          public ::testing::WithParamInterface<std::tuple<Row, bool>> {
protected:
    const Row& row() const { return std::get<0>(GetParam()); }
    bool sync() const { return std::get<1>(GetParam()); }
    Words words() const { return {word(0), word(1), word(2)}; }
};

TEST_P(ChannelOperations, SendExactlyTheRequestAndDecodeTheAnswer) {
    simulateTcp(channelSetup());
    prepare(model());
    ASSERT_EQ(openTcp(sync() ? "" : "async"), 0u);
    ASSERT_TRUE(vxtest::waitUntil([&] { return model().synchronous() == sync(); }));
    endpoint().clearRequests();

    Out out;
    ASSERT_EQ(row().call(*system, sync(), out), 0u);
    const Bytes expected = row().request(words());
    size_t count = 0;
    for (size_t at = 0; at < expected.size(); at += qmx::packetLength(expected[at + 2])) ++count;
    ASSERT_TRUE(endpoint().waitForRequests(count, 2000ms));
    Bytes sent;
    for (const Bytes& r : endpoint().requests()) sent.insert(sent.end(), r.begin(), r.end());
    EXPECT_EQ(sent, expected);

    if (sync() && row().outputs) row().outputs(out);
    if (!sync()) {
        EXPECT_EQ(out.u[0], 0u) << "an asynchronous call writes no output";
        EXPECT_EQ(out.i[0], 0);
        EXPECT_EQ(out.record.packetType, 0u);
        if (row().packetType != 0) {
            VX_packet packet{};
            ASSERT_EQ(system->receiveNextPacket(2000, &packet, true), 0u);
            EXPECT_EQ(packet.packetType, row().packetType);
            if (row().packet) row().packet(packet);
        }
    }
    if (row().effect) row().effect(model());
    VX_packet rest{};
    if (!sync()) {
        EXPECT_EQ(system->receiveNextPacket(0, &rest, true), 0u);
        EXPECT_EQ(rest.packetType, 0u) << "commands are not confirmed in asynchronous mode";
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryOperation, ChannelOperations, ::testing::Combine(::testing::ValuesIn(kRows), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<Row, bool>>& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "Sync" : "Async");
    });

}  // namespace gen1test
