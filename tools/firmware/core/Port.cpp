#include "Port.h"

namespace vxfw {

Port::~Port() = default;

}  // namespace vxfw
