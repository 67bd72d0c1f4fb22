// Makes a Kiv screen the primary display and lines the other screens up in one row to its right.
#pragma once

#include "display/ScreenDevice.h"
#include "platform/Win32.h"

#include <ostream>
#include <vector>

namespace orvi {

// Records the first Kiv screen at (0, 0) as the primary display, then the further Kiv screens and
// after them the other screens, in list order, in one row to its right with their top edges at
// y = 0, and applies every recorded change at once. Each screen keeps its current mode; only its
// position (and for the first Kiv screen the primary flag) changes, and the new layout is stored.
// Screens in neither list are not touched. Writes "setPrimaryDevice completed result: 0" on success;
// an empty Kiv list does nothing at all.
//
// Throws util::WinException with the thread's last error when a screen's current mode cannot be
// read, and std::runtime_error whose text ends in the DISP_CHANGE_* result in decimal when a change
// cannot be recorded or applied (DISP_CHANGE_RESTART included). The first failure ends the work: no
// later screen is handled, nothing is applied and nothing is written.
void setPrimaryDevice(std::ostream& log, const std::vector<ScreenDevice>& kivScreens,
                      const std::vector<ScreenDevice>& otherScreens);

}  // namespace orvi
