// Feedback exports: channel state read with or without waiting.

#include "api/exports/ExportTable.h"

using namespace qmx::exports;
using qmx::SystemBase;

// clang-format off
//        twins                          _S  _A  operation                                  operation arguments
QMX_TWINS(VX_GetStatus,                  3,  2,  &SystemBase::getStatus,                    In, Flag, Out)
QMX_TWINS(VX_GetPosition,                3,  2,  &SystemBase::getPosition,                  In, Flag, Out)
QMX_TWINS(VX_GetAngle,                   4,  2,  &SystemBase::getAngle,                     In, Flag, Out, Out)
QMX_TWINS(VX_GetCaptureBuffer,           4,  3,  &SystemBase::getCaptureBuffer,             In, In, Flag, Quiet)
QMX_TWINS(VX_GetForce,                   3,  2,  &SystemBase::getForce,                     In, Flag, Out)
QMX_TWINS(VX_GetGripperOpening,          3,  2,  &SystemBase::getGripperOpening,            In, Flag, Out)
QMX_TWINS(VX_GetPhysicalPositionKnown,   3,  2,  &SystemBase::getPhysicalPositionKnown,     In, Flag, Out)
QMX_TWINS(VX_GetVoltageLevel,            3,  2,  &SystemBase::getVoltageLevel,              In, Flag, Out)
// clang-format on
