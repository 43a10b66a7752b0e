#pragma once

// The shape of one transport's row in the table the core walks, and what an
// open hands the row's device maker.

#include <memory>
#include <string>
#include <vector>

#include "VeltraxIO.h"
#include "core/DeviceList.h"
#include "core/IoDevice.h"
#include "core/Options.h"

namespace vxio {

struct Transport;

// A locator split once, on the way down: the row its kind (the text before
// the first colon) names, the text after that colon, and that text's
// non-empty pieces between colons. Each transport checks the form it needs.
struct ParsedLocator {
    const Transport* transport = nullptr;  // null for a kind no row has
    std::string rest;
    std::vector<std::string> pieces;
};

struct DeviceParams {
    // Splits the locator; the kind is known from here on.
    DeviceParams(const char* locator, const char* options, void* userContext,
                 VX_IO_ReceiveCallback receive, VX_IO_ErrorCallback error);

    const char* locator;
    const char* options;  // never null here
    void* userContext;
    VX_IO_ReceiveCallback receive;
    VX_IO_ErrorCallback error;
    ParsedLocator parsed;
};

using DeviceMaker = std::shared_ptr<IoDevice> (*)(const DeviceParams& params);

// One transport. A null list or setting means the transport has none; the
// core then treats the kind as it would any kind without one.
struct Transport {
    // The locator kind and the "iface-type" value of its records.
    const char* kind = nullptr;
    int interfaceType = VX_IO_IFACE_UNKNOWN;
    // Gives null when the object cannot be made; the open then gives 3.
    DeviceMaker createDevice = nullptr;
    // The short list of enumeration by this type; `optionText` is read by
    // raw lookup.
    VX_IO_Result (*shortList)(const std::string& optionText, std::string& list) = nullptr;
    // Appends the records of the type 9999 device search.
    VX_IO_Result (*searchDevices)(const Options& options, DeviceList& list) = nullptr;
    // Appends the host's interfaces of this kind.
    VX_IO_Result (*listInterfaces)(const Options& options, DeviceList& list) = nullptr;
    // Called with the API mutex held.
    VX_IO_Result (*applyGlobalOptions)(const Options& options) = nullptr;
};

// The device maker of a transport whose device class is built straight
// from the open's parameters.
template <typename Device>
std::shared_ptr<IoDevice> makeDevice(const DeviceParams& params) {
    return std::make_shared<Device>(params);
}

}  // namespace vxio
