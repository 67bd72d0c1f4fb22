// Host stand-in for message boxes: the box is written to standard error and "closed" with OK.
#include "platform/Win32.h"

#include <cstdio>

int MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT type) {
    const char* icon = (type & MB_ICONERROR) ? "error" : (type & MB_ICONINFORMATION) ? "information" : "none";
    std::fprintf(stderr, "[message box: %s, icon %s]\n%s\n[end of message box]\n", caption ? caption : "", icon,
                 text ? text : "");
    std::fflush(stderr);
    return IDOK;
}
