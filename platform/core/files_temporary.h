#pragma once
// The temporary files every writer of the program puts beside its targets
// (saved pages, settings, lists, extracted archive entries), and the sweep
// of those a killed run left behind.
//
// A temporary is named ".tamrix-" and 16 lower-case hexadecimal digits, and
// its writer holds a lock on it (flock) for as long as it writes it; the
// lock dies with its process. So a later writer into the same folder can
// tell a killed run's leftover (unlocked) from a living writer's file
// (locked) and removes only the former; nothing else is ever taken for one.
//
// Plain POSIX on folder descriptors, no exceptions and none of the
// platform's own types: the compression library, which has none of them,
// uses it too.
#include <sys/types.h>

#include <ctime>
#include <string>

// True for a name of the form above (a name, not a path).
bool IsOwnTemporaryName(const char* Name);

// A fresh, unpredictable temporary name of the form above.
std::string NewTemporaryName();

// Creates a new temporary in the folder Folder (a descriptor, or AT_FDCWD)
// with Mode (less the umask), exclusively and without following links, so
// nothing that was there before is ever written through, and locks it.
// Returns the descriptor (Name receives the name), or -1 with errno set.
int OpenOwnedTemporary(int Folder, mode_t Mode, std::string& Name);

// Removes the temporaries of the folder Folder that no living process
// holds and that were last written before Since (the sweeping run's own
// start: a file written since then is never touched, so two runs writing
// into one folder leave each other alone). Failures are ignored.
void SweepLeftoverTemporaries(int Folder, const timespec& Since);
