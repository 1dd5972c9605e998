#include "CoreDumps.h"

#include <sys/prctl.h>

void KeepPasswordsOutOfCoreDumps()
{
    // Not dumpable is stronger than a core size limit of 0: it also stops a core that the system
    // pipes to a collector, and it reaches every thread of the process at once.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}
