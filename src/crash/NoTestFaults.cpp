#include "TestFaults.h"

// The installed program's: it knows no test fault, and "--test-fault=" means nothing to it.
bool ArmTestFaults(int, char**)
{
    return true;
}
