// Makes a screen the primary display through the display configuration (SetDisplayConfig), the way
// that Windows takes for indirect displays when the display-settings way is declined.
#pragma once

#include "display/Narrow.h"

#include <optional>
#include <string>
#include <vector>

namespace orvi {

// Why the display configuration did not make the screen primary.
struct DisplayConfigFailure {
    std::string text;      // what failed, as the failing call's exception or answer gives it
    bool putBack = false;  // the configuration from before is shown and stored again (or was never left)
};

// Reads the configuration shown now (QueryDisplayConfig, QDC_ONLY_ACTIVE_PATHS), finds each path's
// screen by its source's GDI device name and moves the source modes: the screen named first in
// `row` to (0, 0), the others of `row` in its order in one row to its right, top edges at y = 0, each
// starting where the one before ends (its source mode's width). Screens that `row` does not name stay
// where they are. Paths that share a source (a clone) move together; every mode entry is written
// once. Applies and stores all of it with one SetDisplayConfig (SDC_APPLY |
// SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE) with every active path, then checks that
// Windows shows the first screen as primary (shownPrimaryAfterApply).
//
// Nothing when the first screen is primary afterwards. Otherwise what failed: a query's
// util::WinException text, a screen of `row` without a source mode, SetDisplayConfig's error
// ("SetDisplayConfig failed: " and the system's text), or "Windows kept another screen as primary".
// After SetDisplayConfig was called, the configuration read at the start is applied and stored again,
// a second time when Windows refuses that once. Throws nothing but std::bad_alloc.
std::optional<DisplayConfigFailure> switchThroughDisplayConfig(const std::vector<WideString>& row);

}  // namespace orvi
