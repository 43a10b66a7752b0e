#include "systems/SystemVeltraxCTL.h"

namespace qmx {

namespace {

// Kinds of getFirmwareVersion.
constexpr uint32_t kInterfaceFirmware = 1;
constexpr uint32_t kChannelFirmware = 2;
constexpr uint32_t kChannelSecondFirmware = 3;
constexpr uint32_t kHandControlFirmware = 5;
constexpr uint32_t kEndEffectorFirmware = 9;

// The operations below have no second-generation form in this library yet.
VX_STATUS notServedYet() { return kOtherError; }

}  // namespace

VX_STATUS SystemVeltraxCTL::getDescription(std::string* text) {
    if (text) text->clear();
    return kOk;
}

VX_STATUS SystemVeltraxCTL::getFirmwareVersion(uint32_t kind, uint32_t index, uint32_t* version) {
    std::lock_guard<std::mutex> api(apiMutex_);
    switch (kind) {
    case kInterfaceFirmware:
        *version = interfaceFirmwareVersion_;
        return kOk;
    case kChannelFirmware:
    case kChannelSecondFirmware:
        if (mode_.load() == kClosed) return kUninitialized;
        if (index >= channels_.size()) return kInvalidChannelIndex;
        *version = kind == kChannelFirmware ? channels_[index].firmwareVersion1 : channels_[index].firmwareVersion2;
        return kOk;
    case kHandControlFirmware:
        if (handControlModuleFirmwareVersion_ == 0) return kOtherError;
        *version = handControlModuleFirmwareVersion_;
        return kOk;
    case kEndEffectorFirmware:
        return kWrongChannelType;
    default:
        return kInvalidParameter;
    }
}

VX_STATUS SystemVeltraxCTL::getNumberOfChannels(uint32_t* count) {
    std::lock_guard<std::mutex> api(apiMutex_);
    *count = static_cast<uint32_t>(channels_.size());
    return kOk;
}

VX_STATUS SystemVeltraxCTL::getSystemID(uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getChannelType(uint32_t, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getChannelSerialNumber(uint32_t, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getPositionerTypeList(uint32_t*, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getPositionerTypeName(uint32_t, char*, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getPositionerTypeProperty(uint32_t, uint32_t, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setBufferedOutput(uint32_t) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getBufferedOutput(uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::flushOutput() { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getAngleLimit(uint32_t, bool, uint32_t*, int32_t*, uint32_t*, int32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getChannelProperty(uint32_t, uint32_t, bool, int32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getClosedLoopMoveAcceleration(uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getClosedLoopMoveSpeed(uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getEndEffectorType(uint32_t, bool, uint32_t*, int32_t*, int32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getPositionLimit(uint32_t, bool, int32_t*, int32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getSafeDirection(uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getScale(uint32_t, bool, int32_t*, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getSensorEnabled(bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getSensorType(uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getPositionerType(uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setAccumulateRelativePositions(uint32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setAngleLimit(uint32_t, uint32_t, int32_t, uint32_t, int32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setChannelProperty(uint32_t, uint32_t, int32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setClosedLoopMaxFrequency(uint32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setClosedLoopMoveAcceleration(uint32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setClosedLoopMoveSpeed(uint32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setEndEffectorType(uint32_t, uint32_t, int32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setPosition(uint32_t, int32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setPositionLimit(uint32_t, int32_t, int32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setReportOnComplete(uint32_t, uint32_t) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setReportOnTriggered(uint32_t, uint32_t) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setSafeDirection(uint32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setScale(uint32_t, int32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setSensorEnabled(uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setSensorType(uint32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setStepWhileScan(uint32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setZeroForce(uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::appendTriggeredCommand(uint32_t, int32_t) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::clearTriggeredCommandQueue(uint32_t) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::calibrateSensor(uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::findReferenceMark(uint32_t, uint32_t, uint32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::gotoAngle(uint32_t, int32_t, int32_t, uint32_t, uint8_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::gotoGripperForceAbsolute(uint32_t, int32_t, int32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::gotoGripperOpeningAbsolute(uint32_t, uint32_t, int32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::gotoGripperOpeningRelative(uint32_t, int32_t, int32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::gotoPosition(uint32_t, int32_t, uint32_t, bool, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::scanMoveAbsolute(uint32_t, uint32_t, int32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::scanMoveRelative(uint32_t, int32_t, int32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::stepMove(uint32_t, int32_t, uint32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::stop(uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::triggerCommand(uint32_t) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getStatus(uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getPosition(uint32_t, bool, int32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getAngle(uint32_t, bool, uint32_t*, int32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getCaptureBuffer(uint32_t, uint32_t, bool, VX_packet*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getForce(uint32_t, bool, int32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getGripperOpening(uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getPhysicalPositionKnown(uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getVoltageLevel(uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setHCMEnabled(uint32_t) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::setDebuggingEnabled(uint32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::readDebugValue(uint32_t, uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::writeDebugValue(uint32_t, uint32_t, int32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::readTuningParameter(uint32_t, uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::writeTuningParameter(uint32_t, uint32_t, int32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::readConfigParameter(uint32_t, uint32_t, bool, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::writeConfigParameter(uint32_t, uint32_t, int32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::writeSpeedLevelTableSize(int32_t) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::readSpeedLevelTableSize(uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::writeSpeedLevelTableEntry(uint32_t, uint32_t, uint32_t, uint32_t) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::readSpeedLevelTableEntry(int32_t, uint32_t*, uint32_t*, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::writeSpeedLevelTableToEEPROM() { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::getFeaturePermissions(uint32_t, uint8_t*, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::readHCMConfigSlot(uint32_t, uint8_t*, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::writeHCMConfigSlot(uint32_t, const uint8_t*, uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::readHCMEepromType(uint32_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::writeCustomSensorTypeConfiguration(uint32_t, uint32_t, bool) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::readIndexFromIndexMap(uint8_t, uint8_t*) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::writeIndexToIndexMap(uint8_t, uint8_t) { return notServedYet(); }
VX_STATUS SystemVeltraxCTL::finalizeIndexMap() { return notServedYet(); }

}  // namespace qmx
