#pragma once

#include <cstdint>
#include <string>

#include "QMXControl.h"
#include "common/StatusCodes.h"

namespace qmx {

// One open controller system behind the VX_ exports. Every operation returns
// a status and throws nothing; outputs are written only on success of a
// synchronous call. The export layer holds systems by shared pointer.
class SystemBase {
public:
    SystemBase() = default;
    virtual ~SystemBase() = default;
    SystemBase(const SystemBase&) = delete;
    SystemBase& operator=(const SystemBase&) = delete;

    const std::string& locator() const { return locator_; }
    const std::string& uniqueLocator() const { return uniqueLocator_; }

    virtual VX_STATUS open(const char* locator, const char* options) = 0;                      // 1
    virtual VX_STATUS close() = 0;                                                             // 2
    virtual VX_STATUS getDescription(std::string* text) = 0;                                   // 3
    virtual VX_STATUS getSystemID(uint32_t* id) = 0;                                           // 4
    virtual VX_STATUS getFirmwareVersion(uint32_t kind, uint32_t index, uint32_t* version) = 0; // 5
    virtual VX_STATUS getNumberOfChannels(uint32_t* count) = 0;                                // 6
    virtual VX_STATUS getChannelType(uint32_t channel, uint32_t* type) = 0;                    // 7
    virtual VX_STATUS getChannelSerialNumber(uint32_t channel, uint32_t* serial) = 0;          // 8
    virtual VX_STATUS getPositionerTypeList(uint32_t* list, uint32_t* size) = 0;               // 9
    virtual VX_STATUS getPositionerTypeName(uint32_t type, char* name, uint32_t* size) = 0;    // 10
    virtual VX_STATUS getPositionerTypeProperty(uint32_t type, uint32_t property,
                                                uint32_t* value) = 0;                          // 11
    virtual VX_STATUS setBufferedOutput(uint32_t mode) = 0;                                    // 12
    virtual VX_STATUS getBufferedOutput(uint32_t* mode) = 0;                                   // 13
    virtual VX_STATUS flushOutput() = 0;                                                       // 14
    virtual VX_STATUS cancelWaitForPacket() = 0;                                               // 15
    virtual VX_STATUS receiveNextPacket(uint32_t timeoutMs, VX_packet* packet, bool remove) = 0; // 16
    virtual VX_STATUS discardPacket() = 0;                                                     // 17
    virtual VX_STATUS getAngleLimit(uint32_t channel, bool sync, uint32_t* minAngle,
                                    int32_t* minRevolution, uint32_t* maxAngle,
                                    int32_t* maxRevolution) = 0;                               // 18
    virtual VX_STATUS getChannelProperty(uint32_t channel, uint32_t key, bool sync,
                                         int32_t* value) = 0;                                  // 19
    virtual VX_STATUS getClosedLoopMoveAcceleration(uint32_t channel, bool sync,
                                                    uint32_t* acceleration) = 0;               // 20
    virtual VX_STATUS getClosedLoopMoveSpeed(uint32_t channel, bool sync, uint32_t* speed) = 0; // 21
    virtual VX_STATUS getEndEffectorType(uint32_t channel, bool sync, uint32_t* type,
                                         int32_t* param1, int32_t* param2) = 0;                // 22
    virtual VX_STATUS getPositionLimit(uint32_t channel, bool sync, int32_t* min,
                                       int32_t* max) = 0;                                      // 23
    virtual VX_STATUS getSafeDirection(uint32_t channel, bool sync, uint32_t* direction) = 0;  // 24
    virtual VX_STATUS getScale(uint32_t channel, bool sync, int32_t* shift,
                               uint32_t* inverted) = 0;                                        // 25
    virtual VX_STATUS getSensorEnabled(bool sync, uint32_t* mode) = 0;                         // 26
    virtual VX_STATUS getSensorType(uint32_t channel, bool sync, uint32_t* type) = 0;          // 27
    virtual VX_STATUS getPositionerType(uint32_t channel, bool sync, uint32_t* type) = 0;      // 28
    virtual VX_STATUS setAccumulateRelativePositions(uint32_t channel, uint32_t value,
                                                     bool sync) = 0;                           // 29
    virtual VX_STATUS setAngleLimit(uint32_t channel, uint32_t minAngle, int32_t minRevolution,
                                    uint32_t maxAngle, int32_t maxRevolution, bool sync) = 0;  // 30
    virtual VX_STATUS setChannelProperty(uint32_t channel, uint32_t key, int32_t value,
                                         bool sync) = 0;                                       // 31
    virtual VX_STATUS setClosedLoopMaxFrequency(uint32_t channel, uint32_t frequency,
                                                bool sync) = 0;                                // 32
    virtual VX_STATUS setClosedLoopMoveAcceleration(uint32_t channel, uint32_t acceleration,
                                                    bool sync) = 0;                            // 33
    virtual VX_STATUS setClosedLoopMoveSpeed(uint32_t channel, uint32_t speed, bool sync) = 0; // 34
    virtual VX_STATUS setEndEffectorType(uint32_t channel, uint32_t type, int32_t param1,
                                         uint32_t param2, bool sync) = 0;                      // 35
    virtual VX_STATUS setPosition(uint32_t channel, int32_t position, bool sync) = 0;          // 36
    virtual VX_STATUS setPositionLimit(uint32_t channel, int32_t min, int32_t max,
                                       bool sync) = 0;                                         // 37
    virtual VX_STATUS setReportOnComplete(uint32_t channel, uint32_t value) = 0;               // 38
    virtual VX_STATUS setReportOnTriggered(uint32_t channel, uint32_t value) = 0;              // 39
    virtual VX_STATUS setSafeDirection(uint32_t channel, uint32_t direction, bool sync) = 0;   // 40
    virtual VX_STATUS setScale(uint32_t channel, int32_t shift, uint32_t inverted,
                               bool sync) = 0;                                                 // 41
    virtual VX_STATUS setSensorEnabled(uint32_t mode, bool sync) = 0;                          // 42
    virtual VX_STATUS setSensorType(uint32_t channel, uint32_t type, bool sync) = 0;           // 43
    virtual VX_STATUS setStepWhileScan(uint32_t channel, uint32_t value, bool sync) = 0;       // 44
    virtual VX_STATUS setZeroForce(uint32_t channel, bool sync) = 0;                           // 45
    virtual VX_STATUS appendTriggeredCommand(uint32_t channel, int32_t value) = 0;             // 46
    virtual VX_STATUS clearTriggeredCommandQueue(uint32_t channel) = 0;                        // 47
    virtual VX_STATUS calibrateSensor(uint32_t channel, bool sync) = 0;                        // 48
    virtual VX_STATUS findReferenceMark(uint32_t channel, uint32_t direction, uint32_t holdTime,
                                        uint32_t autoZero, bool sync) = 0;                     // 49
    virtual VX_STATUS gotoAngle(uint32_t channel, int32_t angle, int32_t revolution,
                                uint32_t holdTime, uint8_t opcode, bool sync) = 0;             // 50
    virtual VX_STATUS gotoGripperForceAbsolute(uint32_t channel, int32_t force, int32_t speed,
                                               uint32_t holdTime, bool sync) = 0;              // 51
    virtual VX_STATUS gotoGripperOpeningAbsolute(uint32_t channel, uint32_t opening,
                                                 int32_t speed, bool sync) = 0;                // 52
    virtual VX_STATUS gotoGripperOpeningRelative(uint32_t channel, int32_t difference,
                                                 int32_t speed, bool sync) = 0;                // 53
    virtual VX_STATUS gotoPosition(uint32_t channel, int32_t position, uint32_t holdTime,
                                   bool relative, bool sync) = 0;                              // 54
    virtual VX_STATUS scanMoveAbsolute(uint32_t channel, uint32_t target, int32_t scanSpeed,
                                       bool sync) = 0;                                         // 55
    virtual VX_STATUS scanMoveRelative(uint32_t channel, int32_t difference, int32_t scanSpeed,
                                       bool sync) = 0;                                         // 56
    virtual VX_STATUS stepMove(uint32_t channel, int32_t steps, uint32_t amplitude,
                               uint32_t frequency, bool sync) = 0;                             // 57
    virtual VX_STATUS stop(uint32_t channel, bool sync) = 0;                                   // 58
    virtual VX_STATUS triggerCommand(uint32_t value) = 0;                                      // 59
    virtual VX_STATUS getStatus(uint32_t channel, bool sync, uint32_t* status) = 0;            // 60
    virtual VX_STATUS getPosition(uint32_t channel, bool sync, int32_t* position) = 0;         // 61
    virtual VX_STATUS getAngle(uint32_t channel, bool sync, uint32_t* angle,
                               int32_t* revolution) = 0;                                       // 62
    virtual VX_STATUS getCaptureBuffer(uint32_t channel, uint32_t bufferIndex, bool sync,
                                       VX_packet* record) = 0;                                 // 63
    virtual VX_STATUS getForce(uint32_t channel, bool sync, int32_t* force) = 0;               // 64
    virtual VX_STATUS getGripperOpening(uint32_t channel, bool sync, uint32_t* opening) = 0;   // 65
    virtual VX_STATUS getPhysicalPositionKnown(uint32_t channel, bool sync, uint32_t* known) = 0; // 66
    virtual VX_STATUS getVoltageLevel(uint32_t channel, bool sync, uint32_t* level) = 0;       // 67
    virtual VX_STATUS setHCMEnabled(uint32_t mode) = 0;                                        // 68
    virtual VX_STATUS setDebuggingEnabled(uint32_t channel, uint32_t enabled, bool sync) = 0;  // 69
    virtual VX_STATUS readDebugValue(uint32_t channel, uint32_t index, bool sync,
                                     uint32_t* value) = 0;                                     // 70
    virtual VX_STATUS writeDebugValue(uint32_t channel, uint32_t index, int32_t value,
                                      bool sync) = 0;                                          // 71
    virtual VX_STATUS readTuningParameter(uint32_t channel, uint32_t index, bool sync,
                                          uint32_t* value) = 0;                                // 72
    virtual VX_STATUS writeTuningParameter(uint32_t channel, uint32_t index, int32_t value,
                                           bool sync) = 0;                                     // 73
    virtual VX_STATUS readConfigParameter(uint32_t channel, uint32_t index, bool sync,
                                          uint32_t* value) = 0;                                // 74
    virtual VX_STATUS writeConfigParameter(uint32_t channel, uint32_t index, int32_t value,
                                           bool sync) = 0;                                     // 75
    virtual VX_STATUS writeSpeedLevelTableSize(int32_t size) = 0;                              // 76
    virtual VX_STATUS readSpeedLevelTableSize(uint32_t* size) = 0;                             // 77
    virtual VX_STATUS writeSpeedLevelTableEntry(uint32_t index, uint32_t value1, uint32_t value2,
                                                uint32_t value3) = 0;                          // 78
    virtual VX_STATUS readSpeedLevelTableEntry(int32_t index, uint32_t* value1, uint32_t* value2,
                                               uint32_t* value3) = 0;                          // 79
    virtual VX_STATUS writeSpeedLevelTableToEEPROM() = 0;                                      // 80
    virtual VX_STATUS getFeaturePermissions(uint32_t channel, uint8_t* bytes,
                                            uint32_t* size) = 0;                               // 81
    virtual VX_STATUS readHCMConfigSlot(uint32_t slot, uint8_t* data, uint32_t* size) = 0;     // 82
    virtual VX_STATUS writeHCMConfigSlot(uint32_t slot, const uint8_t* data,
                                         uint32_t* size) = 0;                                  // 83
    virtual VX_STATUS readHCMEepromType(uint32_t* type) = 0;                                   // 84
    virtual VX_STATUS writeCustomSensorTypeConfiguration(uint32_t channel, uint32_t value,
                                                         bool sync) = 0;                       // 85
    virtual VX_STATUS readIndexFromIndexMap(uint8_t index, uint8_t* value) = 0;                // 86
    virtual VX_STATUS writeIndexToIndexMap(uint8_t index, uint8_t value) = 0;                  // 87
    virtual VX_STATUS finalizeIndexMap() = 0;                                                  // 88

protected:
    std::string locator_;
    std::string uniqueLocator_;
};

}  // namespace qmx
