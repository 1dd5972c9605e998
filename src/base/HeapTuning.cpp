#include "HeapTuning.h"

#include <malloc.h>

void KeepFreedHeapForReuse()
{
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);
}
