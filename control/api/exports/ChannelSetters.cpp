// Channel configuration setters; the operations check every value.

#include "api/exports/ExportTable.h"

using namespace qmx::exports;
using qmx::SystemBase;

// clang-format off
//        twins                              _S  _A  operation                                       operation arguments
QMX_TWINS(VX_SetAccumulateRelativePositions, 3,  3,  &SystemBase::setAccumulateRelativePositions,    In, In, Flag)
QMX_TWINS(VX_SetAngleLimit,                  6,  6,  &SystemBase::setAngleLimit,                     In, In, In, In, In, Flag)
QMX_TWINS(VX_SetChannelProperty,             4,  4,  &SystemBase::setChannelProperty,                In, InHex, In, Flag)
QMX_TWINS(VX_SetClosedLoopMaxFrequency,      3,  3,  &SystemBase::setClosedLoopMaxFrequency,         In, In, Flag)
QMX_TWINS(VX_SetClosedLoopMoveAcceleration,  3,  3,  &SystemBase::setClosedLoopMoveAcceleration,     In, In, Flag)
QMX_TWINS(VX_SetClosedLoopMoveSpeed,         3,  3,  &SystemBase::setClosedLoopMoveSpeed,            In, In, Flag)
QMX_TWINS(VX_SetEndEffectorType,             5,  5,  &SystemBase::setEndEffectorType,                In, In, In, In, Flag)
QMX_TWINS(VX_SetPosition,                    3,  3,  &SystemBase::setPosition,                       In, In, Flag)
QMX_TWINS(VX_SetPositionLimit,               4,  4,  &SystemBase::setPositionLimit,                  In, In, In, Flag)
QMX_TWINS(VX_SetSafeDirection,               3,  3,  &SystemBase::setSafeDirection,                  In, In, Flag)
QMX_TWINS(VX_SetScale,                       4,  4,  &SystemBase::setScale,                          In, In, In, Flag)
QMX_TWINS(VX_SetSensorEnabled,               2,  2,  &SystemBase::setSensorEnabled,                  In, Flag)
QMX_TWINS(VX_SetSensorType,                  3,  3,  &SystemBase::setSensorType,                     In, In, Flag)
QMX_TWINS(VX_SetStepWhileScan,               3,  3,  &SystemBase::setStepWhileScan,                  In, In, Flag)
QMX_TWINS(VX_SetZeroForce,                   2,  2,  &SystemBase::setZeroForce,                      In, Flag)

//         export                     C params  frame policy  operation                           operation arguments
QMX_EXPORT(VX_SetReportOnComplete_A,  3,        Plain,        &SystemBase::setReportOnComplete,   In, In)
QMX_EXPORT(VX_SetReportOnTriggered_A, 3,        Plain,        &SystemBase::setReportOnTriggered,  In, In)
// clang-format on
