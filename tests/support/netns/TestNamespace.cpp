#include "support/netns/TestNamespace.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

#include "platform/UniqueFd.h"
#include "support/Wait.h"

namespace vxtest::netns {

namespace {

std::set<std::string> visibleInterfaces() {
    std::set<std::string> names;
    if (struct if_nameindex* list = ::if_nameindex()) {
        for (struct if_nameindex* i = list; i->if_index != 0; ++i) names.insert(i->if_name);
        ::if_freenameindex(list);
    }
    return names;
}

bool running(const char* name) {
    vxplatform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq request{};
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    return fd.valid() && ::ioctl(fd.get(), SIOCGIFFLAGS, &request) == 0 &&
           (request.ifr_flags & (IFF_UP | IFF_RUNNING)) == (IFF_UP | IFF_RUNNING);
}

}  // namespace

std::string checkTestNamespace() {
    if (!std::getenv("VX_NETNS_FAR"))
        return "not started by netns-run: this program sends on the network and runs only in its test namespace";
    const std::set<std::string> expected{"lo", NearIface0, NearIface1};
    const auto seen = visibleInterfaces();
    if (seen != expected) {
        std::ostringstream text;
        text << "unexpected network interfaces:";
        for (const auto& name : seen) text << ' ' << name;
        text << " (expected lo " << NearIface0 << ' ' << NearIface1 << ")";
        return text.str();
    }
    if (!waitUntil([] { return running(NearIface0) && running(NearIface1); }))
        return "the test interfaces did not come up";
    return {};
}

void inFarNamespace(const std::function<void()>& work) {
    const char* path = std::getenv("VX_NETNS_FAR");
    if (!path) throw std::system_error(ENOENT, std::generic_category(), "VX_NETNS_FAR");
    std::exception_ptr failure;
    std::thread visitor([&] {
        try {
            vxplatform::UniqueFd ns(::open(path, O_RDONLY | O_CLOEXEC));
            if (!ns.valid() || ::setns(ns.get(), CLONE_NEWNET) != 0)
                throw std::system_error(errno, std::generic_category(), "setns");
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    visitor.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace vxtest::netns
