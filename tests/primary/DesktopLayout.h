// What the primary display tests read back from the simulated window system, as text that shows
// well in a failed comparison. Display device names are written without their "\\.\" prefix.
#pragma once

#include <string>
#include <vector>

namespace orvi::testing {

// The display-settings calls since the last reset, in order: "read DISPLAY3" (current mode),
// "store DISPLAY3 0x10000019 at (0,0)" (a change with its flags and position) and "apply 0x0" (the
// call without device and mode); and the display configuration's: "query active" (QueryDisplayConfig
// with QDC_ONLY_ACTIVE_PATHS; "query active 0x52" with more flags) and "set config 0x2a0"
// (SetDisplayConfig with its flags). A call that did not succeed ends in " -> " and its result.
std::vector<std::string> settingsCalls();

// Every display device of the simulated desktop as shown, in device order:
// "DISPLAY1 1920x1080 at (0,0)", followed by " primary" for the primary display.
std::vector<std::string> layout();

// The same for the stored settings, the layout that outlasts the run.
std::vector<std::string> storedLayout();

}  // namespace orvi::testing
