#include "QMXApplicationProtocol.h"

namespace vxfw {

int32_t QMXApplicationProtocol::getClosedLoopMaxFrequency(int32_t channel) {
    return readTuningParameter(channel, kClosedLoopMaxFrequency);
}

void QMXApplicationProtocol::setClosedLoopMaxFrequency(int32_t channel, int32_t value) {
    writeTuningParameter(channel, kClosedLoopMaxFrequency, value);
}

bool QMXApplicationProtocol::getDynamicAmplitudeDetection(int32_t channel) {
    return readTuningParameter(channel, kDynamicAmplitudeDetection) != 0;
}

void QMXApplicationProtocol::setDynamicAmplitudeDetection(int32_t channel, bool on) {
    writeTuningParameter(channel, kDynamicAmplitudeDetection, on ? 1 : 0);
}

bool QMXApplicationProtocol::getDistanceCodeInverted(int32_t channel) {
    return readTuningParameter(channel, kDistanceCodeInverted) != 0;
}

void QMXApplicationProtocol::setDistanceCodeInverted(int32_t channel, bool inverted) {
    writeTuningParameter(channel, kDistanceCodeInverted, inverted ? 1 : 0);
}

int32_t QMXApplicationProtocol::getPhysicalScaleOffset(int32_t channel) {
    return readTuningParameter(channel, kPhysicalScaleOffset);
}

void QMXApplicationProtocol::setPhysicalScaleOffset(int32_t channel, int32_t value) {
    writeTuningParameter(channel, kPhysicalScaleOffset, value);
}

}  // namespace vxfw
