// vxsim-discovery: one simulated networked controller on the discovery
// protocol, for test networks.
#include "sim/DiscoveryDevice.h"

int main(int argc, char** argv) { return vxsim::runDiscoveryProgram(argc, argv); }
