// System and channel queries. The positioner-type queries answer from the
// library's own table when given VX_NO_SYSTEM; the system ID exists only for
// systems of an initialised init list.

#include "api/exports/ExportTable.h"
#include "common/PositionerTypes.h"

using namespace qmx::exports;
using qmx::SystemBase;

// clang-format off
//         export                         C params  frame policy                                       operation                                   operation arguments
QMX_EXPORT(VX_GetNumberOfChannels,        2,        Plain,                                             &SystemBase::getNumberOfChannels,           Out)
QMX_EXPORT(VX_GetChannelType,             3,        Plain,                                             &SystemBase::getChannelType,                In, Out)
QMX_EXPORT(VX_GetPositionerTypeList,      3,        LibraryTableWithoutSystem<&qmx::listPositionerTypes>,    &SystemBase::getPositionerTypeList,     Quiet, Quiet)
QMX_EXPORT(VX_GetPositionerTypeName,      4,        LibraryTableWithoutSystem<&qmx::positionerTypeName>,     &SystemBase::getPositionerTypeName,     In, Quiet, Quiet)
QMX_EXPORT(VX_GetPositionerTypeProperty,  4,        LibraryTableWithoutSystem<&qmx::positionerTypeProperty>, &SystemBase::getPositionerTypeProperty, In, In, Quiet)
QMX_EXPORT(VX_GetSystemID,                2,        InitListSystem,                                    &SystemBase::getSystemID,                   Out)
// clang-format on
