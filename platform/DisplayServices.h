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

}  // namespace orvi::platform
