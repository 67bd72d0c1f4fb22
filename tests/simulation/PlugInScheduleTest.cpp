#include "simulation/PlugInSchedule.h"

#include "platform/DesktopChanges.h"
#include "simulation/SimulatedWindowSystem.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using orvi::simulation::PlannedPlugIn;
using orvi::simulation::SimulatedAdapter;
using orvi::simulation::SimulatedDisplay;
using orvi::simulation::SimulatedWindowSystem;

// An adapter with one display device; `withPath`: attached and with a monitor, so that the display
// configuration grows by a path.
SimulatedAdapter usbAdapter(bool withPath = true) {
    SimulatedDisplay display;
    display.attached = withPath;
    display.monitors = {{4233, u"KIV USB", u""}};
    return SimulatedAdapter{u"USB Display Adapter", u"", {display}};
}

PlannedPlugIn plugIn(unsigned pass, bool withPath = true) { return PlannedPlugIn{pass, usbAdapter(withPath)}; }
PlannedPlugIn plugInAt(unsigned second) { return PlannedPlugIn{1, usbAdapter(), second}; }

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
        {"a timed plug-in has no query and moves no pass", {plugInAt(3), plugIn(1), plugIn(4)}, {0, 1, 5}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(orvi::simulation::sizesQueriesOf(c.plugIns), c.sizesQueries) << c.what;
    }
}

TEST(PlugInSchedule, PendingAreThoseAfterTheQueriesMadeAndFromTheNextSecondOn) {
    // Queries 5, 2 and 9.
    const std::vector<PlannedPlugIn> plugIns = {plugIn(4), plugInAt(47), plugIn(2), plugInAt(45), plugIn(7)};
    struct Case {
        unsigned sizesQueries;
        std::optional<unsigned> nextSecond;
        std::vector<std::string> pending;
    };
    const Case cases[] = {
        {0, 45, {"pass 4", "second 47", "pass 2", "second 45", "pass 7"}},
        {1, 45, {"pass 4", "second 47", "pass 2", "second 45", "pass 7"}},
        {2, 45, {"pass 4", "second 47", "second 45", "pass 7"}},
        {4, 47, {"pass 4", "second 47", "pass 7"}},
        {5, 47, {"second 47", "pass 7"}},
        {8, std::nullopt, {"pass 7"}},
        {9, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> pending;
        for (const PlannedPlugIn& planned : orvi::simulation::pendingPlugIns(plugIns, c.sizesQueries, c.nextSecond)) {
            pending.push_back(planned.atSecond ? "second " + std::to_string(*planned.atSecond)
                                               : "pass " + std::to_string(planned.duringPass));
        }
        EXPECT_EQ(pending, c.pending) << "after " << c.sizesQueries << " sizes queries";
    }
}

TEST(PlugInSchedule, ATimedPlugInArrivesOnceItsTimeHasComeAndIsAnnouncedOnce) {
    std::int64_t now = 0;
    SimulatedWindowSystem system(orvi::simulation::SimulatedDesktop{{usbAdapter()}});
    system.setClock([&now] { return now; });
    system.plugInAt(30, usbAdapter());
    system.plugInAt(20, usbAdapter());
    system.plugInAfterSizesQuery(2, usbAdapter(false));
    EXPECT_EQ(system.nextPlugInTime(), 20);

    now = 19;
    system.happenDue();
    EXPECT_EQ(system.desktop().adapters.size(), 1u);
    EXPECT_EQ(system.changeNotices(), 0u);

    // Both are due by the time of a sizes query; they arrive together, before it counts.
    now = 30;
    UINT32 paths = 0;
    UINT32 modes = 0;
    ASSERT_EQ(system.getDisplayConfigBufferSizes(QDC_DATABASE_CURRENT, &paths, &modes), 0);
    EXPECT_EQ(paths, 3u);
    EXPECT_EQ(system.changeNotices(), 1u);
    EXPECT_EQ(system.nextPlugInTime(), std::nullopt);
    EXPECT_EQ(system.desktop().adapters[2].displays[0].deviceName, u"\\\\.\\DISPLAY3");

    system.getDisplayConfigBufferSizes(QDC_DATABASE_CURRENT, &paths, &modes);
    EXPECT_EQ(system.changeNotices(), 2u) << "a plug-in after a sizes query is announced too";
}

// The host executable's notices: as on Windows, only a window that exists when the session comes back
// hears it, so a session that came back during a pass does not end the wait after it.
TEST(PlugInSchedule, AnUnlockIsHeardOnlyByAListenerThatExistedWhenItCame) {
    SimulatedWindowSystem& system = orvi::simulation::simulatedWindowSystem();
    system.reset(orvi::simulation::SimulatedDesktop{{usbAdapter()}});
    std::int64_t now = 0;
    system.setClock([&now] { return now; });
    system.lockSession(0, 5);
    system.lockSession(6, 7);
    now = 6;
    const auto listener = orvi::platform::desktopChanges().listen([](orvi::platform::Ending) {});
    ASSERT_NE(listener, nullptr);
    EXPECT_FALSE(listener->waitMilliseconds(0)) << "the unlock at 5 came before the listener";
    now = 7;
    EXPECT_TRUE(listener->waitMilliseconds(0)) << "the unlock at 7";
    system.reset(orvi::simulation::SimulatedDesktop{});
}

}  // namespace
