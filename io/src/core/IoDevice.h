#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "VeltraxIO.h"

namespace vxio {

// One open (or opening) device behind a handle; always owned through
// shared ownership. The receive thread keeps an owner until it ends, so the
// object outlives its handle while the thread runs.
class IoDevice {
public:
    IoDevice(const char* locator, const char* options, void* userContext,
             VX_IO_ReceiveCallback receive, VX_IO_ErrorCallback error);
    virtual ~IoDevice();

    IoDevice(const IoDevice&) = delete;
    IoDevice& operator=(const IoDevice&) = delete;

    // Opens the transport and starts its receive thread, which holds `self`.
    virtual VX_IO_Result Open(std::shared_ptr<IoDevice> self) = 0;
    // The receive thread is asked to stop; with wait it is joined too.
    // Without, the thread ends on its own and the last owner collects it.
    virtual void Close(bool wait) = 0;
    virtual VX_IO_Result Send(const void* data, size_t length) = 0;
    virtual VX_IO_Result GetProperty(const char* key, char* buffer, size_t* length) = 0;

    int interfaceType() const { return interfaceType_; }
    const std::string& locator() const { return locator_; }
    const std::string& options() const { return options_; }

    // True on a thread that is inside this device's receive or error
    // callback: a close from there must not wait for the receive thread.
    bool inOwnCallback() const;

protected:
    void deliver(const void* data, size_t length) const;
    void reportError(int code) const;

private:
    int interfaceType_;
    std::string locator_;
    std::string options_;
    void* userContext_;
    VX_IO_ReceiveCallback receive_;
    VX_IO_ErrorCallback error_;
};

}  // namespace vxio
