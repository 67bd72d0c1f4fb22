// The display services of the real window system: user32, unchanged.
#include "platform/DisplayServices.h"

namespace orvi::platform {

#define DISPLAY_CALL(Result, name, parameters, arguments, user32Call) \
    Result name parameters { return user32Call; }
#include "platform/DisplayCalls.inc"
#undef DISPLAY_CALL

void pause(DWORD milliseconds) { Sleep(milliseconds); }

}  // namespace orvi::platform
