#include "core/Transports.h"

namespace vxio {

const Transport* transportOfKind(std::string_view kind) {
    for (const Transport* transport : kTransports) {
        if (transport->kind == kind) return transport;
    }
    return nullptr;
}

const Transport* transportOfType(int interfaceType) {
    for (const Transport* transport : kTransports) {
        if (transport->interfaceType == interfaceType) return transport;
    }
    return nullptr;
}

VX_IO_Result applyGlobalOptions(const Options& options) {
    for (const Transport* transport : kTransports) {
        if (transport->applyGlobalOptions == nullptr) continue;
        const VX_IO_Result result = transport->applyGlobalOptions(options);
        if (result != VX_IO_OK) return result;
    }
    return VX_IO_OK;
}

}  // namespace vxio
