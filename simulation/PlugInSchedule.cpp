#include "simulation/PlugInSchedule.h"

#include <algorithm>
#include <set>

namespace orvi::simulation {
namespace {

bool addsDisplayPath(const SimulatedAdapter& adapter) {
    return std::any_of(adapter.displays.begin(), adapter.displays.end(),
                       [](const SimulatedDisplay& display) { return display.attached && !display.monitors.empty(); });
}

}  // namespace

std::vector<unsigned> sizesQueriesOf(const std::vector<PlannedPlugIn>& plugIns) {
    // Several plug-ins of one pass make the configuration grow once, so that pass repeats its query once.
    std::set<unsigned> passesThatRepeat;
    for (const PlannedPlugIn& plugIn : plugIns) {
        if (!plugIn.atSecond && addsDisplayPath(plugIn.adapter)) {
            passesThatRepeat.insert(plugIn.duringPass);
        }
    }
    std::vector<unsigned> result;
    for (const PlannedPlugIn& plugIn : plugIns) {
        if (plugIn.atSecond) {
            result.push_back(0);
            continue;
        }
        const auto earlierRepeats =
            std::distance(passesThatRepeat.begin(), passesThatRepeat.lower_bound(plugIn.duringPass));
        result.push_back(plugIn.duringPass + static_cast<unsigned>(earlierRepeats));
    }
    return result;
}

std::vector<PlannedPlugIn> pendingPlugIns(const std::vector<PlannedPlugIn>& plugIns, unsigned sizesQueries,
                                          std::optional<unsigned> nextSecond) {
    const std::vector<unsigned> queries = sizesQueriesOf(plugIns);
    std::vector<PlannedPlugIn> result;
    for (std::size_t i = 0; i < plugIns.size(); ++i) {
        const std::optional<unsigned>& second = plugIns[i].atSecond;
        if (second ? nextSecond && *second >= *nextSecond : queries[i] > sizesQueries) {
            result.push_back(plugIns[i]);
        }
    }
    return result;
}

}  // namespace orvi::simulation
