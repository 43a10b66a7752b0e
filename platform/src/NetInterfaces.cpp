#include "platform/NetInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <bit>
#include <cerrno>
#include <memory>
#include <system_error>

namespace vxplatform {

namespace {

uint32_t addressOf(const sockaddr* sa) {
    if (!sa || sa->sa_family != AF_INET) return 0;
    return reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr;
}

// Every IPv4 address of every interface, whatever its state.
template <typename Visit>
void forEachIpv4Address(Visit visit) {
    ifaddrs* head = nullptr;
    if (::getifaddrs(&head) != 0) throw std::system_error(errno, std::generic_category(), "getifaddrs");
    std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(head, ::freeifaddrs);

    for (const ifaddrs* ifa = head; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET) continue;
        const unsigned flags = ifa->ifa_flags;
        NetInterface entry;
        entry.name = ifa->ifa_name ? ifa->ifa_name : "";
        entry.address = addressOf(ifa->ifa_addr);
        entry.netmask = addressOf(ifa->ifa_netmask);
        entry.prefixLength = static_cast<unsigned>(std::popcount(ntohl(entry.netmask)));
        entry.loopback = (flags & IFF_LOOPBACK) != 0;
        // An address label ("eth0:1") names its interface before the colon.
        entry.index = ::if_nametoindex(entry.name.substr(0, entry.name.find(':')).c_str());
        // A /31 or /32 has no room for a broadcast address (RFC 3021).
        if ((flags & IFF_BROADCAST) && entry.prefixLength < 31)
            entry.broadcast = entry.address | ~entry.netmask;
        visit(entry, flags);
    }
}

}  // namespace

std::vector<NetInterface> listNetInterfaces(bool includeLoopback) {
    std::vector<NetInterface> list;
    forEachIpv4Address([&](NetInterface& entry, unsigned flags) {
        if (!(flags & IFF_UP) || !(flags & IFF_RUNNING)) return;
        if (entry.loopback && !includeLoopback) return;
        list.push_back(std::move(entry));
    });
    return list;
}

uint32_t broadcastAddressOf(uint32_t address) { return netInterfaceOf(address).broadcast; }

NetInterface netInterfaceOf(uint32_t address) {
    NetInterface found;
    forEachIpv4Address([&](NetInterface& entry, unsigned) {
        if (entry.address == address && found.address == 0) found = std::move(entry);
    });
    return found;
}

}  // namespace vxplatform
