#include "core/Locator.h"

#include <string_view>

namespace vxio {

namespace {

struct LocatorKind {
    std::string_view name;
    int type;
};

constexpr LocatorKind kKinds[] = {
    {"usb", VX_IO_IFACE_USB},
    {"network", VX_IO_IFACE_NETWORK},
    {"serial", VX_IO_IFACE_SERIAL},
};

}  // namespace

VX_IO_Result locatorInterfaceType(const std::string& locator, int* type) {
    *type = VX_IO_IFACE_UNKNOWN;
    const size_t colon = locator.find(':');
    if (colon == std::string::npos) return VX_IO_INVALID_LOCATOR;
    const std::string_view kind(locator.data(), colon);
    for (const LocatorKind& known : kKinds) {
        if (known.name == kind) {
            *type = known.type;
            return VX_IO_OK;
        }
    }
    return VX_IO_INVALID_LOCATOR;
}

}  // namespace vxio
