// The USB row of the transport table: the type 1 short list, the type 9999
// search and the device behind a "usb:" locator.
#include <set>

#include "core/OptionKeys.h"
#include "core/Options.h"
#include "ftdi/IoFtdi.h"
#include "ftdi/UsbDeviceList.h"
#include "ftdi/UsbShortList.h"
#include "ftdi/UsbTransport.h"
#include "platform/Text.h"

namespace vxio {

namespace {

std::optional<uint32_t> rawNumberFilter(const char* key, const std::string& optionText) {
    if (rawText(key, optionText).empty()) return std::nullopt;
    return rawUnsigned(key, optionText, 0);
}

VX_IO_Result enumerateUsbShortList(const std::string& optionText, std::string& list) {
    list.clear();
    std::lock_guard<std::mutex> lock(usbListMutex());
    const FtdiDriver* driver = bindFtdiDriver();
    if (!driver) return VX_IO_DRIVER_NOT_AVAILABLE;

    ShortListFilter filter;
    const std::string productName = rawText(key::kProductName, optionText);
    if (!productName.empty()) filter.productNames.insert(productName);
    filter.vendorId = rawNumberFilter(key::kUsbVid, optionText);
    filter.productId = rawNumberFilter(key::kUsbPid, optionText);
    ShortListFields fields;
    const VX_IO_Result read = readShortListFields(optionText, &fields);
    if (read != VX_IO_OK) return read;

    std::vector<size_t> selected;
    const VX_IO_Result result = selectShortList(*driver, rawHas(key::kForceRescan, optionText),
                                                filter, fields.chipId, &selected);
    if (result != VX_IO_OK) return result;

    std::vector<std::string> lines;
    for (size_t index : selected) {
        const UsbDeviceEntry& entry = UsbDeviceList::instance().entries()[index];
        UsbAdapterSummary adapter;
        adapter.chipId = entry.chipId;
        adapter.vendorId = nodeVendorId(entry.node);
        adapter.productId = nodeProductId(entry.node);
        adapter.description = nodeDescription(entry.node);
        adapter.serialNumber = listedSerial(entry.node);
        lines.push_back(usbShortListLine(adapter, fields));
    }
    list = vxplatform::joinText(lines, "\n");
    return VX_IO_OK;
}

VX_IO_Result searchUsbDevices(const Options& options, DeviceList& list) {
    std::lock_guard<std::mutex> lock(usbListMutex());
    const FtdiDriver* driver = bindFtdiDriver();
    if (!driver) return VX_IO_DRIVER_NOT_AVAILABLE;

    std::string format;
    if (readChoiceOption(options, key::kLocatorFormatUsb, &format) != VX_IO_OK)
        return VX_IO_INVALID_OPTION;
    const bool onlyAvailable = options.hasKey(key::kFindOnlyAvailable);
    const std::set<std::string> productNames = options.getTextSet(key::kFindUsbProductName);
    std::set<uint32_t> vendorIds, productIds, protocolIds;
    try {
        vendorIds = options.getUnsignedSet(key::kFindUsbVid);
        productIds = options.getUnsignedSet(key::kFindUsbPid);
        protocolIds = options.getUnsignedSet(key::kFindProtocolId);
    } catch (const InvalidOptionValue&) {
        return VX_IO_INVALID_OPTION;
    }

    UsbDeviceList& devices = UsbDeviceList::instance();
    const VX_IO_Result scanned = devices.scan(*driver, options.hasKey(key::kForceRescan));
    if (scanned != VX_IO_OK) return scanned;

    std::vector<size_t> selected;
    for (size_t i = 0; i < devices.entries().size(); ++i) {
        const FtdiDeviceInfoNode& node = devices.entries()[i].node;
        if (node.type == kFtdiTypeUnknown) continue;
        if (onlyAvailable && nodeOpened(node)) continue;
        const std::optional<std::string> description = listedDescription(node);
        if (!description) continue;
        if (!productNames.empty() && !productNames.count(*description)) continue;
        if (!productIds.empty() && !productIds.count(nodeProductId(node))) continue;
        if (!vendorIds.empty() && !vendorIds.count(nodeVendorId(node))) continue;
        selected.push_back(i);
    }

    for (size_t index : selected) {
        // An adapter whose chip id cannot be read is listed without one.
        devices.readChipId(*driver, index);
        const UsbDeviceEntry& entry = devices.entries()[index];
        const std::string serial = listedSerial(entry.node);

        DeviceRecord record;
        record["iface-type"] = "usb";
        record["usb-vid"] = std::to_string(nodeVendorId(entry.node));
        record["usb-pid"] = std::to_string(nodeProductId(entry.node));
        record["usb-desc"] = nodeDescription(entry.node);
        record["device-sn"] = serial;
        record["locator"] =
            format == "id" ? "usb:id:" + std::to_string(entry.chipId) : "usb:sn:" + serial;
        if (entry.chipIdKnown && entry.chipId != 0)
            record["usb-id"] = std::to_string(entry.chipId);

        if (entry.protocolIds.empty()) {
            if (protocolIds.empty()) list.push_back(record);
            continue;
        }
        for (uint8_t protocol : entry.protocolIds) {
            if (!protocolIds.empty() && !protocolIds.count(protocol)) continue;
            DeviceRecord copy = record;
            copy["protocol-id"] = std::to_string(protocol);
            list.push_back(std::move(copy));
        }
    }
    return VX_IO_OK;
}

}  // namespace

constexpr DeviceMaker createFtdiDevice = makeDevice<IoFtdi>;

// No interface list: adapters are devices, not interfaces of the host.
const Transport kUsbTransport{.kind = "usb",
                              .interfaceType = VX_IO_IFACE_USB,
                              .createDevice = createFtdiDevice,
                              .shortList = enumerateUsbShortList,
                              .searchDevices = searchUsbDevices};

}  // namespace vxio
