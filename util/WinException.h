// The exception for a failed Windows call that a Windows error code describes.
#pragma once

#include "platform/Win32.h"

#include <stdexcept>
#include <string>

namespace orvi::util {

// What a failed call left behind: its error code and the caller's description of what failed.
struct WinErrorInfo {
    DWORD code = 0;
    std::string context;
};

// The system's description of the code, exactly as the system gives it (with its CR LF), or
// "Unknown error [Failed to look up error message]" when the system has none. Throws only std::bad_alloc.
std::string systemTextOf(DWORD code);

// Composes "<context>: <system text> (Error code: 0x<code in lower-case hex>)". The ": " is left out
// when the context is empty; the system text is systemTextOf the code. Throws only std::bad_alloc.
std::string formatWinError(const WinErrorInfo& info);

class WinException : public std::runtime_error {
public:
    // Takes the calling thread's last-error value as the code; construct it right after the failed
    // call, on the same thread, with nothing in between that could change that value.
    explicit WinException(std::string context);
    WinException(DWORD code, std::string context);
    explicit WinException(WinErrorInfo info);
};

}  // namespace orvi::util
