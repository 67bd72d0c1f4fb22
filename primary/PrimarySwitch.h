// Makes a Kiv screen the primary display and lines the other screens up in one row to its right.
#pragma once

#include "display/ScreenDevice.h"
#include "platform/Win32.h"

#include <ostream>
#include <vector>

namespace orvi {

// Reads the current mode of every screen of both lists first. Then records the first Kiv screen at
// (0, 0) as the primary display, the further Kiv screens and after them the other screens, in list
// order, in one row to its right with their top edges at y = 0, and applies every recorded change at
// once. Each screen keeps its current mode; only its position (and for the first Kiv screen the
// primary flag) changes. Every change is recorded with CDS_UPDATEREGISTRY, which stores it at once,
// so the new layout outlasts the run. Screens in neither list are not touched. After the apply it
// asks the window system whether the first Kiv screen's monitor now carries MONITORINFOF_PRIMARY,
// looking again for about a second only when it does not yet (shownPrimaryAfterApply). Writes
// "setPrimaryDevice completed result: 0" on success; an empty Kiv list does nothing at all.
//
// Throws util::WinException with the thread's last error when a screen's current mode cannot be
// read, std::runtime_error whose text ends in the DISP_CHANGE_* result in decimal when a change
// cannot be recorded or applied (DISP_CHANGE_RESTART included), and std::runtime_error "Failed apply
// settings with Orvi Kiv as primary screen: Windows kept another screen as primary" when the apply
// succeeded but the Kiv did not become primary (a monitor that cannot be read counts as not
// primary). The first failure ends the work: nothing is written, and a failure before the apply
// applies nothing. A failed read comes before any record, so it leaves the stored settings as they
// were. When a record, the apply or the check fails, the stored settings are put back (not applied)
// before the exception leaves: every screen recorded so far is recorded again with the mode read at
// the start (its old position), and, since the first Kiv screen was recorded as primary by then, the
// screen that was primary before is recorded with CDS_SET_PRIMARY. The screen that was primary
// before is the one of either list whose monitorInfo().dwFlags carries MONITORINFOF_PRIMARY (the
// enumeration's record of it); when none does, no screen is made primary again. After a failed
// check it is the screen that Windows still shows as primary, also when it is in neither list (then
// recorded with its current mode). The put-back is best
// effort: its results are not looked at, so the exception is always the first failure's.
void setPrimaryDevice(std::ostream& log, const std::vector<ScreenDevice>& kivScreens,
                      const std::vector<ScreenDevice>& otherScreens);

}  // namespace orvi
