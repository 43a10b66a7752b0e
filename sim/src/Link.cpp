#include "sim/Link.h"

// Anchors the simulator library until its protocol endpoints land.
namespace vxsim {}
