// When the plug-ins of a desktop file happen in the simulated window system. The window system knows
// no scan passes, only its calls: an adapter is plugged in right after a call of
// GetDisplayConfigBufferSizes (SimulatedWindowSystem::plugInAfterSizesQuery).
#pragma once

#include "simulation/DesktopFile.h"

#include <vector>

namespace orvi::simulation {

// The sizes query (the call of GetDisplayConfigBufferSizes, counted from 1) after which each
// plug-in happens, in the order of `plugIns`. A scan pass asks for the sizes once, and once more
// when the configuration grew before it was read: a pass during which a screen with a display path
// was plugged in asks twice, so every later pass starts one sizes query further on. An adapter
// without any attached display device that has a monitor adds no path and no second query.
std::vector<unsigned> sizesQueriesOf(const std::vector<PlannedPlugIn>& plugIns);

// The plug-ins that have not happened once `sizesQueries` sizes queries were made, in their order.
std::vector<PlannedPlugIn> pendingPlugIns(const std::vector<PlannedPlugIn>& plugIns, unsigned sizesQueries);

}  // namespace orvi::simulation
