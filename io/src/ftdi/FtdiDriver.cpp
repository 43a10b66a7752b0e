#include "ftdi/FtdiDriver.h"

#include "platform/DynamicLibrary.h"

namespace vxio {

namespace {

constexpr const char* kDriverLibrary = "libftd2xx.so";
constexpr const char* kChipIdLibrary = "libFTChipID.so";

enum class Binding { NotTried, Bound, Failed };

struct DriverBinding {
    Binding state = Binding::NotTried;
    FtdiDriver functions;
};

DriverBinding& binding() {
    static DriverBinding instance;
    return instance;
}

bool bindAll(vxplatform::DynamicLibrary& driver, vxplatform::DynamicLibrary& chipId,
             FtdiDriver& functions) {
    bool complete = true;
#define VX_FTDI_BIND(library, name)                                          \
    functions.name = library.function<name##_Function>(#name);               \
    complete = complete && functions.name != nullptr;
#define VX_FTDI_BIND_DRIVER(name, params) VX_FTDI_BIND(driver, name)
#define VX_FTDI_BIND_CHIPID(name, params) VX_FTDI_BIND(chipId, name)
    VX_FTDI_DRIVER_FUNCTIONS(VX_FTDI_BIND_DRIVER)
    VX_FTDI_CHIPID_FUNCTIONS(VX_FTDI_BIND_CHIPID)
#undef VX_FTDI_BIND_CHIPID
#undef VX_FTDI_BIND_DRIVER
#undef VX_FTDI_BIND
    return complete;
}

}  // namespace

std::mutex& usbListMutex() {
    static std::mutex mutex;
    return mutex;
}

const FtdiDriver* bindFtdiDriver() {
    DriverBinding& state = binding();
    if (state.state == Binding::Failed) return nullptr;
    if (state.state == Binding::Bound) return &state.functions;

    vxplatform::DynamicLibrary driver = vxplatform::DynamicLibrary::open(kDriverLibrary);
    vxplatform::DynamicLibrary chipId = vxplatform::DynamicLibrary::open(kChipIdLibrary);
    if (!driver.loaded() || !chipId.loaded() || !bindAll(driver, chipId, state.functions)) {
        state.functions = FtdiDriver{};
        state.state = Binding::Failed;
        return nullptr;
    }
    // Receive threads may still run while the process ends: never unload.
    driver.keepLoaded();
    chipId.keepLoaded();
    state.state = Binding::Bound;
    return &state.functions;
}

}  // namespace vxio
