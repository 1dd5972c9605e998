// Keeps passwords out of core files: a process that has held one writes no core dump.
#pragma once

// Turns core dumps off for the rest of the process's life (and with them other processes'
// ptrace access to it). Called wherever a password enters the process. Dumps stay off even once
// every password is dropped: freed memory, the library's own copies and the toolkit's buffers may
// still hold one. A fresh process (a restart) begins with them on again. Cheap to call again.
void KeepPasswordsOutOfCoreDumps();
