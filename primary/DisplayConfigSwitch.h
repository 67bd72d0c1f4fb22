// Makes a screen the primary display through the display configuration (SetDisplayConfig), the way
// that Windows takes for indirect displays when the display-settings way is declined.
#pragma once

#include "display/Narrow.h"
#include "platform/Win32.h"

#include <optional>
#include <string>
#include <vector>

namespace orvi {

// Why the display configuration did not make the screen primary.
struct DisplayConfigFailure {
    std::string text;      // what failed, as the failing call's exception or answer gives it
    bool putBack = false;  // the configuration from before is shown and stored again (or was never left)
};

// Reads the configuration shown now (QueryDisplayConfig, QDC_ONLY_ACTIVE_PATHS) virtual-mode-aware and
// virtual-refresh-rate-aware, or virtual-mode-aware alone, or in the plain layout, the first whose query
// Windows takes (a query refused with ERROR_INVALID_PARAMETER goes on to the next); finds each path's
// screen by its source's GDI device name and its source mode by the path's index (sourceModeInfoIdx
// where the path supports virtual modes, modeInfoIdx otherwise, and the other half of the union where
// that names no entry), taking only an entry of the path's own source id and adapter. Moves the source
// modes alone: the screen named first in `row` to (0, 0), the others of `row` in its order in one row
// to its right, top edges at y = 0, each starting where the one before ends (its source mode's width),
// and after them every other active source in its left-to-right order. Paths that share a source (a
// clone) move together; every mode entry is written once. Applies and stores all of it with one
// SetDisplayConfig (SDC_APPLY | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE, with the SDC_
// flags that match the query's) with every active path, then checks that Windows shows the first
// screen as primary (shownPrimaryAfterApply).
//
// An apply refused with ERROR_INVALID_PARAMETER changed nothing, and means that the configuration no
// longer matches the screens or that Windows does not take the flags at the apply. The configuration
// is asked for in the next layout: where its paths differ from the refused one's, the screens changed,
// and it is asked for again in the same layout and applied (at most kQueriesAgain times); otherwise
// the row made of it is validated (SDC_VALIDATE) and, where Windows takes it, applied; refused with 87
// too, the next layout is tried the same way.
//
// Nothing when the first screen is primary afterwards. Otherwise what failed: a query's
// util::WinException text, a screen of `row` without a source mode, SetDisplayConfig's error
// ("SetDisplayConfig failed: " and the system's text), or "Windows kept another screen as primary".
// Then, with `putBack`, unless the failure is a refusal with 87 (Windows applied nothing) or a fresh
// query shows the configuration read at the start still (nothing to restore, nothing to store over the
// layout Windows keeps), that configuration is applied and
// stored again with the flags it was read with, once more after a pause when Windows refuses that
// (putBackCall), and when it refuses twice the layout that Windows stored last is shown (SDC_APPLY |
// SDC_USE_DATABASE_CURRENT). Without `putBack` the caller restores the layout from before (the
// configuration read at the start is not that layout when the display settings were applied just
// before); `putBack` of the failure is then false.
//
// Throws DisplayConfigRefused when the session may not use the display configuration now: a query or
// source name, or the SetDisplayConfig that makes the row, answering ERROR_ACCESS_DENIED (the latter
// as "SetDisplayConfig failed"); nothing was changed then. Throws nothing else but std::bad_alloc.
std::optional<DisplayConfigFailure> switchThroughDisplayConfig(const std::vector<WideString>& row, bool putBack = true);

// What SetDisplayConfig answered to a row that it was only asked about, and the flags it was asked with.
struct RowVerdict {
    LONG result;  // ERROR_SUCCESS when Windows takes the row
    UINT32 flags;
};

// Asks SetDisplayConfig with SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG about the configuration that
// switchThroughDisplayConfig would apply for `row`, in its layouts in turn: an answer of
// ERROR_INVALID_PARAMETER goes on to the next layout, and the last layout's answer stands. Changes
// nothing. Throws as the reading and the row do there: DisplayConfigRefused, util::WinException,
// std::runtime_error for a screen of `row` without a source mode.
RowVerdict validateRow(const std::vector<WideString>& row);

}  // namespace orvi
