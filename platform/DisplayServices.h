// The window system's display services: one function per display call of platform/DisplayCalls.inc,
// each answering as its user32 namesake does.
//
// Two implementations exist, chosen at link time: platform/RealDisplayServices.cpp (user32, Windows
// only, what ships) and the simulated window system (simulation/), which the tests and the host
// executable link.
#pragma once

#include "platform/Win32.h"

namespace orvi::platform {

#define DISPLAY_CALL(Result, name, parameters, arguments, user32Call) Result name parameters;
#include "platform/DisplayCalls.inc"
#undef DISPLAY_CALL

// Gives the window system about that long to catch up with a change before it is asked again: Sleep
// on Windows; the simulated window system's own sleep, which tests leave at no time at all.
void pause(DWORD milliseconds);

}  // namespace orvi::platform
