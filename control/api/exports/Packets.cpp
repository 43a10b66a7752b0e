// Packet queue and buffered output of asynchronous systems. Looking and
// receiving share one operation told apart by its remove flag.

#include "api/exports/ExportTable.h"

using namespace qmx::exports;
using qmx::SystemBase;

namespace {
constexpr bool kKeep = false;
constexpr bool kRemove = true;
}  // namespace

// clang-format off
//         export                    C params  frame policy  operation                            operation arguments
QMX_EXPORT(VX_GetBufferedOutput_A,   2,        Plain,        &SystemBase::getBufferedOutput,      Out)
QMX_EXPORT(VX_SetBufferedOutput_A,   2,        Plain,        &SystemBase::setBufferedOutput,      In)
QMX_EXPORT(VX_FlushOutput_A,         1,        Plain,        &SystemBase::flushOutput)
QMX_EXPORT(VX_LookAtNextPacket_A,    3,        Plain,        &SystemBase::receiveNextPacket,      In, Quiet, Const<kKeep>)
QMX_EXPORT(VX_ReceiveNextPacket_A,   3,        Plain,        &SystemBase::receiveNextPacket,      In, Quiet, Const<kRemove>)
QMX_EXPORT(VX_CancelWaitForPacket_A, 1,        Plain,        &SystemBase::cancelWaitForPacket)
QMX_EXPORT(VX_DiscardPacket_A,       1,        Plain,        &SystemBase::discardPacket)
// clang-format on
