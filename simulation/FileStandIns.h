// Host only: the file handles of the file stand-ins, which CloseHandle closes, and writes that fail.
#pragma once

#include "platform/Win32.h"

namespace orvi::simulation {

// Closes a handle that CreateFileA made; FALSE with ERROR_INVALID_HANDLE for any other handle.
BOOL closeFileHandle(HANDLE handle);

// How a failing WriteFile fails: refused (FALSE with ERROR_DISK_FULL, nothing written), or short (TRUE
// with the first half of what it was asked written and counted, as on a disk that filled up during it).
enum class FailedWrite { Refused, Short };

// The next `count` calls of WriteFile fail as `how` says, as on a disk that is full until space is
// made; the calls after them write again. For tests; 0 ends the failures.
void failNextFileWrites(unsigned count, FailedWrite how = FailedWrite::Refused);

}  // namespace orvi::simulation
