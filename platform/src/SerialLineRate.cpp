// Only the kernel's termios definitions here: <termios.h> would clash.
#include "SerialLineRate.h"
#include "platform/SerialPort.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <optional>

namespace vxplatform {

namespace detail {

int setArbitraryLineRate(int fd, uint32_t rate) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    if (::ioctl(fd, TCSETS2, &t) != 0) return errno;
    // Drivers round to what their divisor can make; a rate far off the asked
    // one is a refusal, not a setting.
    struct termios2 check {};
    if (::ioctl(fd, TCGETS2, &check) != 0) return errno;
    const uint64_t got = check.c_ospeed;
    const uint64_t want = rate;
    if (got * 100 < want * 97 || got * 100 > want * 103) return EINVAL;
    return 0;
}

}  // namespace detail

std::optional<uint32_t> readLineRate(int fd) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return std::nullopt;
    return t.c_ospeed;
}

}  // namespace vxplatform
