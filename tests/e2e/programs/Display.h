#pragma once

#include <string>

namespace e2e {

// The private X server's display (":N") the tests run on.
const std::string& display();

}  // namespace e2e
