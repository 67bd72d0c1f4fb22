// When the plug-ins of a desktop file happen in the simulated window system. The window system knows
// no scan passes, only its calls: an adapter planned for a pass is plugged in right after a call of
// GetDisplayConfigBufferSizes (SimulatedWindowSystem::plugInAfterSizesQuery). One planned for a
// second is plugged in at its time (SimulatedWindowSystem::plugInAt).
#pragma once

#include "desktopfile/DesktopFile.h"

#include <optional>
#include <vector>

namespace orvi::simulation {

// The sizes query (the call of GetDisplayConfigBufferSizes, counted from 1) after which each
// plug-in happens, in the order of `plugIns`. A scan pass asks for the sizes once, and once more
// when the configuration grew before it was read: a pass during which a screen with a display path
// was plugged in asks twice, so every later pass starts one sizes query further on. An adapter
// without any attached display device that has a monitor adds no path and no second query. A plug-in
// planned for a second has no query (0) and adds none: it arrives before a pass counts the sizes.
std::vector<unsigned> sizesQueriesOf(const std::vector<PlannedPlugIn>& plugIns);

// The plug-ins that have not happened, in their order, once `sizesQueries` sizes queries were made
// and while `nextSecond` is the second of the earliest timed plug-in still to come (none: every
// timed plug-in has happened). Timed plug-ins arrive in the order of their seconds.
std::vector<PlannedPlugIn> pendingPlugIns(const std::vector<PlannedPlugIn>& plugIns, unsigned sizesQueries,
                                          std::optional<unsigned> nextSecond);

}  // namespace orvi::simulation
