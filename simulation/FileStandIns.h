// Host only: the file handles of the file stand-ins, which CloseHandle closes, and writes that fail.
#pragma once

#include "platform/Win32.h"

namespace orvi::simulation {

// Closes a handle that CreateFileA made; FALSE with ERROR_INVALID_HANDLE for any other handle.
BOOL closeFileHandle(HANDLE handle);

// The next `count` calls of WriteFile fail with ERROR_DISK_FULL and write nothing, as on a disk that
// is full until space is made; the calls after them write again. For tests; 0 ends the failures.
void failNextFileWrites(unsigned count);

}  // namespace orvi::simulation
