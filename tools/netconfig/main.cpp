// QMXNetworkInterfaceConfig: reads and sets the Ethernet interface
// configuration of controllers with raw Ethernet frames, driven by console
// prompts.
#include <cstdio>

#include "Console.h"

int main() {
    netconfig::ConsoleInput input(stdin, stdout);
    netconfig::Console console(input, stdout, stderr);
    return console.run();
}
