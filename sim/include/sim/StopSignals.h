#pragma once

#include <signal.h>

#include "platform/UniqueFd.h"

namespace vxsim {

// Blocks SIGINT and SIGTERM in the calling thread, and so in every thread it
// starts afterwards: call it before any thread starts, then wait for them
// with sigwait on `signals` or on the descriptor below. False if the mask
// could not be set.
bool blockStopSignals(sigset_t* signals);

// Blocks SIGINT and SIGTERM as above and returns a descriptor that becomes
// readable when one arrives; an invalid one, with errno set, on failure.
vxplatform::UniqueFd stopSignalFd();

}  // namespace vxsim
