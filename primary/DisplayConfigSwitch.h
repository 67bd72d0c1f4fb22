// Makes a screen the primary display through the display configuration (SetDisplayConfig), the way
// that Windows takes for indirect displays when the display-settings way is declined.
#pragma once

#include "display/Narrow.h"

#include <vector>

namespace orvi {

// Reads the configuration shown now (QueryDisplayConfig, QDC_ONLY_ACTIVE_PATHS), finds each path's
// screen by its source's GDI device name and moves the source modes: the screen named first in
// `row` to (0, 0), the others of `row` in its order in one row to its right, top edges at y = 0, each
// starting where the one before ends (its source mode's width), then the screens that `row` does not
// name, in path order. Paths that share a source (a clone) move together; every mode entry is written
// once. Applies and stores all of it with one SetDisplayConfig (SDC_APPLY |
// SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE) with every active path, then checks that
// Windows shows the first screen as primary (shownPrimaryAfterApply).
//
// Throws, with what failed, util::WinException when a query fails or SetDisplayConfig answers an
// error, std::runtime_error when a screen of `row` has no path with a source mode or Windows kept
// another primary. When SetDisplayConfig had been called, the configuration read at the start has
// been applied and stored again by then; when that failed too, the text says so.
void switchThroughDisplayConfig(const std::vector<WideString>& row);

}  // namespace orvi
