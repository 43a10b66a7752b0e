#pragma once

// The host's side of a serial device in these tests.

#include <string>

#include "VeltraxIO.h"
#include "support/IoReceiver.h"

namespace serialtest {

class Host : public vxtest::IoReceiver {
public:
    VX_IO_Result open(const std::string& locator, const std::string& options) {
        return VX_IO_Open(&handle, locator.c_str(), options.c_str(), this, onReceive, onError);
    }

    VX_IO_Handle handle = 0;
};

}  // namespace serialtest
