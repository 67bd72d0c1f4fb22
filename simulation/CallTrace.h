// The simulated window system's trace of the display calls it answers, for people and tests that want
// to see or count what the tool asked of Windows.
#pragma once

#include "simulation/SimulatedWindowSystem.h"

#include <string>

namespace orvi::simulation {

// One call as a line without its end: the user32 name, its arguments as name=value words (a null
// device name as NULL, flags in hexadecimal as flags=0x...), then "-> " and the result.
//     ChangeDisplaySettingsExW device=\\.\DISPLAY3 x=0 y=0 flags=0x10000019 -> 0
//     ChangeDisplaySettingsExW device=NULL flags=0x0 -> 0
std::string traceLine(const SimulatedCall& call);

// Appends the call's line to the file that the environment variable SIMULATED_CALLS names, where one
// is named. A file that cannot be written loses the line and nothing else happens.
void traceCall(const SimulatedCall& call);

}  // namespace orvi::simulation
