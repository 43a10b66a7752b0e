// Speed level table of the hand control module; always waits, no twins.

#include "api/exports/ExportTable.h"

using namespace qmx::exports;
using qmx::SystemBase;

// clang-format off
//         export                              C params  frame policy  operation                                      operation arguments
QMX_EXPORT(VX_WriteSpeedLevelTableSize_S,      2,        Plain,        &SystemBase::writeSpeedLevelTableSize,         In)
QMX_EXPORT(VX_ReadSpeedLevelTableSize_S,       2,        Plain,        &SystemBase::readSpeedLevelTableSize,          Out)
QMX_EXPORT(VX_WriteSpeedLevelTableEntry_S,     5,        Plain,        &SystemBase::writeSpeedLevelTableEntry,        In, In, In, In)
QMX_EXPORT(VX_ReadSpeedLevelTableEntry_S,      5,        Plain,        &SystemBase::readSpeedLevelTableEntry,         In, Out, Out, Out)
QMX_EXPORT(VX_WriteSpeedLevelTableToEEPROM_S,  1,        Plain,        &SystemBase::writeSpeedLevelTableToEEPROM)
// clang-format on
