// Makes a Kiv screen the primary display and lines the other screens up in one row to its right.
#pragma once

#include "display/ScreenDevice.h"
#include "platform/Win32.h"

#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace orvi {

// The Kiv screens (ScreenDevice::identity) for which Windows declined the display settings in this run.
using SettingsDeclined = std::set<std::string>;

// The way that made the Kiv primary.
enum class SwitchWay {
    DisplaySettings,       // ChangeDisplaySettingsExW: the records and the apply
    DisplayConfiguration,  // SetDisplayConfig, after Windows declined the display settings
};

// Reads the current mode of every screen of both lists first. Then records the first Kiv screen at
// (0, 0) as the primary display, the further Kiv screens and after them the other screens, in list
// order, in one row to its right with their top edges at y = 0, and applies every recorded change at
// once. Each record names the position alone (dmFields DM_POSITION), so every other setting of the
// screen, its refresh rate included, stays as Windows has it; only its position (and for the first Kiv
// screen the primary flag) changes. Every change is recorded with CDS_UPDATEREGISTRY, which stores it
// at once, so the new layout outlasts the run. Screens in neither list are not touched. After the apply
// it asks the window system whether the first Kiv screen's monitor now carries MONITORINFOF_PRIMARY,
// looking again for about a second only when it does not yet (shownPrimaryAfterApply). Writes
// "setPrimaryDevice completed result: 0" on success and returns the way taken; an empty Kiv list does
// nothing at all.
//
// When a record or the apply answers DISP_CHANGE_FAILED, the settings are put back as below and the
// same row is made through the display configuration (primary/DisplayConfigSwitch.h). When the apply
// succeeded and Windows kept another primary (what current Windows does with an indirect display, such
// as a USB display adapter's), the display configuration follows at once, without showing the layout
// from before in between: the settings' put-back is applied only when the display configuration fails
// too (or the session may not use it), and then shows and stores the layout from before the switch.
// Success writes "Orvi Kiv was made primary through the display configuration" before the completion
// line; a failure writes "Orvi Kiv could not be made primary through the display configuration
// either: " and what failed, and throws the display-settings failure below (ending in "; could not put
// back: the display configuration" when Windows refused to show the configuration from before again).
// When the session may not use the display configuration now (ERROR_ACCESS_DENIED from its query or
// its SetDisplayConfig), the settings are put back and DisplayConfigRefused leaves, nothing written: a
// refused look.
//
// With `settingsDeclined`, a Kiv screen that Windows declined the display settings for is added to it,
// and a Kiv screen in it goes straight to the display configuration: one layout shown. Its failure
// writes "Orvi Kiv could not be made primary through the display configuration: " and what failed, and
// throws "Failed to make Orvi Kiv primary through the display configuration: " and what failed.
//
// Throws util::WinException with the thread's last error when a screen's current mode cannot be
// read, std::runtime_error whose text ends in the DISP_CHANGE_* result in decimal when a change
// cannot be recorded or applied (DISP_CHANGE_RESTART included), and std::runtime_error "Failed apply
// settings with Orvi Kiv as primary screen: Windows kept another screen as primary" when the apply
// succeeded but the Kiv did not become primary (a monitor that cannot be read counts as not
// primary). Nothing is written then. A failed read comes before any record, so it leaves the stored
// settings as they were. When a record, the apply or the check fails, the stored settings are put
// back before the exception leaves (and the display configuration is tried): every screen recorded so
// far is recorded again at its old position, and, since the first Kiv screen was recorded as primary
// by then, the screen that was primary before is recorded with CDS_SET_PRIMARY. That is the screen
// that Windows still shows as primary after a failed check, also when it is in neither list (then
// recorded where it is, or at the origin when that cannot be read); otherwise the one of either list
// whose monitorInfo().dwFlags carries MONITORINFOF_PRIMARY; otherwise the screen that Windows shows as
// primary now. After an apply that answered DISP_CHANGE_FAILED or a failed check, the put-back is
// applied too. Each put-back call that Windows refuses is made once more after a pause
// (putBackCall); what still could not be put back is named at the end of the exception's text ("; could
// not put back: \\.\DISPLAY2"), and the display configuration is not tried then.
SwitchWay setPrimaryDevice(std::ostream& log, const std::vector<ScreenDevice>& kivScreens,
                           const std::vector<ScreenDevice>& otherScreens, SettingsDeclined* settingsDeclined = nullptr);

}  // namespace orvi
