#include "platform/UniqueFd.h"

#include <unistd.h>

namespace vxplatform {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

}  // namespace vxplatform
