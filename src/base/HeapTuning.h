// How the C library's heap keeps memory that the program frees, set once at start.
#pragma once

// By its own rule the heap gives pages back to the system as soon as 128 KiB are free at its top,
// and maps every block of 128 KiB or more on its own. A script run builds each statement of a
// hundred kilobytes, sends it and frees it, thousands of times: each time the pages were mapped
// again, zeroed on first touch and unmapped with a TLB flush, which cost more than reading and
// splitting the script. Blocks up to 4 MiB now come from the heap, and up to 32 MiB of freed heap is
// kept for the next one. What is large and lives long (results, the panes' text) is in blocks the
// program maps itself and gives back as before.
void KeepFreedHeapForReuse();
