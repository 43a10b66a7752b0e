// Movement and trigger exports. The angle moves share one operation told
// apart by its command byte, the position moves by their relative flag.

#include "api/exports/ExportTable.h"

using namespace qmx::exports;
using qmx::SystemBase;

namespace {
constexpr uint8_t kAbsoluteAngleMove = 0x88;
constexpr uint8_t kRelativeAngleMove = 0x98;
constexpr bool kAbsolute = false;
constexpr bool kRelative = true;
}  // namespace

// clang-format off
//        twins                             _S  _A  operation                                     operation arguments
QMX_TWINS(VX_CalibrateSensor,               2,  2,  &SystemBase::calibrateSensor,                 In, Flag)
QMX_TWINS(VX_FindReferenceMark,             5,  5,  &SystemBase::findReferenceMark,               In, In, In, In, Flag)
QMX_TWINS(VX_GotoAngleAbsolute,             5,  5,  &SystemBase::gotoAngle,                       In, In, In, In, Const<kAbsoluteAngleMove>, Flag)
QMX_TWINS(VX_GotoAngleRelative,             5,  5,  &SystemBase::gotoAngle,                       In, In, In, In, Const<kRelativeAngleMove>, Flag)
QMX_TWINS(VX_GotoGripperForceAbsolute,      5,  5,  &SystemBase::gotoGripperForceAbsolute,        In, In, In, In, Flag)
QMX_TWINS(VX_GotoGripperOpeningAbsolute,    4,  4,  &SystemBase::gotoGripperOpeningAbsolute,      In, In, In, Flag)
QMX_TWINS(VX_GotoGripperOpeningRelative,    4,  4,  &SystemBase::gotoGripperOpeningRelative,      In, In, In, Flag)
QMX_TWINS(VX_GotoPositionAbsolute,          4,  4,  &SystemBase::gotoPosition,                    In, In, In, Const<kAbsolute>, Flag)
QMX_TWINS(VX_GotoPositionRelative,          4,  4,  &SystemBase::gotoPosition,                    In, In, In, Const<kRelative>, Flag)
QMX_TWINS(VX_ScanMoveAbsolute,              4,  4,  &SystemBase::scanMoveAbsolute,                In, In, In, Flag)
QMX_TWINS(VX_ScanMoveRelative,              4,  4,  &SystemBase::scanMoveRelative,                In, In, In, Flag)
QMX_TWINS(VX_StepMove,                      5,  5,  &SystemBase::stepMove,                        In, In, In, In, Flag)
QMX_TWINS(VX_Stop,                          2,  2,  &SystemBase::stop,                            In, Flag)

//         export                            C params  frame policy  operation                                 operation arguments
QMX_EXPORT(VX_AppendTriggeredCommand_A,      3,        Plain,        &SystemBase::appendTriggeredCommand,      In, In)
QMX_EXPORT(VX_ClearTriggeredCommandQueue_A,  2,        Plain,        &SystemBase::clearTriggeredCommandQueue,  In)
QMX_EXPORT(VX_TriggerCommand_A,              2,        Plain,        &SystemBase::triggerCommand,              In)
// clang-format on
