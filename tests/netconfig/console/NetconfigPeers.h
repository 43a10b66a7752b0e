#pragma once

// What the console tests expect to see: the texts of the dialogue and the
// request frames, spelled out byte for byte.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ConsoleSession.h"
#include "sim/EthernetCarrier.h"
#include "support/netns/TestNamespace.h"

namespace nettest {

// Controller n (from 1) has the MAC 0a:51:4d:00:00:0n.
inline vxsim::MacAddress controllerMac(int n) { return {0x0a, 0x51, 0x4d, 0x00, 0x00, static_cast<uint8_t>(n)}; }
inline std::string twoHex(int n) {
    char text[3];
    std::snprintf(text, sizeof text, "%02x", n & 0xff);
    return text;
}
inline std::string macHex(int n) { return "0a514d0000" + twoHex(n); }

inline const vxsim::EthernetConfig FirstConfig{{10, 1, 2, 3}, {10, 1, 2, 1}, {255, 255, 255, 0}, 6000};
inline const std::string FirstShown = "IP: 010.001.002.003\nGW: 010.001.002.001\nSN: 255.255.255.000\nPort: 06000\n";
inline const std::string FactoryShown = "IP: 192.168.001.100\nGW: 192.168.001.001\nSN: 255.255.255.000\nPort: 02000\n";

inline const std::string Menu =
    "\n-------------------------------------------------\n[1] Get current configuration\n[2] Set new configuration"
    "\n[3] Reset to default configuration\n[4] Restart interface\n[5] Quit\n\nEnter command: ";
inline const std::string Done = "\nDone.";
inline const std::string SetPrompts =
    "Enter new ip address (IP):\nEnter new gateway ip (GW):\nEnter new subnet mask (SN):\nEnter new port:\n";

// The discovery lines of controllers 1 to `count`.
inline std::string discovered(int count) {
    std::string text = "Get available QMX devices...\n";
    for (int n = 1; n <= count; ++n)
        text += "[" + std::to_string(n) + "] QMX (MAC: 0a:51:4d:00:00:" + twoHex(n) + ")\n";
    return text;
}

inline std::string choose(int count) {
    return "\nEnter number of QMX you wish to configure (1 - " + std::to_string(count) + "): ";
}

inline const std::string DefaultPayload = "c0a801c8" "c0a80101" "ffff0000" "1388";

// A request frame as the console must send it.
inline std::string request(const std::string& destination, const std::string& opcode,
                           const std::string& payload = DefaultPayload) {
    return destination + "020202020202" "5554" "0000" "0001" + opcode + payload + "3030303030303030" +
           std::string(36, '0');
}
inline const std::string Discovery = request("ffffffffffff", "0002");

inline std::string hex(const std::vector<uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// A carrier on the far end of pair 0, made in the far namespace.
inline std::unique_ptr<vxsim::EthernetCarrier> farCarrier() {
    std::unique_ptr<vxsim::EthernetCarrier> carrier;
    vxtest::netns::inFarNamespace([&] { carrier = std::make_unique<vxsim::EthernetCarrier>(FarIface0); });
    return carrier;
}

}  // namespace nettest
