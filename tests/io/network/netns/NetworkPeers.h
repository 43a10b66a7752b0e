#pragma once

// Helpers of the namespace tests: simulated controllers on the far side of
// the test network, and device lists read back into records.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "VeltraxIO.h"
#include "core/DeviceList.h"
#include "platform/Text.h"
#include "sim/DiscoveryDevice.h"
#include "sim/TcpServer.h"
#include "support/netns/TestNamespace.h"

namespace nettest {

using Record = std::map<std::string, std::string>;

inline const std::string kIface0 = vxtest::netns::NearAddress0;
inline const std::string kIface1 = vxtest::netns::NearAddress1;

// A discovery device living in the far namespace, on the far end of pair 0 or 1.
inline std::unique_ptr<vxsim::DiscoveryDevice> farDevice(const std::string& serial, int pair = 0,
                                                         vxsim::DiscoveryIdentity identity = {}) {
    identity.serialNumber = serial;
    std::unique_ptr<vxsim::DiscoveryDevice> device;
    vxtest::netns::inFarNamespace([&] {
        device = std::make_unique<vxsim::DiscoveryDevice>(
            pair == 0 ? vxtest::netns::FarAddress0 : vxtest::netns::FarAddress1, identity);
    });
    return device;
}

// A TCP controller port in the far namespace.
inline std::unique_ptr<vxsim::TcpServer> farServer(vxsim::LinkHandler& handler) {
    std::unique_ptr<vxsim::TcpServer> server;
    vxtest::netns::inFarNamespace(
        [&] { server = std::make_unique<vxsim::TcpServer>(handler, vxtest::netns::FarAddress0); });
    return server;
}

inline std::vector<Record> parseList(const std::string& text) {
    std::vector<Record> records;
    for (const auto& line : vxplatform::splitText(text, "\n")) {
        Record record;
        for (const auto& pair : vxplatform::splitText(line, "|")) {
            const auto eq = pair.find('=');
            if (eq == std::string::npos) continue;
            record[pair.substr(0, eq)] = vxio::unescapeValue(pair.substr(eq + 1));
        }
        records.push_back(record);
    }
    return records;
}

// Type 9999 enumeration of network devices; the text, or "" on failure.
inline VX_IO_Result enumerate(const std::string& options, std::string& text) {
    std::vector<char> buffer(65536);
    size_t length = buffer.size();
    const std::string all = "iface-type network\n" + options;
    VX_IO_Result result = VX_IO_EnumerateDevices(VX_IO_IFACE_ALL, all.c_str(), buffer.data(), &length);
    text = result == VX_IO_OK ? std::string(buffer.data(), length) : std::string();
    return result;
}

// The records of an enumeration with every property, keyed by serial number.
inline std::map<std::string, Record> enumerateBySerial(const std::string& options) {
    std::string text;
    std::map<std::string, Record> bySerial;
    if (enumerate("include-all\n" + options, text) != VX_IO_OK) return bySerial;
    for (auto& record : parseList(text)) bySerial[record["device-sn"]] = record;
    return bySerial;
}

}  // namespace nettest
