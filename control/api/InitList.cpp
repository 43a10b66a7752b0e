#include <mutex>

#include "QMXControl.h"
#include "api/ExportFrame.h"
#include "api/InitSystems.h"
#include "api/Registry.h"
#include "common/Log.h"

namespace {

qmx::InitSystems initSystems() { return qmx::InitSystems(qmx::systemRegistry()); }

// The exports that read or change the init list or the init state hold the
// registry mutex through their return lines.
std::mutex* registryMutex() { return &qmx::systemRegistry().mutex(); }

// The one output of a query, logged only when it was written.
auto outputOnSuccess(const unsigned int* value) {
    return [value](qmx::LogValues& values, VX_STATUS status) {
        if (status == VX_OK) values.unsignedValue(*value);
    };
}

}  // namespace

using qmx::LogValues;

extern "C" QMX_API VX_STATUS VX_GetAvailableSystems(unsigned int* idList, unsigned int* count) {
    return qmx::runFramed(
        "VX_GetAvailableSystems", qmx::noArguments, [&] { return initSystems().availableSystems(idList, count); },
        qmx::noOutputs);
}

extern "C" QMX_API VX_STATUS VX_AddSystemToInitSystemsList(unsigned int systemId) {
    return qmx::runFramed(
        "VX_AddSystemToInitSystemsList", [&](LogValues& v) { v.unsignedValue(systemId); },
        [&] { return initSystems().addToListLocked(systemId); }, qmx::noOutputs, registryMutex());
}

extern "C" QMX_API VX_STATUS VX_ClearInitSystemsList(void) {
    return qmx::runFramed(
        "VX_ClearInitSystemsList", qmx::noArguments, [] { return initSystems().clearListLocked(); },
        qmx::noOutputs, registryMutex());
}

extern "C" QMX_API VX_STATUS VX_InitSystems(unsigned int configuration) {
    return qmx::runFramed(
        "VX_InitSystems", [&](LogValues& v) { v.hex(configuration); },
        [&] {
            qmx::readIniOnce();
            return initSystems().initialize(configuration);
        },
        qmx::noOutputs);
}

extern "C" QMX_API VX_STATUS VX_GetInitState(unsigned int* initState) {
    return qmx::runFramed(
        "VX_GetInitState", qmx::noArguments, [&] { return initSystems().stateLocked(initState); },
        outputOnSuccess(initState), registryMutex());
}

extern "C" QMX_API VX_STATUS VX_GetNumberOfSystems(unsigned int* numberOfSystems) {
    return qmx::runFramed(
        "VX_GetNumberOfSystems", qmx::noArguments,
        [&] { return initSystems().numberOfSystemsLocked(numberOfSystems); }, outputOnSuccess(numberOfSystems),
        registryMutex());
}

extern "C" QMX_API VX_STATUS VX_ReleaseSystems(void) {
    return qmx::runFramed(
        "VX_ReleaseSystems", qmx::noArguments,
        []() -> qmx::ExportResult {
            const VX_STATUS status = initSystems().release();
            if (status != VX_OK) return status;
            // The log ends with the systems, before this call's return line.
            qmx::runUnframed([] {
                qmx::stopLogging();
                return VX_STATUS{VX_OK};
            });
            return qmx::ExportResult::withoutReturnLine(0);
        },
        qmx::noOutputs);
}
