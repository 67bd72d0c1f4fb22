// Host only: the file handles of the file stand-ins, which CloseHandle closes.
#pragma once

#include "platform/Win32.h"

namespace orvi::simulation {

// Closes a handle that CreateFileA made; FALSE with ERROR_INVALID_HANDLE for any other handle.
BOOL closeFileHandle(HANDLE handle);

}  // namespace orvi::simulation
