#include "firmware/Port.h"

namespace vxfw {

Port::~Port() = default;

}  // namespace vxfw
