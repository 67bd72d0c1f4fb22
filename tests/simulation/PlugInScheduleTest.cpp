#include "simulation/PlugInSchedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using orvi::simulation::PlannedPlugIn;
using orvi::simulation::SimulatedAdapter;
using orvi::simulation::SimulatedDisplay;

// A plug-in of an adapter with one display device; `withPath`: attached and with a monitor, so
// that the display configuration grows by a path.
PlannedPlugIn plugIn(unsigned pass, bool withPath = true) {
    SimulatedDisplay display;
    display.attached = withPath;
    display.monitors = {{4233, u"KIV USB", u""}};
    return PlannedPlugIn{pass, SimulatedAdapter{u"USB Display Adapter", u"", {display}}};
}

TEST(PlugInSchedule, EachPassThatMeetsAGrownConfigurationMovesTheLaterPassesOnByOneQuery) {
    struct Case {
        const char* what;
        std::vector<PlannedPlugIn> plugIns;
        std::vector<unsigned> sizesQueries;
    };
    SimulatedAdapter withoutMonitor{u"GPU", u"", {SimulatedDisplay{}}};
    const Case cases[] = {
        {"none", {}, {}},
        {"one", {plugIn(5)}, {5}},
        {"the first pass", {plugIn(1)}, {1}},
        {"two passes", {plugIn(2), plugIn(4)}, {2, 5}},
        {"written out of order", {plugIn(4), plugIn(2)}, {5, 2}},
        {"one pass twice, then another", {plugIn(3), plugIn(3), plugIn(5)}, {3, 3, 6}},
        {"a device that is not attached adds no path", {plugIn(2, false), plugIn(4)}, {2, 4}},
        {"a display device without monitor adds no path", {PlannedPlugIn{2, withoutMonitor}, plugIn(4)}, {2, 4}},
        {"a pathless plug-in beside one with a path", {plugIn(2, false), plugIn(2), plugIn(3)}, {2, 2, 4}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(orvi::simulation::sizesQueriesOf(c.plugIns), c.sizesQueries) << c.what;
    }
}

TEST(PlugInSchedule, PendingAreThoseAfterTheQueriesMade) {
    const std::vector<PlannedPlugIn> plugIns = {plugIn(4), plugIn(2), plugIn(7)};  // queries 5, 2, 9
    struct Case {
        unsigned sizesQueries;
        std::vector<unsigned> pendingPasses;
    };
    const Case cases[] = {{0, {4, 2, 7}}, {1, {4, 2, 7}}, {2, {4, 7}}, {4, {4, 7}}, {5, {7}}, {8, {7}}, {9, {}}};
    for (const Case& c : cases) {
        std::vector<unsigned> passes;
        for (const PlannedPlugIn& pending : orvi::simulation::pendingPlugIns(plugIns, c.sizesQueries)) {
            passes.push_back(pending.duringPass);
        }
        EXPECT_EQ(passes, c.pendingPasses) << "after " << c.sizesQueries << " sizes queries";
    }
}

}  // namespace
