// Every display-service call of a whole run failing in turn, each way it can fail. The tool runs in
// process as the executable does (runTool, and the entry's catch with reportFailure) against a
// simulated desktop with a Varel and two other screens, logging to a file.
#include "simulation/SimulatedWindowSystem.h"
#include "tests/robustness/WholeRun.h"
#include "tests/support/TestDesktops.h"
#include "tests/support/Text.h"
#include "util/WinException.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace orvi::testing;
using orvi::platform::EventType;
using orvi::simulation::DisplayOperation;
using orvi::simulation::RecordedEvent;
using orvi::simulation::SimulatedCall;

constexpr LONG kCodes[] = {static_cast<LONG>(ERROR_GEN_FAILURE), static_cast<LONG>(ERROR_INVALID_PARAMETER)};
constexpr LONG kDisplayChangeResults[] = {DISP_CHANGE_FAILED, DISP_CHANGE_BADMODE, DISP_CHANGE_RESTART};

// DISPLAY1 (primary) and DISPLAY2 on the GPU, DISPLAY3 on the Varel's USB adapter. Monitors are
// enumerated in that order too (the primary first).
SimulatedDesktop varelBesideTwoScreens() {
    SimulatedDisplay varel = display({monitor(0x0013, u"Varel Kiv", u"\\\\?\\DISPLAY#VRL0013")}, 3840);
    varel.width = 1280;
    varel.height = 800;
    return SimulatedDesktop{{adapter(kGpuId, {primaryDisplay({monitor(0x2790, u"DELL U2719D")}),
                                              display({monitor(0x2791, u"DELL P2419H")}, 1920)}),
                             adapter(kVarelId, {varel})}};
}

const char* nameOf(DisplayOperation operation) {
    switch (operation) {
    case DisplayOperation::EnumDisplayDevices:
        return "EnumDisplayDevices";
    case DisplayOperation::EnumDisplayMonitors:
        return "EnumDisplayMonitors";
    case DisplayOperation::GetMonitorInfo:
        return "GetMonitorInfo";
    case DisplayOperation::GetDisplayConfigBufferSizes:
        return "GetDisplayConfigBufferSizes";
    case DisplayOperation::QueryDisplayConfig:
        return "QueryDisplayConfig";
    case DisplayOperation::GetSourceName:
        return "DisplayConfigGetDeviceInfo(source name)";
    case DisplayOperation::GetTargetName:
        return "DisplayConfigGetDeviceInfo(target name)";
    case DisplayOperation::OtherDeviceInfo:
        return "DisplayConfigGetDeviceInfo(other)";
    case DisplayOperation::EnumDisplaySettings:
        return "EnumDisplaySettings";
    case DisplayOperation::ChangeDisplaySettingsEx:
        return "ChangeDisplaySettingsEx";
    case DisplayOperation::SetDisplayConfig:
        return "SetDisplayConfig";
    }
    return "?";
}

// The ways a call can fail: the error code of the LONG calls, the last error beside the FALSE of
// the BOOL calls, the DISP_CHANGE_* result of ChangeDisplaySettingsEx.
std::vector<LONG> waysToFail(DisplayOperation operation) {
    if (operation == DisplayOperation::ChangeDisplaySettingsEx) {
        return {std::begin(kDisplayChangeResults), std::end(kDisplayChangeResults)};
    }
    std::vector<LONG> ways(std::begin(kCodes), std::end(kCodes));
    if (operation == DisplayOperation::QueryDisplayConfig) {
        ways.push_back(static_cast<LONG>(ERROR_INSUFFICIENT_BUFFER));  // the configuration grew meanwhile
    }
    return ways;
}

std::string winError(LONG code, const char* context) {
    return orvi::util::WinException(static_cast<DWORD>(code), context).what();
}

// The ERROR line's text when the failure ends the run; nothing for the failures that by design
// do not (documentedOutcome).
std::optional<std::string> expectedError(const SimulatedCall& call, unsigned occurrence, LONG code) {
    switch (call.operation) {
    case DisplayOperation::GetDisplayConfigBufferSizes:
        return winError(code, "Failed to obtain detail for current displays config");
    case DisplayOperation::QueryDisplayConfig:
        if (code == static_cast<LONG>(ERROR_INSUFFICIENT_BUFFER)) {
            return std::nullopt;
        }
        return winError(code, "Failed to obtain current displays config");
    case DisplayOperation::GetSourceName:
        return winError(code, "Failed to read Display device source info");
    case DisplayOperation::EnumDisplaySettings:
        return winError(code,
                        occurrence == 1 ? "Failed to get Orvi Kiv Screen settings" : "Failed to get Screen settings");
    case DisplayOperation::ChangeDisplaySettingsEx: {
        if (code == DISP_CHANGE_FAILED) {
            return std::nullopt;  // declined: made through the display configuration
        }
        const char* text = call.deviceName.empty() ? "Failed apply settings with Orvi Kiv as primary screen. "
                           : (call.flags & CDS_SET_PRIMARY) != 0 ? "Failed to set Orvi Kiv as primary Screen. "
                                                                 : "Failed to update Screen position. ";
        return std::string(text) + "Err(ChangeDisplaySettingsEx): " + std::to_string(code);
    }
    default:
        return std::nullopt;
    }
}

// What a run comes to when a failure is not an error by design.
struct DocumentedOutcome {
    int screensFound;
    bool varelMadePrimary;
    bool throughDisplayConfiguration = false;
};

DocumentedOutcome documentedOutcome(DisplayOperation operation, unsigned occurrence) {
    switch (operation) {
    case DisplayOperation::EnumDisplayDevices: {
        // FALSE ends the list of display devices: the devices from this index on are missing,
        // and so are their monitors. The Varel's device has index 2; index 3 ends the list anyway.
        const int listed = static_cast<int>(occurrence) - 1;
        return {listed, listed == 3};
    }
    case DisplayOperation::EnumDisplayMonitors:
        // Its result is ignored: the pass goes on without monitors. The second one looks for the new
        // primary after the apply, and the switch looks again.
        return {occurrence == 1 ? 0 : 3, occurrence != 1};
    case DisplayOperation::GetMonitorInfo:
        // That monitor is skipped; the third is the Varel's. From the fourth on they look for the new
        // primary after the apply, and the switch looks again.
        return {occurrence <= 3 ? 2 : 3, occurrence != 3};
    case DisplayOperation::GetTargetName:
        return {3, true};  // that screen gets the empty identity; the Varel is known by its adapter
    case DisplayOperation::ChangeDisplaySettingsEx:
        return {3, true, true};  // DISP_CHANGE_FAILED, as Windows declines an indirect display as primary
    default:
        return {3, true};  // QueryDisplayConfig's ERROR_INSUFFICIENT_BUFFER: asked again
    }
}

const std::string kThroughDisplayConfiguration = ", through the display configuration (SetDisplayConfig)";

bool varelIsPrimaryInTheStoredLayout(const orvi::simulation::SimulatedWindowSystem& system) {
    const SimulatedDisplay& varel = system.storedLayout().adapters.at(1).displays.at(0);
    return varel.primary && varel.x == 0 && varel.y == 0;
}

// Where each display device of a desktop is, how large, and whether it is the primary.
std::string places(const SimulatedDesktop& desktop) {
    std::string text;
    for (const auto& adapter : desktop.adapters) {
        for (const SimulatedDisplay& display : adapter.displays) {
            text += std::to_string(display.width) + "x" + std::to_string(display.height) + " at (" +
                    std::to_string(display.x) + "," + std::to_string(display.y) + ")" +
                    (display.primary ? " primary" : "") + "\n";
        }
    }
    return text;
}

// A call of the put-back after a failed switch: a screen recorded again with the stored flags,
// as primary or not, never applied.
bool isRecordBack(const SimulatedCall& call) {
    return call.operation == DisplayOperation::ChangeDisplaySettingsEx && !call.deviceName.empty() &&
           (call.flags & ~CDS_SET_PRIMARY) == (CDS_UPDATEREGISTRY | CDS_GLOBAL | CDS_NORESET);
}

class FaultSweepTest : public SimulatedDesktopTest {
protected:
    void SetUp() override { serve(varelBesideTwoScreens()); }
};

TEST_F(FaultSweepTest, EveryCallOfARunFailingInTurn) {
    const SimulatedDesktop before = windowSystem().desktop();
    const WholeRun clean = runWholeTool();
    ASSERT_EQ(clean.exitCode, 0) << clean.log;
    ASSERT_NE(clean.log.find("\nsetPrimaryDevice completed result: 0\nDone\n"), std::string::npos) << clean.log;
    ASSERT_TRUE(varelIsPrimaryInTheStoredLayout(windowSystem()));
    const std::vector<SimulatedCall> calls = windowSystem().calls();

    std::set<DisplayOperation> swept;
    std::map<DisplayOperation, unsigned> occurrences;
    for (std::size_t index = 0; index < calls.size(); ++index) {
        const SimulatedCall& call = calls[index];
        const unsigned occurrence = ++occurrences[call.operation];
        swept.insert(call.operation);
        for (const LONG code : waysToFail(call.operation)) {
            SCOPED_TRACE(std::string("call ") + std::to_string(index + 1) + ": " + nameOf(call.operation) + " #" +
                         std::to_string(occurrence) + " failing with " + std::to_string(code));
            serve(varelBesideTwoScreens());
            windowSystem().failCall(call.operation, occurrence, code);

            const WholeRun run = runWholeTool();

            if (const std::optional<std::string> error = expectedError(call, occurrence, code)) {
                EXPECT_EQ(run.exitCode, 1);
                EXPECT_EQ(countOf(run.log, "ERROR: "), 1) << run.log;
                const std::string errorLine = "ERROR: " + *error + "\n";
                EXPECT_TRUE(run.log.size() >= errorLine.size() &&
                            run.log.compare(run.log.size() - errorLine.size(), errorLine.size(), errorLine) == 0)
                    << "expected at the end: " << errorLine << "log:\n"
                    << run.log;
                EXPECT_EQ(run.log.find("Done"), std::string::npos) << run.log;
                EXPECT_EQ(run.events, (std::vector<RecordedEvent>{{EventType::Error, 10, *error}}));
                const std::vector<SimulatedCall>& made = windowSystem().calls();
                ASSERT_GT(made.size(), index);
                EXPECT_EQ(made[index].operation, call.operation);
                for (std::size_t later = index + 1; later < made.size(); ++later) {
                    EXPECT_TRUE(isRecordBack(made[later])) << "call " << later + 1 << " after the failing one";
                }
                EXPECT_EQ(places(windowSystem().storedLayout()), places(before)) << "the stored layout changed";
                EXPECT_EQ(places(windowSystem().desktop()), places(before)) << "a change was applied";
            } else {
                const DocumentedOutcome outcome = documentedOutcome(call.operation, occurrence);
                EXPECT_EQ(run.exitCode, 0);
                EXPECT_EQ(run.log.find("ERROR: "), std::string::npos) << run.log;
                EXPECT_NE(run.log.find("\nfound " + std::to_string(outcome.screensFound) + " screens\n"),
                          std::string::npos)
                    << run.log;
                EXPECT_EQ(countOf(run.log, "\nDone\n"), 1) << run.log;
                // The Varel's screen is named by its monitor's identity, unless that is the empty one.
                const bool varelIdentified = call.operation != DisplayOperation::GetTargetName || occurrence != 3;
                const RecordedEvent madePrimary{
                    EventType::Information, 1,
                    std::string("Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3") +
                        (varelIdentified ? " (Varel Kiv)" : "") +
                        (outcome.throughDisplayConfiguration ? kThroughDisplayConfiguration : "")};
                const RecordedEvent noKiv{EventType::Information, 3, "No Kiv found; told not to wait"};
                EXPECT_EQ(run.events, std::vector<RecordedEvent>{outcome.varelMadePrimary ? madePrimary : noKiv});
                EXPECT_EQ(varelIsPrimaryInTheStoredLayout(windowSystem()), outcome.varelMadePrimary);
                EXPECT_EQ(places(windowSystem().storedLayout()) != places(before), outcome.varelMadePrimary);
                if (call.operation == DisplayOperation::GetTargetName) {
                    EXPECT_NE(run.log.find("Iterating Screen with display name: device name: \\\\.\\DISPLAY" +
                                           std::to_string(occurrence) + "\n"),
                              std::string::npos)
                        << run.log;
                }
            }
        }
    }
    // Every display service that a run uses was made to fail.
    EXPECT_EQ(swept, (std::set<DisplayOperation>{
                         DisplayOperation::GetDisplayConfigBufferSizes, DisplayOperation::QueryDisplayConfig,
                         DisplayOperation::GetSourceName, DisplayOperation::GetTargetName,
                         DisplayOperation::EnumDisplayDevices, DisplayOperation::EnumDisplayMonitors,
                         DisplayOperation::GetMonitorInfo, DisplayOperation::EnumDisplaySettings,
                         DisplayOperation::ChangeDisplaySettingsEx}));
    EXPECT_EQ(occurrences[DisplayOperation::ChangeDisplaySettingsEx], 4u) << "primary, two others, apply";
}

// Windows declines to record the Varel's indirect display as primary, so the display configuration
// makes it: each of that way's calls failing in turn. A failing query or apply leaves everything as it
// was and reports the display settings' failure; the check looks again past a failing look; a query
// that refuses the virtual-mode-aware flags (ERROR_INVALID_PARAMETER) is made in the plain layout; and
// a session that loses the console meanwhile (ERROR_ACCESS_DENIED before anything changed) makes the
// pass a refused look, an error with -t 0 as any refusal is.
TEST_F(FaultSweepTest, EveryCallOfTheDisplayConfigurationFailingInTurn) {
    SimulatedDesktop declining = varelBesideTwoScreens();
    declining.adapters[1].indirect = true;
    declining.legacyIndirectPrimary = orvi::simulation::LegacyIndirectPrimary::Failed;
    serve(declining);
    const SimulatedDesktop before = windowSystem().desktop();
    const RecordedEvent madePrimary{
        EventType::Information, 1,
        "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv)" + kThroughDisplayConfiguration};
    const std::string declined = "Failed to set Orvi Kiv as primary Screen. Err(ChangeDisplaySettingsEx): -1";
    ASSERT_EQ(runWholeTool().events, std::vector<RecordedEvent>{madePrimary});
    const std::vector<SimulatedCall> calls = windowSystem().calls();
    const auto secondWay = std::find_if(calls.begin(), calls.end(), [](const SimulatedCall& call) {
        return call.operation == DisplayOperation::GetDisplayConfigBufferSizes &&
               (call.flags & QDC_ONLY_ACTIVE_PATHS) != 0;
    });
    ASSERT_NE(secondWay, calls.end());
    const std::map<DisplayOperation, const char*> refusedContexts{
        {DisplayOperation::GetDisplayConfigBufferSizes, "Failed to obtain detail for current displays config"},
        {DisplayOperation::QueryDisplayConfig, "Failed to obtain current displays config"},
        {DisplayOperation::GetSourceName, "Failed to read Display device source info"},
        {DisplayOperation::SetDisplayConfig, "SetDisplayConfig failed"}};

    std::set<DisplayOperation> swept;
    std::map<DisplayOperation, unsigned> occurrences;
    for (auto call = calls.begin(); call != calls.end(); ++call) {
        const unsigned occurrence = ++occurrences[call->operation];
        if (call < secondWay) {
            continue;
        }
        swept.insert(call->operation);
        std::vector<LONG> ways = waysToFail(call->operation);
        ways.push_back(static_cast<LONG>(ERROR_ACCESS_DENIED));
        for (const LONG code : ways) {
            SCOPED_TRACE(std::string(nameOf(call->operation)) + " #" + std::to_string(occurrence) + " failing with " +
                         std::to_string(code));
            serve(declining);
            windowSystem().failCall(call->operation, occurrence, code);

            const WholeRun run = runWholeTool();

            const bool lookedAgain = call->operation == DisplayOperation::EnumDisplayMonitors ||
                                     call->operation == DisplayOperation::GetMonitorInfo ||
                                     code == static_cast<LONG>(ERROR_INSUFFICIENT_BUFFER);
            // Flags refused at the query or at the apply: the next layout is asked for and applied.
            const bool inThePlainLayout = code == static_cast<LONG>(ERROR_INVALID_PARAMETER) &&
                                          (call->operation == DisplayOperation::GetDisplayConfigBufferSizes ||
                                           call->operation == DisplayOperation::QueryDisplayConfig ||
                                           call->operation == DisplayOperation::SetDisplayConfig);
            const auto refusal = refusedContexts.find(call->operation);
            if (lookedAgain || inThePlainLayout) {
                EXPECT_EQ(run.exitCode, 0) << run.log;
                EXPECT_EQ(run.events, std::vector<RecordedEvent>{madePrimary});
                EXPECT_TRUE(varelIsPrimaryInTheStoredLayout(windowSystem()));
            } else if (code == static_cast<LONG>(ERROR_ACCESS_DENIED) && refusal != refusedContexts.end()) {
                const std::string error = winError(code, refusal->second);
                EXPECT_EQ(run.exitCode, 1);
                EXPECT_EQ(run.log.find("either"), std::string::npos) << run.log;
                EXPECT_NE(run.log.find("\nERROR: " + error + "\n"), std::string::npos) << run.log;
                EXPECT_EQ(run.events, (std::vector<RecordedEvent>{{EventType::Error, 10, error}}));
                EXPECT_EQ(windowSystem().callsOf(DisplayOperation::SetDisplayConfig).size(),
                          call->operation == DisplayOperation::SetDisplayConfig ? 1u : 0u)
                    << "no put-back of what did not change";
            } else {
                EXPECT_EQ(run.exitCode, 1);
                EXPECT_NE(
                    run.log.find("\nOrvi Kiv could not be made primary through the display configuration either: "),
                    std::string::npos)
                    << run.log;
                EXPECT_EQ(run.events, (std::vector<RecordedEvent>{{EventType::Error, 10, declined}}));
            }
            if (!lookedAgain && !inThePlainLayout) {
                EXPECT_EQ(places(windowSystem().storedLayout()), places(before)) << "the stored layout changed";
                EXPECT_EQ(places(windowSystem().desktop()), places(before)) << "the shown layout changed";
            }
        }
    }
    EXPECT_EQ(swept, (std::set<DisplayOperation>{
                         DisplayOperation::GetDisplayConfigBufferSizes, DisplayOperation::QueryDisplayConfig,
                         DisplayOperation::GetSourceName, DisplayOperation::SetDisplayConfig,
                         DisplayOperation::EnumDisplayMonitors, DisplayOperation::GetMonitorInfo}));
}

}  // namespace
