/*
 * Lists the controller systems attached by USB (first generation, and second
 * generation when libVeltraxCTL lies beside libQMXControl).
 * Usage: qmx_systems
 */
#include <stdio.h>

#include "QMXControl.h"

int main(void) {
    char locators[4096];
    unsigned int size = sizeof locators;
    const VX_STATUS status = VX_FindSystems("", locators, &size);
    if (status != VX_OK) {
        printf("Finding systems failed: %s (status %u)\n", VX_GetStatusText(status), status);
        return 1;
    }
    printf(size == 0 ? "No systems attached.\n" : "%s\n", locators);
    return 0;
}
