#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "UpdateException.h"

namespace fwtest {

using Clock = std::chrono::steady_clock;

// Whether `call` throws an UpdateException of `code` with `message`.
template <typename Call>
::testing::AssertionResult throwsUpdate(Call&& call, int32_t code,
                                        const std::string& message = {}) {
    try {
        call();
    } catch (const vxfw::UpdateException& error) {
        if (error.code() == code && error.message() == message)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "threw code " << error.code() << " \"" << error.message() << "\"";
    }
    return ::testing::AssertionFailure() << "threw nothing";
}

// How long `call` took, in milliseconds.
template <typename Call>
std::chrono::milliseconds timed(Call&& call) {
    const auto start = Clock::now();
    call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

}  // namespace fwtest
