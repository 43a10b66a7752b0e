// Debugging switch, debug values, tuning and configuration parameters.

#include "api/exports/ExportTable.h"

using namespace qmx::exports;
using qmx::SystemBase;

// clang-format off
//        twins                      _S  _A  operation                              operation arguments
QMX_TWINS(VX_SetDebuggingEnabled,    3,  3,  &SystemBase::setDebuggingEnabled,      In, In, Flag)
QMX_TWINS(VX_ReadDebugValue,         4,  3,  &SystemBase::readDebugValue,           In, In, Flag, Out)
QMX_TWINS(VX_WriteDebugValue,        4,  4,  &SystemBase::writeDebugValue,          In, In, In, Flag)
QMX_TWINS(VX_ReadTuningParameter,    4,  3,  &SystemBase::readTuningParameter,      In, In, Flag, Out)
QMX_TWINS(VX_WriteTuningParameter,   4,  4,  &SystemBase::writeTuningParameter,     In, In, In, Flag)
QMX_TWINS(VX_ReadConfigParameter,    4,  3,  &SystemBase::readConfigParameter,      In, In, Flag, Out)
QMX_TWINS(VX_WriteConfigParameter,   4,  4,  &SystemBase::writeConfigParameter,     In, In, In, Flag)
// clang-format on
