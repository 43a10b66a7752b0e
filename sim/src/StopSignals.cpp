#include "sim/StopSignals.h"

#include <pthread.h>
#include <sys/signalfd.h>

#include <cerrno>

namespace vxsim {

bool blockStopSignals(sigset_t* signals) {
    sigemptyset(signals);
    sigaddset(signals, SIGINT);
    sigaddset(signals, SIGTERM);
    return ::pthread_sigmask(SIG_BLOCK, signals, nullptr) == 0;
}

vxplatform::UniqueFd stopSignalFd() {
    sigset_t signals;
    if (!blockStopSignals(&signals)) {
        errno = EINVAL;
        return vxplatform::UniqueFd();
    }
    return vxplatform::UniqueFd(::signalfd(-1, &signals, SFD_CLOEXEC));
}

}  // namespace vxsim
