// Channel configuration getters: the _S twin waits and fills the outputs,
// the _A twin only sends and its answer arrives as a packet.

#include "api/exports/ExportTable.h"

using namespace qmx::exports;
using qmx::SystemBase;

// clang-format off
//        twins                              _S  _A  operation                                       operation arguments
QMX_TWINS(VX_GetAngleLimit,                  6,  2,  &SystemBase::getAngleLimit,                     In, Flag, Out, Out, Out, Out)
QMX_TWINS(VX_GetChannelProperty,             4,  3,  &SystemBase::getChannelProperty,                In, InHex, Flag, Out)
QMX_TWINS(VX_GetClosedLoopMoveAcceleration,  3,  2,  &SystemBase::getClosedLoopMoveAcceleration,     In, Flag, Out)
QMX_TWINS(VX_GetClosedLoopMoveSpeed,         3,  2,  &SystemBase::getClosedLoopMoveSpeed,            In, Flag, Out)
QMX_TWINS(VX_GetEndEffectorType,             5,  2,  &SystemBase::getEndEffectorType,                In, Flag, Out, Out, Out)
QMX_TWINS(VX_GetPositionLimit,               4,  2,  &SystemBase::getPositionLimit,                  In, Flag, Out, Out)
QMX_TWINS(VX_GetSafeDirection,               3,  2,  &SystemBase::getSafeDirection,                  In, Flag, Out)
QMX_TWINS(VX_GetScale,                       4,  2,  &SystemBase::getScale,                          In, Flag, Out, Out)
QMX_TWINS(VX_GetSensorEnabled,               2,  1,  &SystemBase::getSensorEnabled,                  Flag, Out)
QMX_TWINS(VX_GetSensorType,                  3,  2,  &SystemBase::getSensorType,                     In, Flag, Out)
QMX_TWINS(VX_GetPositionerType,              3,  2,  &SystemBase::getPositionerType,                 In, Flag, Out)
// clang-format on
