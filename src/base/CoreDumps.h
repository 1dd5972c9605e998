// Keeps passwords out of core files: a process that may hold one writes no core dump.
#pragma once

// Turns core dumps off for the rest of the process's life (and with them other processes'
// ptrace access to it). The program calls it first thing, since a password can come in many ways
// (the connect dialog, a statement such as ALTER USER … IDENTIFIED BY, a script); the client layer
// calls it again wherever a password enters, for every other program built on it. Dumps stay off
// even once every password is dropped: freed memory, the library's own copies and the toolkit's
// buffers may still hold one. Cheap to call again.
void KeepPasswordsOutOfCoreDumps();
