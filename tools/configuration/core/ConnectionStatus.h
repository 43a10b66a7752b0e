#pragma once

#include <cstdint>

// The status codes the connection produces itself, with the numbers of the
// controller API's status table. Codes from 128 on come from the controller
// and pass through unchanged.
enum ConnectionStatus : uint32_t {
    kStatusOk = 0,
    kStatusInitializationError = 1,
    kStatusNotInitialized = 2,
    kStatusWriteError = 8,
    kStatusInvalidParameter = 9,
    kStatusReadError = 10,
    kStatusInternalError = 12,
    kStatusProtocolError = 14,
    kStatusTimeout = 15,
    kStatusIdListTooSmall = 17,
    kStatusInvalidSystemLocator = 21,
    kStatusQueryBufferSize = 23,
    kStatusOtherError = 255,
};
