// Host only: where the mutex stand-ins keep the kernel object of a name.
#pragma once

#include <string>

namespace orvi::simulation {

// The path that stands for the kernel object `name` of the calling user: a file in the user's own
// folder ($XDG_RUNTIME_DIR/kiv-mutexes, or /tmp/kiv-mutexes-<uid> without it), made on first use.
// Bytes of the name other than ASCII letters, digits, '_' and '-' are written as %XX, so no name
// leads out of the folder. Anything there that is not a regular file (a directory, say) is an
// object of another kind under that name. Empty when the folder cannot be made or is not the
// user's alone.
std::string namedObjectPath(const char* name);

// Whether the calling thread owns the named mutex, through any handle of this process.
bool ownedByThisThread(const char* name);

}  // namespace orvi::simulation
