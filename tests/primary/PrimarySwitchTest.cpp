#include "primary/PrimarySwitch.h"

#include "primary/PutBackCall.h"
#include "tests/primary/DesktopLayout.h"
#include "tests/support/TestDesktops.h"
#include "util/WinException.h"

#include <gtest/gtest.h>

#include <cstring>

#include <algorithm>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace orvi::testing;
using orvi::ScreenDevice;
using orvi::setPrimaryDevice;
using orvi::simulation::DisplayOperation;
using orvi::util::formatWinError;
using orvi::util::WinException;
using Lines = std::vector<std::string>;

SimulatedDisplay displayAt(LONG x, LONG y, DWORD width, DWORD height, bool primary = false) {
    SimulatedDisplay result = display({monitor(1, u"Screen")}, x, primary);
    result.y = y;
    result.width = width;
    result.height = height;
    return result;
}

// A screen record for \\.\DISPLAY<number>, as the enumeration would make it from the served
// desktop: the switch reads only the monitor's device name and whether GetMonitorInfoW said primary.
ScreenDevice screen(int number) {
    DISPLAY_DEVICEW device{};
    device.cb = sizeof(device);
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    const std::string name = "\\\\.\\DISPLAY" + std::to_string(number);
    for (std::size_t i = 0; i < name.size(); ++i) {
        info.szDevice[i] = static_cast<WCHAR>(name[i]);
    }
    for (const auto& adapter : orvi::simulation::simulatedWindowSystem().desktop().adapters) {
        for (const auto& display : adapter.displays) {
            if ((display.primary || display.monitorInfoPrimary) &&
                display.deviceName == std::u16string(name.begin(), name.end())) {
                info.dwFlags = MONITORINFOF_PRIMARY;
            }
        }
    }
    return ScreenDevice(device, info, orvi::TargetDeviceInfo{});
}

// \\.\DISPLAY<number> of a desktop whose display device names are left to their count.
SimulatedDisplay& numbered(SimulatedDesktop& desktop, int number) {
    int count = 0;
    for (SimulatedAdapter& each : desktop.adapters) {
        for (SimulatedDisplay& display : each.displays) {
            if (++count == number) {
                return display;
            }
        }
    }
    throw std::out_of_range("no DISPLAY" + std::to_string(number));
}

std::vector<ScreenDevice> screens(std::initializer_list<int> numbers) {
    std::vector<ScreenDevice> result;
    for (const int number : numbers) {
        result.push_back(screen(number));
    }
    return result;
}

class PrimarySwitchTest : public SimulatedDesktopTest {
protected:
    std::ostringstream log;
};

TEST_F(PrimarySwitchTest, LinesTheOtherScreensUpToTheRightOfTheKivInListOrder) {
    // DISPLAY1 and DISPLAY2 on the GPU, the Kiv (DISPLAY3) on its USB display adapter.
    serve(SimulatedDesktop{{adapter(kGpuId, {displayAt(0, 0, 1920, 1080, true), displayAt(-1920, 0, 1920, 1080)}),
                            adapter(kVarelId, {displayAt(1920, 0, 1280, 800)})}});

    setPrimaryDevice(log, screens({3}), screens({1, 2}));

    EXPECT_EQ(settingsCalls(),
              (Lines{"read DISPLAY3", "read DISPLAY1", "read DISPLAY2", "store DISPLAY3 0x10000019 at (0,0)",
                     "store DISPLAY1 0x10000009 at (1280,0)", "store DISPLAY2 0x10000009 at (3200,0)", "apply 0x0"}));
    EXPECT_EQ(layout(), (Lines{"DISPLAY1 1920x1080 at (1280,0)", "DISPLAY2 1920x1080 at (3200,0)",
                               "DISPLAY3 1280x800 at (0,0) primary"}));
    EXPECT_EQ(storedLayout(), layout()) << "the layout outlasts the run";
    EXPECT_EQ(log.str(), "setPrimaryDevice completed result: 0\n");
    EXPECT_EQ(windowSystem().pausedMilliseconds(), 0u) << "a primary shown at once is not looked for again";
}

TEST_F(PrimarySwitchTest, MovesAScreenBelowAnotherIntoTheRow) {
    serve(SimulatedDesktop{{adapter(kGpuId, {displayAt(0, 0, 1920, 1080, true), displayAt(0, 1080, 2560, 1440)}),
                            adapter(kVarelId, {displayAt(1920, 0, 1280, 800)})}});

    setPrimaryDevice(log, screens({3}), screens({1, 2}));

    EXPECT_EQ(layout(), (Lines{"DISPLAY1 1920x1080 at (1280,0)", "DISPLAY2 2560x1440 at (3200,0)",
                               "DISPLAY3 1280x800 at (0,0) primary"}));
}

TEST_F(PrimarySwitchTest, PlacesFurtherKivScreensRightAfterTheFirstBeforeAnyOtherScreen) {
    serve(SimulatedDesktop{{adapter(kGpuId, {displayAt(0, 0, 1920, 1080, true)}),
                            adapter(kVarelId, {displayAt(1920, 0, 1280, 800), displayAt(3200, 0, 1024, 600)})}});

    setPrimaryDevice(log, screens({2, 3}), screens({1}));

    EXPECT_EQ(settingsCalls(),
              (Lines{"read DISPLAY2", "read DISPLAY3", "read DISPLAY1", "store DISPLAY2 0x10000019 at (0,0)",
                     "store DISPLAY3 0x10000009 at (1280,0)", "store DISPLAY1 0x10000009 at (2304,0)", "apply 0x0"}));
    EXPECT_EQ(layout(), (Lines{"DISPLAY1 1920x1080 at (2304,0)", "DISPLAY2 1280x800 at (0,0) primary",
                               "DISPLAY3 1024x600 at (1280,0)"}));
}

TEST_F(PrimarySwitchTest, LeavesScreensInNeitherListAlone) {
    // DISPLAY3 stands for a Kiv of the other variant.
    serve(SimulatedDesktop{{adapter(
        kGpuId, {displayAt(0, 0, 1920, 1080, true), displayAt(1920, 0, 1920, 1080), displayAt(-800, 300, 800, 480)})}});

    setPrimaryDevice(log, screens({2}), screens({1}));

    EXPECT_EQ(settingsCalls(), (Lines{"read DISPLAY2", "read DISPLAY1", "store DISPLAY2 0x10000019 at (0,0)",
                                      "store DISPLAY1 0x10000009 at (1920,0)", "apply 0x0"}));
    EXPECT_EQ(layout()[2], "DISPLAY3 800x480 at (-800,300)");
}

TEST_F(PrimarySwitchTest, ALoneKivIsStoredAsPrimaryAndApplied) {
    serve(SimulatedDesktop{
        {adapter(kGpuId, {displayAt(0, 0, 1920, 1080, true)}), adapter(kVarelId, {displayAt(1920, 0, 1280, 800)})}});

    setPrimaryDevice(log, screens({2}), {});

    EXPECT_EQ(settingsCalls(), (Lines{"read DISPLAY2", "store DISPLAY2 0x10000019 at (0,0)", "apply 0x0"}));
    EXPECT_EQ(layout()[1], "DISPLAY2 1280x800 at (0,0) primary");
    EXPECT_EQ(log.str(), "setPrimaryDevice completed result: 0\n");
}

TEST_F(PrimarySwitchTest, AnEmptyKivListDoesNothing) {
    serve(SimulatedDesktop{{adapter(kGpuId, {displayAt(0, 0, 1920, 1080, true), displayAt(1920, 0, 1920, 1080)})}});

    setPrimaryDevice(log, {}, screens({1, 2}));

    EXPECT_TRUE(windowSystem().calls().empty());
    EXPECT_EQ(log.str(), "");
}

// Current Windows declines the display settings that would make an indirect display (a USB display
// adapter's) primary; the display configuration then makes the same row, virtual-mode-aware where
// Windows takes that, clones moving together and the screens in neither list (DISPLAY3, DISPLAY4)
// following the row left to right.
TEST_F(PrimarySwitchTest, MakesTheRowThroughTheDisplayConfigurationWhereWindowsDeclinesTheSettings) {
    using orvi::simulation::LegacyIndirectPrimary;
    using orvi::simulation::VirtualModeAware;
    struct Case {
        const char* what;
        LegacyIndirectPrimary legacy;
        unsigned failingChange;  // a ChangeDisplaySettingsEx answering DISP_CHANGE_FAILED (0: none)
        VirtualModeAware virtualModeAware;
        Lines secondWay;   // its query and SetDisplayConfig
        int layoutsShown;  // the applies that Windows took
        SimulatedDisplay::VirtualModePaths kivPaths = SimulatedDisplay::VirtualModePaths::Supported;
        // The panel's paths packed without their flag, with this clone group and its source mode listed
        // first: read plain, their source index is the clone group.
        std::optional<UINT16> panelCloneGroup = std::nullopt;
    };
    const auto supported = SimulatedDisplay::VirtualModePaths::Supported;
    const Lines aware{"query active 0x52", "set config 0x282a0"};
    for (const Case& c : {Case{"record refused", LegacyIndirectPrimary::Failed, 0, VirtualModeAware::Taken, aware, 1},
                          // The refresh-rate flag refused at the apply: asked and applied mode-aware alone.
                          Case{"refresh rates refused at the apply",
                               LegacyIndirectPrimary::Failed,
                               0,
                               VirtualModeAware::RefreshRateRefusedAtApply,
                               {"query active 0x12", "set config 0x8060", "set config 0x82a0"},
                               1},
                          // Both flags refused at the apply: plain, each step validated first.
                          Case{"aware flags refused at the apply",
                               LegacyIndirectPrimary::Failed,
                               0,
                               VirtualModeAware::AwareRefusedAtApply,
                               {"set config 0x282a0 -> 87", "query active 0x12", "set config 0x8060 -> 87",
                                "query active", "set config 0x60", "set config 0x2a0"},
                               1},
                          // The Kiv's source mode found through the other half of its path's index.
                          Case{"the Kiv's path packed without its flag", LegacyIndirectPrimary::Failed, 0,
                               VirtualModeAware::Taken, aware, 1, SimulatedDisplay::VirtualModePaths::Unflagged},
                          Case{"the Kiv's path plain in the aware layout", LegacyIndirectPrimary::Failed, 0,
                               VirtualModeAware::Taken, aware, 1, SimulatedDisplay::VirtualModePaths::Plain},
                          // Read plain, the panel's index names DISPLAY2's source mode (entry 5: source 1
                          // of the GPU), or the Kiv's (entry 14: source 0 of its adapter): not the panel's.
                          Case{"another source of the adapter", LegacyIndirectPrimary::Failed, 0,
                               VirtualModeAware::Taken, aware, 1, supported, 5},
                          Case{"the same source id of another adapter", LegacyIndirectPrimary::Failed, 0,
                               VirtualModeAware::Taken, aware, 1, supported, 14},
                          // Applied but for the primary: the display configuration follows at once.
                          Case{"primary ignored", LegacyIndirectPrimary::Ignored, 0, VirtualModeAware::Taken, aware, 2},
                          Case{"apply refused", LegacyIndirectPrimary::Taken, 4, VirtualModeAware::Taken, aware, 2},
                          Case{"aware flags refused",
                               LegacyIndirectPrimary::Failed,
                               0,
                               VirtualModeAware::Refused,
                               {"query active", "set config 0x2a0"},
                               1}}) {
        SCOPED_TRACE(c.what);
        SimulatedDisplay cloned = displayAt(0, 0, 1920, 1080, true);
        cloned.monitors.push_back(monitor(2, u"Projector"));
        cloned.dynamicRefresh = true;
        SimulatedDesktop desktop{{adapter(kGpuId, {cloned, displayAt(-1920, 0, 1920, 1080),
                                                   displayAt(1920, 1080, 1024, 768), displayAt(-1920, 1080, 800, 600)}),
                                  adapter(kVarelId, {displayAt(1920, 0, 1280, 800)})}};
        desktop.adapters[1].indirect = true;
        desktop.adapters[1].displays[0].virtualModePaths = c.kivPaths;
        if (c.panelCloneGroup) {
            desktop.adapters[0].displays[0].virtualModePaths = SimulatedDisplay::VirtualModePaths::Unflagged;
            desktop.adapters[0].displays[0].cloneGroupId = c.panelCloneGroup;
            desktop.sourceModesFirst = true;
        }
        desktop.legacyIndirectPrimary = c.legacy;
        desktop.virtualModeAware = c.virtualModeAware;
        serve(desktop);
        if (c.failingChange != 0) {
            windowSystem().failCall(DisplayOperation::ChangeDisplaySettingsEx, c.failingChange, DISP_CHANGE_FAILED);
        }
        log.str("");

        orvi::SettingsDeclined declined;
        EXPECT_EQ(setPrimaryDevice(log, screens({5}), screens({1, 2}), &declined),
                  orvi::SwitchWay::DisplayConfiguration);

        const auto layoutsShown = [](const Lines& calls) {
            return std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
                const bool applied = call.rfind("apply", 0) == 0 ||
                                     (call.rfind("set config 0x", 0) == 0 &&
                                      (std::stoul(call.substr(std::strlen("set config 0x")), nullptr, 16) & SDC_APPLY));
                return applied && call.find("->") == std::string::npos;
            });
        };
        const Lines calls = settingsCalls();
        const auto secondWay = static_cast<std::ptrdiff_t>(c.secondWay.size());
        EXPECT_EQ(Lines(calls.end() - secondWay, calls.end()), c.secondWay);
        EXPECT_EQ(layoutsShown(calls), c.layoutsShown);
        // Later switches of that Kiv in the run: the display configuration alone, one layout.
        EXPECT_EQ(setPrimaryDevice(log, screens({5}), screens({1, 2}), &declined),
                  orvi::SwitchWay::DisplayConfiguration);
        const Lines all = settingsCalls();
        const Lines later(all.begin() + static_cast<std::ptrdiff_t>(calls.size()), all.end());
        EXPECT_EQ(Lines(later.begin(), later.begin() + 3), (Lines{"read DISPLAY5", "read DISPLAY1", "read DISPLAY2"}));
        EXPECT_EQ(Lines(later.end() - secondWay, later.end()), c.secondWay);
        EXPECT_EQ(layoutsShown(later), 1);
        EXPECT_EQ(layout(), (Lines{"DISPLAY1 1920x1080 at (1280,0)", "DISPLAY2 1920x1080 at (3200,0)",
                                   "DISPLAY3 1024x768 at (5920,0)", "DISPLAY4 800x600 at (5120,0)",
                                   "DISPLAY5 1280x800 at (0,0) primary"}));
        EXPECT_EQ(storedLayout(), layout());
        for (const SimulatedDesktop& after : {windowSystem().desktop(), windowSystem().storedLayout()}) {
            EXPECT_TRUE(after.adapters[0].displays[0].dynamicRefresh) << "the panel's refresh rate stays dynamic";
            EXPECT_FALSE(after.adapters[0].displays[1].dynamicRefresh);
        }
        const std::string made =
            "Orvi Kiv was made primary through the display configuration\nsetPrimaryDevice completed result: 0\n";
        EXPECT_EQ(log.str(), made + made);
    }
}

// A screen plugged in between the display configuration's query and its apply: Windows refuses the
// configuration with 87, which here means that it no longer matches the screens; it is asked for again
// with the same flags, not with fewer.
TEST_F(PrimarySwitchTest, AsksAgainWhereTheScreensChangedBetweenTheQueryAndTheApply) {
    SimulatedDesktop desktop{
        {adapter(kGpuId, {displayAt(0, 0, 1920, 1080, true)}), adapter(kVarelId, {displayAt(1920, 0, 1280, 800)})}};
    desktop.adapters[1].indirect = true;
    desktop.legacyIndirectPrimary = orvi::simulation::LegacyIndirectPrimary::Failed;
    serve(desktop);
    windowSystem().plugInAfterQuery(1, adapter(u"PCI\\VEN_10DE&DEV_1C82", {displayAt(3200, 0, 1024, 768)}));

    EXPECT_EQ(setPrimaryDevice(log, screens({2}), screens({1})), orvi::SwitchWay::DisplayConfiguration);

    const Lines calls = settingsCalls();
    EXPECT_EQ(Lines(calls.end() - 5, calls.end()),
              (Lines{"query active 0x52", "set config 0x282a0 -> 87", "query active 0x12", "query active 0x52",
                     "set config 0x282a0"}));
    EXPECT_EQ(layout(), (Lines{"DISPLAY1 1920x1080 at (1280,0)", "DISPLAY2 1280x800 at (0,0) primary",
                               "DISPLAY3 1024x768 at (3200,0)"}));

    // Screens that change after every query are asked for twice more, then the refusal stands.
    serve(desktop);
    for (const unsigned query : {1u, 3u, 5u}) {
        windowSystem().plugInAfterQuery(query, adapter(u"PCI\\VEN_10DE&DEV_1C82", {displayAt(3200, 0, 1024, 768)}));
    }
    EXPECT_THROW(setPrimaryDevice(log, screens({2}), screens({1})), std::runtime_error);
    const Lines refused = settingsCalls();
    EXPECT_EQ(std::count(refused.begin(), refused.end(), "set config 0x282a0 -> 87"), 3);
    EXPECT_EQ(refused.back(), "query active 0x12") << "refused, nothing was applied: nothing is put back";
}

// The first failure ends the switch: nothing is applied, nothing logged, and what was recorded
// before it is recorded back as it was, the former primary as primary.
struct SwitchFailure {
    const char* what;
    DisplayOperation operation;
    unsigned occurrence;  // of that operation
    LONG code;            // the last error of a failed read, or the result of a change
    std::string message;  // the exception's text
    bool windowsError;    // WinException rather than a plain std::runtime_error
    Lines calls;
    std::vector<unsigned> alsoFailingChanges = {};  // ChangeDisplaySettingsEx calls of the put-back that fail too
    Lines storedAfter = {};                         // the stored layout afterwards; empty: as before
    bool declinesPrimary = false;                   // Windows answers the apply with success and keeps its primary
    // Declined, the display settings are followed by the display configuration, which fails too: its
    // SetDisplayConfig fails, or, where Windows declines the primary, is declined.
    bool secondWayTried = false;
    unsigned pausedMilliseconds = 0;  // before put-back calls made once more, beyond the looks at the primary
    std::vector<unsigned> alsoFailingSetDisplayConfig = {};  // beyond the first, which fails where it is tried
    int monitorInfoPrimary = 0;  // a screen whose monitor information says primary though it is not (0: none)
    orvi::simulation::VirtualModeAware virtualModeAware = orvi::simulation::VirtualModeAware::Taken;
    unsigned primaryLooks = 2;  // where Windows declines the primary: the seconds spent looking for it
};

void PrintTo(const SwitchFailure& failure, std::ostream* out) { *out << failure.what; }

const std::string kStorePrimary = "Failed to set Orvi Kiv as primary Screen. Err(ChangeDisplaySettingsEx): ";
const std::string kStoreOther = "Failed to update Screen position. Err(ChangeDisplaySettingsEx): ";
const std::string kApply = "Failed apply settings with Orvi Kiv as primary screen. Err(ChangeDisplaySettingsEx): ";
const std::string kKeptAnother =
    "Failed apply settings with Orvi Kiv as primary screen: Windows kept another screen as primary";

// Kiv screens DISPLAY4 and DISPLAY5, then the other screens DISPLAY1 (the primary), DISPLAY2 and
// DISPLAY3: every mode is read before anything is recorded.
const Lines kReads{"read DISPLAY4", "read DISPLAY5", "read DISPLAY1", "read DISPLAY2", "read DISPLAY3"};
const Lines kRecords{"store DISPLAY4 0x10000019 at (0,0)", "store DISPLAY5 0x10000009 at (1280,0)",
                     "store DISPLAY1 0x10000009 at (2560,0)", "store DISPLAY2 0x10000009 at (4480,0)",
                     "store DISPLAY3 0x10000009 at (6400,0)"};
// Each of them recorded back where it was; DISPLAY1 as the primary.
const Lines kRecordsBack{"store DISPLAY4 0x10000009 at (1920,0)", "store DISPLAY5 0x10000009 at (3200,0)",
                         "store DISPLAY1 0x10000019 at (0,0)", "store DISPLAY2 0x10000009 at (-1920,0)",
                         "store DISPLAY3 0x10000009 at (0,1080)"};

// The display configuration tried after the settings were declined, and put back after its failure.
const std::string kSetConfig = "set config 0x282a0";
// Windows shows the configuration from before still: nothing is put back.
const Lines kSecondWayFailing{"query active 0x52", kSetConfig + " -> 31", "query active 0x52"};
// Declined after the settings were applied: the settings' put-back follows the display configuration.
const Lines kSecondWayDeclined{"query active 0x52", kSetConfig};

// The stored layout after DISPLAY4, recorded as primary at the origin, could not be recorded back.
const Lines kDisplay4NotPutBack{"DISPLAY1 1920x1080 at (0,0) primary", "DISPLAY2 1920x1080 at (-1920,0)",
                                "DISPLAY3 1920x1080 at (0,1080)", "DISPLAY4 1280x800 at (0,0)",
                                "DISPLAY5 1280x800 at (3200,0)"};

Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

Lines firstOf(const Lines& lines, std::size_t count) {
    return Lines(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(count));
}

// Every read, the first `recorded` records, the failing call, and the put-back: the recorded screens
// and the former primary, DISPLAY1, even when it was not recorded yet.
// Every read and record, the apply that Windows took but for the primary, the display configuration,
// and then the put-back of the layout from before: every screen recorded back, and applied.
Lines callsDeclinedThenPutBack(const Lines& secondWay) {
    return kReads + kRecords + Lines{"apply 0x0"} + secondWay + kRecordsBack + Lines{"apply 0x0"};
}

Lines callsFailingAfter(std::size_t recorded, const std::string& failedCall) {
    Lines putBack = firstOf(kRecordsBack, recorded);
    if (recorded < 3) {
        putBack.push_back(kRecordsBack[2]);
    }
    return kReads + firstOf(kRecords, recorded) + Lines{failedCall} + putBack;
}

// DISPLAY5's record fails with `code`, and DISPLAY4, recorded before it, cannot be recorded back.
SwitchFailure putBackFailsTwice(const char* what, LONG code) {
    const std::string result = std::to_string(code);
    return SwitchFailure{what,
                         DisplayOperation::ChangeDisplaySettingsEx,
                         2,
                         code,
                         kStoreOther + result + "; could not put back: \\\\.\\DISPLAY4",
                         false,
                         kReads + Lines{kRecords[0], "store DISPLAY5 0x10000009 at (1280,0) -> " + result,
                                        "store DISPLAY4 0x10000009 at (1920,0) -> -1",
                                        "store DISPLAY4 0x10000009 at (1920,0) -> -1", kRecordsBack[2]},
                         {3, 4},
                         kDisplay4NotPutBack,
                         false,
                         false,
                         orvi::kPutBackPauseMilliseconds};
}

class PrimarySwitchFailureTest : public PrimarySwitchTest, public ::testing::WithParamInterface<SwitchFailure> {};

TEST_P(PrimarySwitchFailureTest, StopsAtTheFirstFailureAndPutsBackWhatWasRecorded) {
    const SwitchFailure& failure = GetParam();
    SimulatedDesktop desktop{{adapter(kGpuId, {displayAt(0, 0, 1920, 1080, true), displayAt(-1920, 0, 1920, 1080),
                                               displayAt(0, 1080, 1920, 1080)}),
                              adapter(kVarelId, {displayAt(1920, 0, 1280, 800), displayAt(3200, 0, 1280, 800)})}};
    desktop.declinesPrimary = failure.declinesPrimary;
    desktop.virtualModeAware = failure.virtualModeAware;
    if (failure.monitorInfoPrimary != 0) {
        numbered(desktop, failure.monitorInfoPrimary).monitorInfoPrimary = true;
    }
    serve(desktop);
    const Lines before = layout();
    windowSystem().failCall(failure.operation, failure.occurrence, failure.code);
    for (const unsigned occurrence : failure.alsoFailingChanges) {
        windowSystem().failCall(DisplayOperation::ChangeDisplaySettingsEx, occurrence, DISP_CHANGE_FAILED);
    }
    if (failure.secondWayTried && !failure.declinesPrimary) {
        windowSystem().failCall(DisplayOperation::SetDisplayConfig, 1, ERROR_GEN_FAILURE);
    }
    for (const unsigned occurrence : failure.alsoFailingSetDisplayConfig) {
        windowSystem().failCall(DisplayOperation::SetDisplayConfig, occurrence, ERROR_GEN_FAILURE);
    }

    try {
        setPrimaryDevice(log, screens({4, 5}), screens({1, 2, 3}));
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), failure.message);
        EXPECT_EQ(dynamic_cast<const WinException*>(&error) != nullptr, failure.windowsError);
    }
    EXPECT_EQ(settingsCalls(), failure.calls);
    EXPECT_EQ(layout(), before) << "nothing applied";
    EXPECT_EQ(storedLayout(), failure.storedAfter.empty() ? before : failure.storedAfter);
    const std::string secondWayFailure = failure.declinesPrimary
                                             ? "Windows kept another screen as primary"
                                             : formatWinError({ERROR_GEN_FAILURE, "SetDisplayConfig failed"});
    EXPECT_EQ(log.str(), failure.secondWayTried
                             ? "Orvi Kiv could not be made primary through the display configuration either: " +
                                   secondWayFailure + "\n"
                             : "");
    EXPECT_EQ(windowSystem().pausedMilliseconds(),
              (failure.declinesPrimary ? 1000u * failure.primaryLooks : 0u) + failure.pausedMilliseconds)
        << "looked for the new primary for about a second after each way";
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, PrimarySwitchFailureTest,
    ::testing::Values(
        SwitchFailure{"ReadKiv",
                      DisplayOperation::EnumDisplaySettings,
                      1,
                      ERROR_INVALID_PARAMETER,
                      formatWinError({ERROR_INVALID_PARAMETER, "Failed to get Orvi Kiv Screen settings"}),
                      true,
                      {"read DISPLAY4 -> FALSE"}},
        SwitchFailure{"StoreKiv",
                      DisplayOperation::ChangeDisplaySettingsEx,
                      1,
                      DISP_CHANGE_FAILED,
                      kStorePrimary + "-1",
                      false,
                      kReads + Lines{"store DISPLAY4 0x10000019 at (0,0) -> -1"} + kSecondWayFailing,
                      {},
                      {},
                      false,
                      true},
        SwitchFailure{"StoreKivNeedsRestart", DisplayOperation::ChangeDisplaySettingsEx, 1, DISP_CHANGE_RESTART,
                      kStorePrimary + "1", false, kReads + Lines{"store DISPLAY4 0x10000019 at (0,0) -> 1"}},
        SwitchFailure{"ReadSecondKiv", DisplayOperation::EnumDisplaySettings, 2, ERROR_ACCESS_DENIED,
                      formatWinError({ERROR_ACCESS_DENIED, "Failed to get Screen settings"}), true,
                      Lines{"read DISPLAY4", "read DISPLAY5 -> FALSE"}},
        SwitchFailure{"StoreSecondKiv", DisplayOperation::ChangeDisplaySettingsEx, 2, DISP_CHANGE_BADMODE,
                      kStoreOther + "-2", false, callsFailingAfter(1, "store DISPLAY5 0x10000009 at (1280,0) -> -2")},
        SwitchFailure{"ReadSecondOfThreeOthers", DisplayOperation::EnumDisplaySettings, 4, ERROR_INVALID_PARAMETER,
                      formatWinError({ERROR_INVALID_PARAMETER, "Failed to get Screen settings"}), true,
                      firstOf(kReads, 3) + Lines{"read DISPLAY2 -> FALSE"}},
        SwitchFailure{"StoreSecondOfThreeOthers", DisplayOperation::ChangeDisplaySettingsEx, 4, DISP_CHANGE_BADMODE,
                      kStoreOther + "-2", false, callsFailingAfter(3, "store DISPLAY2 0x10000009 at (4480,0) -> -2")},
        SwitchFailure{"StoreOtherNeedsRestart", DisplayOperation::ChangeDisplaySettingsEx, 4, DISP_CHANGE_RESTART,
                      kStoreOther + "1", false, callsFailingAfter(3, "store DISPLAY2 0x10000009 at (4480,0) -> 1")},
        SwitchFailure{"ApplyNeedsRestart", DisplayOperation::ChangeDisplaySettingsEx, 6, DISP_CHANGE_RESTART,
                      kApply + "1", false, callsFailingAfter(5, "apply 0x0 -> 1")},
        SwitchFailure{"Apply", DisplayOperation::ChangeDisplaySettingsEx, 6, DISP_CHANGE_BADMODE, kApply + "-2", false,
                      callsFailingAfter(5, "apply 0x0 -> -2")},
        // Declined, the apply may have been shown in part: the put-back is applied too.
        SwitchFailure{"ApplyDeclined",
                      DisplayOperation::ChangeDisplaySettingsEx,
                      6,
                      DISP_CHANGE_FAILED,
                      kApply + "-1",
                      false,
                      callsFailingAfter(5, "apply 0x0 -> -1") + Lines{"apply 0x0"} + kSecondWayFailing,
                      {},
                      {},
                      false,
                      true},
        // Occurrence 0: no call fails.
        SwitchFailure{"WindowsKeepsAnotherPrimary",
                      DisplayOperation::ChangeDisplaySettingsEx,
                      0,
                      0,
                      kKeptAnother,
                      false,
                      callsDeclinedThenPutBack(kSecondWayDeclined),
                      {},
                      {},
                      true,
                      true},
        // Refresh rates refused at the apply: the configuration asked for mode-aware alone is put back
        // with the flags it was asked with.
        SwitchFailure{"KeptWhereTheApplyRefusesRefreshRates",
                      DisplayOperation::ChangeDisplaySettingsEx,
                      0,
                      0,
                      kKeptAnother,
                      false,
                      callsDeclinedThenPutBack({"query active 0x52", kSetConfig + " -> 87", "query active 0x12",
                                                "set config 0x8060", "set config 0x82a0"}),
                      {},
                      {},
                      true,
                      true,
                      0,
                      {},
                      0,
                      orvi::simulation::VirtualModeAware::RefreshRateRefusedAtApply},
        // Declined by the display configuration too, and the put-back of the settings refused twice for
        // DISPLAY4: the failure names it.
        SwitchFailure{
            "KeptAndPutBackFailsTwice",
            DisplayOperation::ChangeDisplaySettingsEx,
            0,
            0,
            kKeptAnother + "; could not put back: \\\\.\\DISPLAY4",
            false,
            kReads + kRecords + Lines{"apply 0x0"} + kSecondWayDeclined +
                Lines{"store DISPLAY4 0x10000009 at (1920,0) -> -1", "store DISPLAY4 0x10000009 at (1920,0) -> -1"} +
                Lines(kRecordsBack.begin() + 1, kRecordsBack.end()) + Lines{"apply 0x0"},
            {7, 8},
            kDisplay4NotPutBack,
            true,
            true,
            orvi::kPutBackPauseMilliseconds},
        // Applied but for the primary, and then the session is locked: the display configuration is
        // refused, and the settings are put back before the refusal leaves.
        SwitchFailure{"KeptAndThenLocked",
                      DisplayOperation::QueryDisplayConfig,
                      1,
                      ERROR_ACCESS_DENIED,
                      formatWinError({ERROR_ACCESS_DENIED, "Failed to obtain current displays config"}),
                      true,
                      callsDeclinedThenPutBack({"query active 0x52 -> 5"}),
                      {},
                      {},
                      true,
                      false,
                      0,
                      {},
                      0,
                      orvi::simulation::VirtualModeAware::Taken,
                      1},
        // A record of the put-back that Windows refuses once is made again.
        SwitchFailure{"PutBackFailsOnce",
                      DisplayOperation::ChangeDisplaySettingsEx,
                      2,
                      DISP_CHANGE_BADMODE,
                      kStoreOther + "-2",
                      false,
                      kReads + Lines{kRecords[0], "store DISPLAY5 0x10000009 at (1280,0) -> -2",
                                     "store DISPLAY4 0x10000009 at (1920,0) -> -1", kRecordsBack[0], kRecordsBack[2]},
                      {3},
                      {},
                      false,
                      false,
                      orvi::kPutBackPauseMilliseconds},
        // Refused twice, the put-back goes on, and the failure names the screen it could not put back;
        // where the display settings were declined, that keeps the display configuration from being tried.
        putBackFailsTwice("PutBackFailsTwice", DISP_CHANGE_BADMODE),
        putBackFailsTwice("DeclinedAndPutBackFailsTwice", DISP_CHANGE_FAILED),
        // The apply of the put-back refused once is made again, and the display configuration follows.
        SwitchFailure{
            "ApplyDeclinedAndPutBackApplyRefusedOnce",
            DisplayOperation::ChangeDisplaySettingsEx,
            6,
            DISP_CHANGE_FAILED,
            kApply + "-1",
            false,
            callsFailingAfter(5, "apply 0x0 -> -1") + Lines{"apply 0x0 -> -1", "apply 0x0"} + kSecondWayFailing,
            {12},
            {},
            false,
            true,
            orvi::kPutBackPauseMilliseconds},
        // Refused, the display configuration changed nothing: Windows shows the configuration from before
        // still, so nothing is put back (or stored over the layout it keeps), however often it would refuse.
        SwitchFailure{"SecondWayRefusedChangesNothing",
                      DisplayOperation::ChangeDisplaySettingsEx,
                      1,
                      DISP_CHANGE_FAILED,
                      kStorePrimary + "-1",
                      false,
                      kReads + Lines{"store DISPLAY4 0x10000019 at (0,0) -> -1"} + kSecondWayFailing,
                      {},
                      {},
                      false,
                      true,
                      0,
                      {2, 3, 4}},
        // Where the configuration shown cannot be read after the refusal, it is put back all the same.
        SwitchFailure{"SecondWayRefusedAndNotReadAgain",
                      DisplayOperation::QueryDisplayConfig,
                      2,
                      ERROR_GEN_FAILURE,
                      kStorePrimary + "-1",
                      false,
                      kReads + Lines{"store DISPLAY4 0x10000019 at (0,0) -> -1", "query active 0x52",
                                     kSetConfig + " -> 31", "query active 0x52 -> 31", kSetConfig},
                      {1},
                      {},
                      false,
                      true},
        // The put-back makes the screen that Windows shows primary again, not one whose monitor
        // information says primary out of step.
        SwitchFailure{"WindowsKeepsAnotherPrimaryBesideAStalePrimaryFlag",
                      DisplayOperation::ChangeDisplaySettingsEx,
                      0,
                      0,
                      kKeptAnother,
                      false,
                      callsDeclinedThenPutBack(kSecondWayDeclined),
                      {},
                      {},
                      true,
                      true,
                      0,
                      {},
                      5}),
    [](const ::testing::TestParamInfo<SwitchFailure>& parameter) { return std::string(parameter.param.what); });

TEST_F(PrimarySwitchTest, NamesAScreenWhoseDeviceNameFillsItsArrayWithoutANull) {
    // A driver may fill all 32 units of szDevice; the name is those 32 units and nothing after them.
    const std::u16string fullName = u"\\\\.\\DISPLAY-FILLED-TO-THE-END-XX";
    ASSERT_EQ(fullName.size(), 32u);
    SimulatedDisplay kiv = displayAt(1920, 0, 1280, 800);
    kiv.deviceName = fullName;
    serve(SimulatedDesktop{{adapter(kGpuId, {displayAt(0, 0, 1920, 1080, true)}), adapter(kVarelId, {kiv})}});

    DISPLAY_DEVICEW device{};
    device.cb = sizeof(device);
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    std::copy(fullName.begin(), fullName.end(), info.szDevice);
    setPrimaryDevice(log, {ScreenDevice(device, info, orvi::TargetDeviceInfo{})}, screens({1}));

    const auto calls = windowSystem().callsOf(DisplayOperation::ChangeDisplaySettingsEx);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].deviceName, fullName);
    EXPECT_EQ(log.str(), "setPrimaryDevice completed result: 0\n");
}

}  // namespace
