// vxsim-ethernet: simulated controllers' Ethernet interfaces on one network
// interface, answering raw configuration frames, for test networks.
#include "sim/EthernetCarrier.h"

int main(int argc, char** argv) { return vxsim::runEthernetProgram(argc, argv); }
