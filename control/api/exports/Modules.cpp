// Firmware versions, serial numbers, feature permissions, the hand control
// module, custom sensor types and the interface module's index map.

#include "api/exports/ExportTable.h"

using namespace qmx::exports;
using qmx::SystemBase;

// clang-format off
//         export                      C params  frame policy       operation                                operation arguments
QMX_EXPORT(VX_SetHCMEnabled,           2,        Plain,             &SystemBase::setHCMEnabled,              In)
QMX_EXPORT(VX_GetFirmwareVersion,      4,        SystemIndexSecond, &SystemBase::getFirmwareVersion,         In, In, OutHex)
QMX_EXPORT(VX_GetChannelSerialNumber,  3,        SilentWhenUnknown, &SystemBase::getChannelSerialNumber,     In, Out)
QMX_EXPORT(VX_GetFeaturePermissions,   4,        Plain,             &SystemBase::getFeaturePermissions,      In, BytesHex, Size)
QMX_EXPORT(VX_ReadHCMConfigSlot_S,     4,        Plain,             &SystemBase::readHCMConfigSlot,          In, BytesAsCharacters, Size)
QMX_EXPORT(VX_WriteHCMConfigSlot_S,    4,        Plain,             &SystemBase::writeHCMConfigSlot,         In, BytesAsCharacters, Size)
QMX_EXPORT(VX_ReadHCMEepromType_S,     2,        Plain,             &SystemBase::readHCMEepromType,          Out)
QMX_EXPORT(VX_ReadIndexFromIndexMap,   3,        Plain,             &SystemBase::readIndexFromIndexMap,      In, Quiet)
QMX_EXPORT(VX_WriteIndexToIndexMap,    3,        Plain,             &SystemBase::writeIndexToIndexMap,       In, In)
QMX_EXPORT(VX_FinalizeIndexMap,        1,        Plain,             &SystemBase::finalizeIndexMap)

//        twins                                    _S  _A  operation                                                operation arguments
QMX_TWINS(VX_WriteCustomSensorTypeConfiguration,   3,  3,  &SystemBase::writeCustomSensorTypeConfiguration,         In, In, Flag)
// clang-format on
