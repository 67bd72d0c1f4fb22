// The host executable end to end: each case runs it on a fresh copy of a desktop file and checks
// its exit code, every line of its log and the layout stored in the desktop file afterwards.
#include "desktopfile/DesktopFile.h"
#include "desktopfile/Utf8.h"
#include "simulation/RecordedEventLog.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"
#include "tests/support/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using orvi::simulation::eventRecord;

Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// One screen as the scan pass meets it.
enum class Kind { Other, Varel, Pellun };
struct Screen {
    std::string deviceName;
    std::string friendlyName;
    unsigned edidProductCode;
    std::string devicePath;
    std::string usbId;  // as read from its adapter's hardware id
    Kind kind;
};

const std::string kGuid = "{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}";
const std::string kIntelId = "VID_8086&PID_5917";
const std::string kNvidiaId = "VID_10DE&PID_2503";
const std::string kVarelId = "VID_17E9&PID_FF13";

Screen panel(const std::string& deviceName) {
    return {deviceName, "", 2151, "\\\\?\\DISPLAY#BOE0867#4&2a8f1c3b&0&UID8388688#" + kGuid, kIntelId, Kind::Other};
}
Screen dell(const std::string& deviceName, const std::string& usbId) {
    return {deviceName, "DELL U2719D", 10128, "\\\\?\\DISPLAY#DELA0F4#5&1f2e3d4c&0&UID4352#" + kGuid,
            usbId,      Kind::Other};
}
Screen varel(const std::string& deviceName) {
    return {deviceName, "Varel Kiv", 19, "\\\\?\\DISPLAY#VRL0013#6&3b4a5c6d&0&UID260#" + kGuid, kVarelId, Kind::Varel};
}

std::string hex(unsigned value) {
    std::ostringstream text;
    text << std::hex << value;
    return text.str();
}

Lines identity(const Screen& screen) {
    return {"Getting target device info...",
            "Retrieved target device information:", "  EDID Product Code ID: 0x" + hex(screen.edidProductCode),
            "  Friendly Name: " + screen.friendlyName, "  Device Path: " + screen.devicePath};
}

Lines iteration(const Screen& screen) {
    Lines lines = {"Iterating Screen with display name: " + screen.friendlyName + "device name: " + screen.deviceName,
                   "Current device USB ID: " + screen.usbId + ", Comparing with Varel: " + kVarelId};
    if (screen.kind == Kind::Varel) {
        return lines + Lines{"found KIV(VAREL) "};
    }
    lines.push_back("pellun edid: 4233, Comparing with: " + std::to_string(screen.edidProductCode));
    if (screen.kind == Kind::Pellun) {
        lines.push_back("found KIV USB(PELLUN) ");
    }
    return lines;
}

// One scan pass over screens whose display paths come in the order of the monitors.
Lines scanPass(const std::vector<Screen>& screens, const std::string& summary, const Lines& decision = {}) {
    Lines lines = {"Searching for Monitor Screens"};
    for (const Screen& screen : screens) {
        lines = lines + identity(screen);
    }
    lines.push_back("found " + std::to_string(screens.size()) + " screens");
    for (const Screen& screen : screens) {
        lines = lines + iteration(screen);
    }
    lines.push_back(summary);
    return lines + decision + Lines{"Done"};
}

// A pass that fails after `decision`: in place of "Done", the error line of the entry.
Lines failedPass(const std::vector<Screen>& screens, const std::string& summary, const Lines& decision,
                 const std::string& error) {
    Lines lines = scanPass(screens, summary, decision);
    lines.back() = "ERROR: " + error;
    return lines;
}

const Lines kVarelSet = {"Setting Orvi Kiv as primary Display", "setPrimaryDevice completed result: 0"};
const Lines kPellunSet = {"Setting Orvi Kiv USB(pellun) as primary Display", "setPrimaryDevice completed result: 0"};

// A pass that the session may not take (locked, remote): after `before`, in place of the rest of the
// pass, the line that says so with the refused query's text, whose system text ends in CR LF.
struct SystemError {
    const char* text;  // ends in CR LF
    const char* code;
};
const SystemError kAccessDenied{"Access is denied.", "0x5"};
const SystemError kInvalidParameter{"The parameter is incorrect.", "0x57"};

Lines refusedPass(const std::string& context, const Lines& before = {}, SystemError error = kAccessDenied) {
    return Lines{"Searching for Monitor Screens"} + before +
           Lines{"The display configuration cannot be read now, the tool will look again: " + context + ": " +
                     error.text + "\r",
                 std::string(" (Error code: ") + error.code + ")"};
}
const std::string kNoPathsContext = "Failed to obtain current displays config";
const std::string kSizesContext = "Failed to obtain detail for current displays config";

std::string notFound(int maxWait) { return "Kiv device isn't found. " + std::to_string(maxWait) + "s for it to apear"; }
std::string poll(int seconds) { return "Poll: Waiting for Kiv device for up to " + std::to_string(seconds) + "s"; }
const std::string kGiveUp = "Kiv is not connected, no more changes will be performed";

// The pass of a panel and a monitor on one GPU (examples/kiv-plugged-in-later.json before the Kiv).
Lines panelAndMonitorPass() {
    return scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId)}, "Detected 2 Screens");
}

// A desktop of one panel to which a monitor on an adapter of its own comes during the second pass
// and a Varel during the fourth; the plug-in of the ninth pass never happens. Without "deviceName"
// the newcomers become DISPLAY2, DISPLAY3 and DISPLAY4.
const char* const kThreePlugIns = R"({
  "adapters": [{"name": "GPU", "hardwareId": "PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07", "displays": [
    {"primary": true, "monitors": [{"edidProductCode": 2151,
      "devicePath": "\\\\?\\DISPLAY#BOE0867#4&2a8f1c3b&0&UID8388688#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]}]}],
  "plugIns": [
    {"duringPass": 4, "adapter": {"hardwareId": "USB\\VID_17E9&PID_FF13&MI_00", "displays": [
      {"x": 4480, "width": 1280, "height": 480, "monitors": [{"edidProductCode": 19, "friendlyName": "Varel Kiv",
        "devicePath": "\\\\?\\DISPLAY#VRL0013#6&3b4a5c6d&0&UID260#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]}]}},
    {"duringPass": 9, "adapter": {"hardwareId": "USB\\VID_1D5C&PID_2000&MI_00", "displays": [{}]}},
    {"duringPass": 2, "adapter": {"hardwareId": "PCI\\VEN_10DE&DEV_2503&SUBSYS_397D1462&REV_A1", "displays": [
      {"x": 1920, "width": 2560, "height": 1440, "monitors": [{"edidProductCode": 10128, "friendlyName": "DELL U2719D",
        "devicePath": "\\\\?\\DISPLAY#DELA0F4#5&1f2e3d4c&0&UID4352#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]}]}}
  ]
})";

// The panel and monitor of examples/kiv-plugged-in-later.json, to which a Varel comes 45 s after the
// start, between the passes at 42 s and 56 s. An adapter without displays comes at 47 s: it is still
// to come in the stored file when the pass that found the Kiv ran before then.
const char* const kKivAtSecond45 = R"({
  "adapters": [{"name": "GPU", "hardwareId": "PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07", "displays": [
    {"primary": true, "monitors": [{"edidProductCode": 2151,
      "devicePath": "\\\\?\\DISPLAY#BOE0867#4&2a8f1c3b&0&UID8388688#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]},
    {"x": 1920, "width": 2560, "height": 1440, "monitors": [{"edidProductCode": 10128, "friendlyName": "DELL U2719D",
      "devicePath": "\\\\?\\DISPLAY#DELA0F4#5&1f2e3d4c&0&UID4352#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]}]}],
  "plugIns": [
    {"atSecond": 47, "adapter": {"hardwareId": "USB\\VID_1D5C&PID_2000&MI_00"}},
    {"atSecond": 45, "adapter": {"hardwareId": "USB\\VID_17E9&PID_FF13&MI_00", "displays": [
      {"x": 4480, "width": 1280, "height": 480, "monitors": [{"edidProductCode": 19, "friendlyName": "Varel Kiv",
        "devicePath": "\\\\?\\DISPLAY#VRL0013#6&3b4a5c6d&0&UID260#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]}]}}
  ]
})";

// The built-in desktop with its monitor on a dock of its own, which drops out at 30 s and comes back at
// 40 s (a DisplayPort monitor in deep sleep does so too), after the user made the panel primary.
const char* const kMonitorOnADock = R"({
  "adapters": [{"name": "GPU", "hardwareId": "PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07", "displays": [
    {"primary": true, "monitors": [{"edidProductCode": 2151,
      "devicePath": "\\\\?\\DISPLAY#BOE0867#4&2a8f1c3b&0&UID8388688#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]}]},
    {"name": "Dock", "hardwareId": "PCI\\VEN_10DE&DEV_2503&SUBSYS_397D1462&REV_A1", "displays": [
      {"x": 1920, "width": 2560, "height": 1440, "monitors": [{"edidProductCode": 10128, "friendlyName": "DELL U2719D",
        "devicePath": "\\\\?\\DISPLAY#DELA0F4#5&1f2e3d4c&0&UID4352#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]}]},
    {"name": "Kiv", "hardwareId": "USB\\VID_17E9&PID_FF13&MI_00", "displays": [
      {"x": 4480, "width": 1280, "height": 480, "monitors": [{"edidProductCode": 19, "friendlyName": "Varel Kiv",
        "devicePath": "\\\\?\\DISPLAY#VRL0013#6&3b4a5c6d&0&UID260#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]}]}],
  "userPrimary": [{"atSecond": 10, "display": "\\\\.\\DISPLAY1"}],
  "unplugs": [{"atSecond": 30, "adapter": "Dock"}],
  "plugIns": [{"atSecond": 40, "adapter": {"name": "Dock", "hardwareId": "PCI\\VEN_10DE&DEV_2503&SUBSYS_397D1462&REV_A1",
    "displays": [{"x": 1920, "width": 2560, "height": 1440, "monitors": [{"edidProductCode": 10128,
      "friendlyName": "DELL U2719D",
      "devicePath": "\\\\?\\DISPLAY#DELA0F4#5&1f2e3d4c&0&UID4352#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]}]}}],
  "sessionEndsAtSecond": 50
})";

// The watch's lines.
const std::string kWatching = "Watching the screens until the session ends";
const std::string kSessionEnds = "The session is ending, no more changes will be performed";
std::string lookedAgain(const std::string& what) { return "Looked at the screens again: " + what; }
const std::string kSameScreens = lookedAgain("the same screens, their layout is left as it is");
const std::string kNoKivAttached = lookedAgain("no Kiv is attached");

// "$DESKTOP" in an expected line stands for the path of the case's desktop file.
const std::string kDesktopMark = "$DESKTOP";

struct Case {
    const char* name;
    std::string desktop;  // a file of examples/, or the file's text when it starts with '{'
    std::vector<std::string> options;
    bool simulatedClock;
    int exitCode;
    Lines log;  // after the start line and the blank line that ctime leaves
    // The displays of the stored desktop file (layoutOf); none: the file is left byte for byte.
    std::optional<Lines> layout;
    std::string event;           // the run's one event, as the event log stand-in writes it
    std::string extraKeys = {};  // JSON members added at the end of the desktop file
    int layoutsShown = -1;       // the applies that Windows took, in the trace of the calls; -1: not counted
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string information(std::uint32_t id, const std::string& text) {
    return eventRecord({orvi::platform::EventType::Information, id, text});
}
std::string error(std::uint32_t id, const std::string& text) {
    return eventRecord({orvi::platform::EventType::Error, id, text});
}

const std::string kVarelMadePrimary =
    information(1, "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv)");

// What a desktop file of "{" alone is refused with.
const std::string kNotJson = "desktop: not JSON at line 1, column 2: unexpected end of input; expected string literal";

std::vector<Case> cases() {
    const Screen varelOfDefault = varel("\\\\.\\DISPLAY3");
    // The built-in desktop's pass that makes its Varel primary, and the layout it stores.
    const Lines varelOfDefaultSet =
        scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varelOfDefault},
                 "Detected 2 Screens and Orvi Kiv", kVarelSet);
    // The built-in desktop after its Varel was made primary and the user made the panel primary again.
    const Lines usersPanelPrimary = {"\\\\.\\DISPLAY1 at (0, 0) primary", "\\\\.\\DISPLAY2 at (1920, 0)",
                                     "\\\\.\\DISPLAY3 at (-1280, 0)"};
    const Lines varelOfDefaultPrimary = {"\\\\.\\DISPLAY1 at (1280, 0)", "\\\\.\\DISPLAY2 at (3200, 0)",
                                         "\\\\.\\DISPLAY3 at (0, 0) primary"};
    // The built-in desktop's pass where Windows declines the Varel's display settings.
    const Lines varelDeclinedSet =
        scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varelOfDefault},
                 "Detected 2 Screens and Orvi Kiv",
                 {"Setting Orvi Kiv as primary Display", "Orvi Kiv was made primary through the display configuration",
                  "setPrimaryDevice completed result: 0"});
    // The pass that makes the Varel plugged in beside the panel and the monitor primary.
    const Lines varelPassOfPlugIn =
        scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varel("\\\\.\\DISPLAY3")},
                 "Detected 2 Screens and Orvi Kiv", kVarelSet);
    const auto madeWhileWatching = [](const std::string& why) {
        return information(1,
                           "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv); while "
                           "watching, after " +
                               why);
    };
    // The Varel of kKivAtSecond45 laid out again, as at its arrival, `seconds` after it.
    const auto withRelayoutAfter = [](int seconds) {
        std::string desktop = kKivAtSecond45;
        const std::string plugIn = R"("atSecond": 45,)";
        return desktop.replace(desktop.find(plugIn), plugIn.size(),
                               plugIn + R"( "relayoutAfterSeconds": )" + std::to_string(seconds) + ",");
    };
    const Lines refusedLook = {"The display configuration cannot be read now, the tool will look again: " +
                                   kSizesContext + ": Access is denied.\r",
                               " (Error code: 0x5)"};
    // Passes at 0, 10, 20 and 30 s refused, then the pass after the fourth wait.
    const Lines refusedFourTimes = refusedPass(kSizesContext) + Lines{notFound(120), poll(10)} +
                                   refusedPass(kSizesContext) + Lines{poll(10)} + refusedPass(kSizesContext) +
                                   Lines{poll(10)} + refusedPass(kSizesContext) + Lines{poll(12)};
    return {
        {"VarelBesideTwoScreens",
         "default.json",
         {"-t", "0"},
         false,
         0,
         scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varelOfDefault},
                  "Detected 2 Screens and Orvi Kiv", kVarelSet),
         Lines{"\\\\.\\DISPLAY1 at (1280, 0)", "\\\\.\\DISPLAY2 at (3200, 0)", "\\\\.\\DISPLAY3 at (0, 0) primary"},
         kVarelMadePrimary},

        // Windows promises no order of the monitors: the Kiv, primary after the apply, comes third.
        {"MonitorsListedInDeviceOrder",
         "default.json",
         {"-t", "0"},
         false,
         0,
         varelOfDefaultSet,
         varelOfDefaultPrimary,
         kVarelMadePrimary,
         R"("monitorsInDeviceOrder": true)"},

        {"Pellun",
         "pellun.json",
         {"-t", "0"},
         false,
         0,
         scanPass({panel("\\\\.\\DISPLAY1"),
                   {"\\\\.\\DISPLAY3", "KIV USB", 4233, "\\\\?\\DISPLAY#PLN1089#6&1c2d3e4f&0&UID261#" + kGuid,
                    "VID_1D5C&PID_2000", Kind::Pellun}},
                  "Detected 1 Screenand Orvi KIV USB(Pellun)", kPellunSet),
         Lines{"\\\\.\\DISPLAY1 at (1280, 0)", "\\\\.\\DISPLAY2 at (0, 0) not attached",
               "\\\\.\\DISPLAY3 at (0, 0) primary"},
         information(1, "Made the Kiv the primary display: the Pellun on \\\\.\\DISPLAY3 (KIV USB)")},

        // The Varel wins; the Pellun goes after the monitor, at the end of the row.
        {"BothVariants",
         "both-variants.json",
         {"-t", "0"},
         false,
         0,
         scanPass({dell("\\\\.\\DISPLAY1", kNvidiaId),
                   {"\\\\.\\DISPLAY2", "KIV USB", 4233, "\\\\?\\DISPLAY#PLN1089#5&2d3e4f5a&0&UID4353#" + kGuid,
                    kNvidiaId, Kind::Pellun},
                   varel("\\\\.\\DISPLAY3")},
                  "Detected 1 Screen and Orvi Kivand Orvi KIV USB(Pellun)", kVarelSet),
         Lines{"\\\\.\\DISPLAY1 at (1280, 0)", "\\\\.\\DISPLAY2 at (3840, 0)", "\\\\.\\DISPLAY3 at (0, 0) primary"},
         kVarelMadePrimary},

        {"OnlyKiv",
         "only-kiv.json",
         {"-t", "0"},
         false,
         0,
         scanPass({varel("\\\\.\\DISPLAY1")}, "Detected 0 Screen and Orvi Kiv", {"Orvi Kiv is - already primary"}),
         std::nullopt,
         information(2, "The Kiv was the primary display already (Varel); nothing changed")},

        // An adapter that arrives in a run that stores nothing is written among the adapters all the same.
        {"OnlyKivAndAnAdapterThatArrives",
         "only-kiv.json",
         {"-t", "0"},
         true,
         0,
         scanPass({varel("\\\\.\\DISPLAY1")}, "Detected 0 Screen and Orvi Kiv", {"Orvi Kiv is - already primary"}),
         Lines{"\\\\.\\DISPLAY1 at (0, 0) primary", "\\\\.\\DISPLAY2 at (0, 0) not attached"},
         information(2, "The Kiv was the primary display already (Varel); nothing changed"),
         R"("plugIns": [{"duringPass": 1, "adapter": {"displays": [{"attached": false}]}}])"},

        // Waits of 10, 10, 10 and 12 s; the Kiv arrives in the pass after the fourth wait, which must
        // read the grown configuration a second time.
        {"KivPluggedInDuringTheFourthWait",
         "kiv-plugged-in-later.json",
         {"-t", "300"},
         true,
         0,
         panelAndMonitorPass() + Lines{notFound(300), poll(10)} + panelAndMonitorPass() + Lines{poll(10)} +
             panelAndMonitorPass() + Lines{poll(10)} + panelAndMonitorPass() + Lines{poll(12)} +
             scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varel("\\\\.\\DISPLAY3")},
                      "Detected 2 Screens and Orvi Kiv", kVarelSet),
         Lines{"\\\\.\\DISPLAY1 at (1280, 0)", "\\\\.\\DISPLAY2 at (3200, 0)", "\\\\.\\DISPLAY3 at (0, 0) primary"},
         kVarelMadePrimary},

        // The third wait is cut at the deadline, 25 s after the start; the Kiv would come too late.
        {"DeadlineBeforeTheKivComes",
         "kiv-plugged-in-later.json",
         {"-t", "25"},
         true,
         0,
         panelAndMonitorPass() + Lines{notFound(25), poll(10)} + panelAndMonitorPass() + Lines{poll(10)} +
             panelAndMonitorPass() + Lines{poll(10)} + panelAndMonitorPass() + Lines{kGiveUp},
         std::nullopt,
         information(4, "No Kiv found within the wait of 25 s")},

        // The Kiv arrives during the fifth wait (announced as 14 s): the window system's notice ends
        // that wait after the settle time, at 46 s, where polling alone would look at 56 s. The log
        // is the same either way.
        {"KivPluggedInAtSecond45WakesTheWait",
         kKivAtSecond45,
         {"-t", "300"},
         true,
         0,
         panelAndMonitorPass() + Lines{notFound(300), poll(10)} + panelAndMonitorPass() + Lines{poll(10)} +
             panelAndMonitorPass() + Lines{poll(10)} + panelAndMonitorPass() + Lines{poll(12)} + panelAndMonitorPass() +
             Lines{poll(14)} +
             scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varel("\\\\.\\DISPLAY3")},
                      "Detected 2 Screens and Orvi Kiv", kVarelSet),
         Lines{"\\\\.\\DISPLAY1 at (1280, 0)", "\\\\.\\DISPLAY2 at (3200, 0)", "\\\\.\\DISPLAY3 at (0, 0) primary",
               "plug-in at second 47"},
         kVarelMadePrimary},

        // Each pass that met a grown configuration asks for it twice; the passes still count from one.
        {"PlugInsOfSeveralPasses",
         kThreePlugIns,
         {"-t", "300"},
         true,
         0,
         scanPass({panel("\\\\.\\DISPLAY1")}, "Detected 1 Screen") + Lines{notFound(300), poll(10)} +
             scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kNvidiaId)}, "Detected 2 Screens") +
             Lines{poll(10)} +
             scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kNvidiaId)}, "Detected 2 Screens") +
             Lines{poll(10)} +
             scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kNvidiaId), varel("\\\\.\\DISPLAY3")},
                      "Detected 2 Screens and Orvi Kiv", kVarelSet),
         Lines{"\\\\.\\DISPLAY1 at (1280, 0)", "\\\\.\\DISPLAY2 at (3200, 0)", "\\\\.\\DISPLAY3 at (0, 0) primary",
               "plug-in during pass 9"},
         kVarelMadePrimary},

        // The third ChangeDisplaySettingsExW, the monitor's record, fails: the Kiv and the panel,
        // recorded before it, are recorded back, and the file keeps its layout and its failure.
        {"FailingThirdChange",
         "failing-change.json",
         {"-t", "0"},
         false,
         1,
         failedPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varelOfDefault},
                    "Detected 2 Screens and Orvi Kiv", {"Setting Orvi Kiv as primary Display"},
                    "Failed to update Screen position. Err(ChangeDisplaySettingsEx): -2"),
         Lines{"\\\\.\\DISPLAY1 at (0, 0) primary", "\\\\.\\DISPLAY2 at (1920, 0)", "\\\\.\\DISPLAY3 at (4480, 0)",
               "failure of ChangeDisplaySettingsExW #3"},
         error(10, "Failed to update Screen position. Err(ChangeDisplaySettingsEx): -2")},

        // Windows answers the apply with success and keeps the panel primary: the records are put
        // back, and the run ends with an error instead of the completion line.
        {"WindowsKeepsAnotherPrimary",
         "{\"declinesPrimary\": true, " + readFile(std::string(KIV_EXAMPLES_DIR) + "/default.json").substr(1),
         {"-t", "0"},
         true,
         1,
         failedPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varelOfDefault},
                    "Detected 2 Screens and Orvi Kiv",
                    {"Setting Orvi Kiv as primary Display",
                     "Orvi Kiv could not be made primary through the display configuration either: Windows kept "
                     "another screen as primary"},
                    "Failed apply settings with Orvi Kiv as primary screen: Windows kept another screen as primary"),
         Lines{"\\\\.\\DISPLAY1 at (0, 0) primary", "\\\\.\\DISPLAY2 at (1920, 0)", "\\\\.\\DISPLAY3 at (4480, 0)"},
         error(10, "Failed apply settings with Orvi Kiv as primary screen: Windows kept another screen as primary")},

        // Windows refuses to record the Varel's indirect display as primary; SetDisplayConfig makes it.
        {"IndirectVarelDeclined",
         "indirect-varel-declined.json",
         {"-t", "0"},
         false,
         0,
         varelDeclinedSet,
         varelOfDefaultPrimary,
         information(1,
                     "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv), through the "
                     "display configuration (SetDisplayConfig)")},

        // Windows applies the Varel's display settings but keeps its primary: the display configuration
        // follows at once (two layouts). The Kiv plugged in again later goes to it straight (one layout).
        {"WatchSwitchesADeclinedKivThroughTheDisplayConfigurationAlone",
         [] {
             std::string desktop = readFile(std::string(KIV_EXAMPLES_DIR) + "/indirect-varel-declined.json");
             return desktop.replace(desktop.find("\"failed\""), 8, "\"ignored\"");
         }(),
         {"-t", "0", "--watch"},
         true,
         0,
         varelDeclinedSet + Lines{kWatching, kSameScreens, kNoKivAttached} + varelDeclinedSet +
             Lines{kSameScreens, kSessionEnds},
         varelOfDefaultPrimary,
         information(1,
                     "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv), through the "
                     "display configuration (SetDisplayConfig)") +
             information(1,
                         "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv), through "
                         "the display configuration (SetDisplayConfig); while watching, after the screens changed"),
         R"("userPrimary": [{"atSecond": 8, "display": "\\\\.\\DISPLAY1"}], "unplugs": [{"atSecond": 12, "adapter": 1}],
            "plugIns": [{"atSecond": 20, "adapter": {"name": "Varel Kiv USB Display Adapter", "indirect": true,
              "hardwareId": "USB\\VID_17E9&PID_FF13&MI_00", "displays": [{"x": 4480, "width": 1280, "height": 480,
              "monitors": [{"edidProductCode": 19, "friendlyName": "Varel Kiv",
              "devicePath": "\\\\?\\DISPLAY#VRL0013#6&3b4a5c6d&0&UID260#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]}]}}],
            "sessionEndsAtSecond": 30)",
         3},

        // The session is locked between the display settings and the display configuration: the
        // settings are put back, the pass is a refused look, and the pass after the wait makes the row.
        {"LockedDuringTheSwitch",
         "indirect-varel-declined.json",
         {"-t", "30"},
         true,
         0,
         refusedPass("SetDisplayConfig failed", Lines(varelDeclinedSet.begin() + 1, varelDeclinedSet.end() - 3)) +
             Lines{notFound(30), poll(10)} + varelDeclinedSet,
         varelOfDefaultPrimary + Lines{"failure of SetDisplayConfig #1"},
         information(1,
                     "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv), through the "
                     "display configuration (SetDisplayConfig)"),
         R"("failures": [{"call": "SetDisplayConfig", "occurrence": 1, "result": 5}])"},

        // A headless session's configuration has no paths: every pass counts as refused.
        {"HeadlessSessionWaits",
         "headless-session.json",
         {"-t", "15"},
         true,
         0,
         refusedPass(kNoPathsContext, {}, kInvalidParameter) + Lines{notFound(15), poll(10)} +
             refusedPass(kNoPathsContext, {}, kInvalidParameter) + Lines{poll(10)} +
             refusedPass(kNoPathsContext, {}, kInvalidParameter) + Lines{kGiveUp},
         std::nullopt,
         information(4, "No Kiv found within the wait of 15 s")},

        // Passes at 0, 10, 20 and 30 s are refused; the unlock at 35 s ends the fourth wait, and the
        // pass a second later finds the Kiv.
        {"LockedForItsFirst35Seconds",
         "locked-until-35s.json",
         {"-t", "120"},
         true,
         0,
         refusedFourTimes + varelOfDefaultSet,
         varelOfDefaultPrimary,
         kVarelMadePrimary},

        // Locked again two seconds after the unlock: only the pass that the unlock brings finds the
        // session open (polling alone would look again at 42 s).
        {"TheUnlockBringsThePass",
         "default.json",
         {"-t", "120"},
         true,
         0,
         refusedFourTimes + varelOfDefaultSet,
         varelOfDefaultPrimary + Lines{"session locked from 37 to 300 s"},
         kVarelMadePrimary,
         R"("sessionLocked": [{"fromSecond": 0, "toSecond": 35}, {"fromSecond": 37, "toSecond": 300}])"},

        // Every pass is refused: the run ends as a wait without a Kiv, and nothing is stored.
        {"RemoteSessionWaits",
         "remote-session.json",
         {"-t", "25"},
         true,
         0,
         refusedPass(kSizesContext) + Lines{notFound(25), poll(10)} + refusedPass(kSizesContext) + Lines{poll(10)} +
             refusedPass(kSizesContext) + Lines{poll(10)} + refusedPass(kSizesContext) + Lines{kGiveUp},
         std::nullopt,
         information(4, "No Kiv found within the wait of 25 s")},

        {"RemoteSessionWithoutAWait",
         "remote-session.json",
         {"-t", "0"},
         false,
         1,
         {"Searching for Monitor Screens", "ERROR: " + kSizesContext + ": Access is denied.\r", " (Error code: 0x5)"},
         std::nullopt,
         error(10, kSizesContext + ": Access is denied.\r\n (Error code: 0x5)")},

        // Access lost part-way through the first pass, at the query and at a target's name.
        {"RefusedAtTheQuery",
         "default.json",
         {"-t", "30"},
         true,
         0,
         refusedPass("Failed to obtain current displays config") + Lines{notFound(30), poll(10)} + varelOfDefaultSet,
         varelOfDefaultPrimary + Lines{"failure of QueryDisplayConfig #1"},
         kVarelMadePrimary,
         R"("failures": [{"call": "QueryDisplayConfig", "occurrence": 1, "result": 5}])"},

        {"RefusedAtATargetName",
         "default.json",
         {"-t", "30"},
         true,
         0,
         refusedPass("Failed to read Display device target info", {"Getting target device info..."}) +
             Lines{notFound(30), poll(10)} + varelOfDefaultSet,
         varelOfDefaultPrimary + Lines{"failure of DisplayConfigGetDeviceInfo #2"},
         kVarelMadePrimary,
         R"("failures": [{"call": "DisplayConfigGetDeviceInfo", "occurrence": 2, "result": 5}])"},

        // A watch goes on where a wait gives up: no line of giving up.
        {"WatchAfterAWaitThatRanOut",
         "kiv-plugged-in-later.json",
         {"-t", "15", "--watch"},
         true,
         0,
         panelAndMonitorPass() + Lines{notFound(15), poll(10)} + panelAndMonitorPass() + Lines{poll(10)} +
             panelAndMonitorPass() + Lines{kWatching, kSessionEnds},
         Lines{"\\\\.\\DISPLAY1 at (0, 0) primary", "\\\\.\\DISPLAY2 at (1920, 0)", "plug-in during pass 5"},
         information(4, "No Kiv found within the wait of 15 s"),
         R"("sessionEndsAtSecond": 20)"},

        // The watch. After its own switch, a look sees the same screens and leaves them; so it does
        // after the user made the panel primary, and after the Kiv was unplugged.
        {"WatchLeavesTheUsersOwnPrimary",
         "default.json",
         {"-t", "0", "--watch"},
         true,
         0,
         varelOfDefaultSet + Lines{kWatching, kSameScreens, kSessionEnds},
         usersPanelPrimary,
         kVarelMadePrimary,
         R"("userPrimary": [{"atSecond": 10, "display": "\\\\.\\DISPLAY1"}], "sessionEndsAtSecond": 20)"},

        {"WatchLeavesAnUnplugToWindows",
         "default.json",
         {"-t", "0", "--watch"},
         true,
         0,
         varelOfDefaultSet + Lines{kWatching, kSameScreens, kNoKivAttached, kSessionEnds},
         Lines{"\\\\.\\DISPLAY1 at (0, 0) primary", "\\\\.\\DISPLAY2 at (1920, 0)"},
         kVarelMadePrimary,
         R"("unplugs": [{"atSecond": 10, "adapter": 1}], "sessionEndsAtSecond": 20)"},

        // The Kiv plugged in again where Windows stored it: the file holds it, and none of the day.
        {"WatchStoresAKivPluggedInAgain",
         "default.json",
         {"-t", "0", "--watch"},
         true,
         0,
         varelOfDefaultSet + Lines{kWatching, kSameScreens, kNoKivAttached,
                                   lookedAgain("the Kiv is the primary display already"), kSessionEnds},
         varelOfDefaultPrimary,
         kVarelMadePrimary,
         R"("unplugs": [{"atSecond": 10, "adapter": 1}], "sessionEndsAtSecond": 30,
            "plugIns": [{"atSecond": 20, "adapter": {"name": "Varel Kiv USB Display Adapter",
              "hardwareId": "USB\\VID_17E9&PID_FF13&MI_00", "displays": [{"width": 1280, "height": 480,
              "monitors": [{"edidProductCode": 19, "friendlyName": "Varel Kiv",
              "devicePath": "\\\\?\\DISPLAY#VRL0013#6&3b4a5c6d&0&UID260#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}"}]}]}}])"},

        // Without the watch the day is still to come: the file keeps all of it, a sleep without a resume
        // notice as such. On real time, whose seconds do not count from 0.
        {"ADayToComeIsKept",
         "default.json",
         {"-t", "0"},
         false,
         0,
         varelOfDefaultSet,
         varelOfDefaultPrimary + Lines{"plug-in at second 25", "session locked from 5 to 8 s", "unplug at second 10",
                                       "user's primary at second 12", "sleep from 14 to 16 s",
                                       "sleep from 18 to 20 s without a resume notice", "session ends at second 30"},
         kVarelMadePrimary,
         R"("plugIns": [{"atSecond": 25, "adapter": {}}],
            "sessionLocked": [{"fromSecond": 5, "toSecond": 8}], "unplugs": [{"atSecond": 10, "adapter": 1}],
            "userPrimary": [{"atSecond": 12, "display": "\\\\.\\DISPLAY1"}],
            "sleeps": [{"fromSecond": 14, "toSecond": 16}, {"fromSecond": 18, "toSecond": 20, "resumeNotice": false}],
            "sessionEndsAtSecond": 30)"},

        // A Kiv plugged in after the first outcome, a resume from a sleep that kept the user's layout,
        // and the session's return each bring the Kiv back; each switch reports its event.
        {"WatchMakesALatePlugInPrimary",
         kKivAtSecond45,
         {"-t", "0", "--watch"},
         true,
         0,
         panelAndMonitorPass() + Lines{kWatching} +
             scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varel("\\\\.\\DISPLAY3")},
                      "Detected 2 Screens and Orvi Kiv", kVarelSet) +
             Lines{kSameScreens, kSessionEnds},
         varelOfDefaultPrimary,
         information(3, "No Kiv found; told not to wait") +
             information(1,
                         "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv); while "
                         "watching, after the screens changed"),
         R"("sessionEndsAtSecond": 100)",
         1},

        {"WatchKeepsTheUsersChoiceAcrossASleep",
         "default.json",
         {"-t", "0", "--watch"},
         true,
         0,
         varelOfDefaultSet + Lines{kWatching, kSameScreens, kSameScreens, kSessionEnds},
         usersPanelPrimary,
         kVarelMadePrimary,
         R"("userPrimary": [{"atSecond": 10, "display": "\\\\.\\DISPLAY1"}],
            "sleeps": [{"fromSecond": 20, "toSecond": 30}], "sessionEndsAtSecond": 40)"},

        // Windows keeps a layout per set of screens: the monitor that comes back brings the user's primary
        // back with it, and the watch leaves it.
        {"WatchKeepsTheUsersChoiceWhenAMonitorDropsOut",
         kMonitorOnADock,
         {"-t", "0", "--watch"},
         true,
         0,
         scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kNvidiaId), varelOfDefault},
                  "Detected 2 Screens and Orvi Kiv", kVarelSet) +
             Lines{kWatching, kSameScreens, kSameScreens, kSameScreens, kSessionEnds},
         Lines{"\\\\.\\DISPLAY1 at (0, 0) primary", "\\\\.\\DISPLAY3 at (-1280, 0)", "\\\\.\\DISPLAY2 at (1920, 0)"},
         kVarelMadePrimary,
         "",
         1},

        // Windows reset the layout during a sleep and left another screen primary than the user's.
        {"WatchActsWhenASleepLeavesAnotherPrimary",
         "default.json",
         {"-t", "0", "--watch"},
         true,
         0,
         varelOfDefaultSet + Lines{kWatching, kSameScreens} + varelOfDefaultSet + Lines{kSameScreens, kSessionEnds},
         varelOfDefaultPrimary,
         kVarelMadePrimary + madeWhileWatching("the PC resumed"),
         R"("userPrimary": [{"atSecond": 10, "display": "\\\\.\\DISPLAY2"}],
            "sleeps": [{"fromSecond": 20, "toSecond": 30, "afterwards": "reset"}], "sessionEndsAtSecond": 40)"},

        // Nothing happened while the session was away: the user's own primary stands after the unlock,
        // and the look after the unlock writes its line again.
        {"WatchKeepsTheUsersChoiceAcrossALock",
         "default.json",
         {"-t", "0", "--watch"},
         true,
         0,
         varelOfDefaultSet + Lines{kWatching, kSameScreens, kSameScreens, kSessionEnds},
         usersPanelPrimary,
         kVarelMadePrimary,
         R"("userPrimary": [{"atSecond": 10, "display": "\\\\.\\DISPLAY1"}],
            "sessionLocked": [{"fromSecond": 15, "toSecond": 25}], "sessionEndsAtSecond": 40)"},

        // The watch's first switch fails (the Kiv's record: a bad mode) and is reported; the watch goes
        // on, leaves the same screens alone (an adapter without screens comes at 47 s) and the user's
        // change at 50 s, and answers the sleep that Windows ends with another primary.
        {"WatchGoesOnAfterAFailure",
         kKivAtSecond45,
         {"-t", "0", "--watch"},
         true,
         0,
         panelAndMonitorPass() + Lines{kWatching} +
             failedPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varel("\\\\.\\DISPLAY3")},
                        "Detected 2 Screens and Orvi Kiv", {"Setting Orvi Kiv as primary Display"},
                        "Failed to set Orvi Kiv as primary Screen. Err(ChangeDisplaySettingsEx): -2") +
             Lines{kSameScreens} +
             scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varel("\\\\.\\DISPLAY3")},
                      "Detected 2 Screens and Orvi Kiv", kVarelSet) +
             Lines{kSameScreens, kSessionEnds},
         varelOfDefaultPrimary + Lines{"failure of ChangeDisplaySettingsExW #1"},
         information(3, "No Kiv found; told not to wait") +
             error(10,
                   "Failed to set Orvi Kiv as primary Screen. Err(ChangeDisplaySettingsEx): -2; while watching, "
                   "after the screens changed") +
             information(1,
                         "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv); while "
                         "watching, after the PC resumed"),
         R"("failures": [{"call": "ChangeDisplaySettingsExW", "occurrence": 1, "result": -2}],
            "userPrimary": [{"atSecond": 50, "display": "\\\\.\\DISPLAY2"}],
            "sleeps": [{"fromSecond": 60, "toSecond": 70, "afterwards": "reset"}], "sessionEndsAtSecond": 100)"},

        // Windows lays the screens out again 3 s after the Kiv arrived, after the watch's switch: answered
        // once; 20 s after, the rearrangement is closed and the change left alone.
        {"WatchAnswersALateRelayoutOnce",
         withRelayoutAfter(3),
         {"-t", "0", "--watch"},
         true,
         0,
         panelAndMonitorPass() + Lines{kWatching} + varelPassOfPlugIn + varelPassOfPlugIn +
             Lines{kSameScreens, kSessionEnds},
         varelOfDefaultPrimary,
         information(3, "No Kiv found; told not to wait") + madeWhileWatching("the screens changed") +
             madeWhileWatching("Windows laid the screens out again"),
         R"("sessionEndsAtSecond": 100)",
         2},
        {"WatchLeavesARelayoutAfterTheOpenTime",
         withRelayoutAfter(20),
         {"-t", "0", "--watch"},
         true,
         0,
         panelAndMonitorPass() + Lines{kWatching} + varelPassOfPlugIn + Lines{kSameScreens, kSessionEnds},
         Lines{"\\\\.\\DISPLAY1 at (0, 0) primary", "\\\\.\\DISPLAY2 at (1920, 0)", "\\\\.\\DISPLAY3 at (4480, 0)"},
         information(3, "No Kiv found; told not to wait") + madeWhileWatching("the screens changed"),
         R"("sessionEndsAtSecond": 100)"},

        // The Kiv arrives during the sign-in's wait: the first outcome's switch opens the rearrangement
        // too, and Windows' re-layout 3 s after the arrival is answered by the watch.
        {"WatchAnswersARelayoutAfterTheSignInWaitsSwitch",
         withRelayoutAfter(3),
         {"-t", "60", "--watch"},
         true,
         0,
         panelAndMonitorPass() + Lines{notFound(60), poll(10)} + panelAndMonitorPass() + Lines{poll(10)} +
             panelAndMonitorPass() + Lines{poll(10)} + panelAndMonitorPass() + Lines{poll(12)} + panelAndMonitorPass() +
             Lines{poll(14)} + varelPassOfPlugIn + Lines{kWatching} + varelPassOfPlugIn +
             Lines{kSameScreens, kSessionEnds},
         varelOfDefaultPrimary,
         information(1, "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv)") +
             madeWhileWatching("Windows laid the screens out again"),
         R"("sessionEndsAtSecond": 100)",
         2},
        // A Modern Standby sleep whose resume the tool does not hear, inside a lock: Windows reset the
        // layout while the session was away and made another screen than the user's primary, so the
        // unlock puts the Kiv back.
        {"WatchActsWhenWindowsResetTheLayoutDuringALock",
         "default.json",
         {"-t", "0", "--watch"},
         true,
         0,
         varelOfDefaultSet + Lines{kWatching, kSameScreens} + refusedLook + varelOfDefaultSet +
             Lines{kSameScreens, kSessionEnds},
         varelOfDefaultPrimary,
         kVarelMadePrimary + madeWhileWatching("the session came back"),
         R"("userPrimary": [{"atSecond": 10, "display": "\\\\.\\DISPLAY2"}],
            "sessionLocked": [{"fromSecond": 15, "toSecond": 45}],
            "sleeps": [{"fromSecond": 20, "toSecond": 40, "afterwards": "reset", "resumeNotice": false}],
            "sessionEndsAtSecond": 60)"},

        // A display stack not ready at sign-in: the failure is the run's outcome, and the watch follows.
        {"WatchFollowsAFailedFirstLook",
         kKivAtSecond45,
         {"-t", "0", "--watch"},
         true,
         0,
         Lines{"Searching for Monitor Screens", "ERROR: " + kSizesContext + ": The parameter is incorrect.\r",
               " (Error code: 0x57)", kWatching} +
             scanPass({panel("\\\\.\\DISPLAY1"), dell("\\\\.\\DISPLAY2", kIntelId), varel("\\\\.\\DISPLAY3")},
                      "Detected 2 Screens and Orvi Kiv", kVarelSet) +
             Lines{kSameScreens, kSessionEnds},
         varelOfDefaultPrimary + Lines{"failure of GetDisplayConfigBufferSizes #1"},
         error(10, kSizesContext + ": The parameter is incorrect.\r\n (Error code: 0x57)") +
             information(1,
                         "Made the Kiv the primary display: the Varel on \\\\.\\DISPLAY3 (Varel Kiv); while "
                         "watching, after the screens changed"),
         R"("failures": [{"call": "GetDisplayConfigBufferSizes", "occurrence": 1, "result": 87}],
            "sessionEndsAtSecond": 100)"},

        {"BrokenDesktopFile",
         "{",
         {"-t", "0"},
         false,
         1,
         {"ERROR: Simulated desktop " + kDesktopMark + ": " + kNotJson},
         std::nullopt,
         error(10, "Simulated desktop " + kDesktopMark + ": " + kNotJson)},
    };
}

// The display devices of a desktop file in device order, the plug-ins still to come and the failures.
Lines layoutOf(const orvi::simulation::DesktopFile& file) {
    Lines lines;
    for (const auto& adapter : file.desktop.adapters) {
        for (const auto& display : adapter.displays) {
            std::string line = orvi::simulation::utf16ToUtf8(display.deviceName) + " at (" + std::to_string(display.x) +
                               ", " + std::to_string(display.y) + ")";
            if (display.primary) {
                line += " primary";
            }
            if (!display.attached) {
                line += " not attached";
            }
            lines.push_back(line);
        }
    }
    for (const auto& plugIn : file.plugIns) {
        lines.push_back(plugIn.atSecond ? "plug-in at second " + std::to_string(*plugIn.atSecond)
                                        : "plug-in during pass " + std::to_string(plugIn.duringPass));
    }
    for (const auto& failure : file.failures) {
        lines.push_back("failure of " + std::string(orvi::simulation::user32NameOf(failure.call)) + " #" +
                        std::to_string(failure.occurrence));
    }
    for (const auto& lock : file.sessionLocked) {
        lines.push_back("session locked from " + std::to_string(lock.fromSecond) + " to " +
                        std::to_string(lock.toSecond) + " s");
    }
    if (file.remoteSession) {
        lines.push_back("remote session");
    }
    for (const auto& unplug : file.unplugs) {
        lines.push_back("unplug at second " + std::to_string(unplug.atSecond));
    }
    for (const auto& primary : file.userPrimary) {
        lines.push_back("user's primary at second " + std::to_string(primary.atSecond));
    }
    for (const auto& sleep : file.sleeps) {
        lines.push_back("sleep from " + std::to_string(sleep.fromSecond) + " to " + std::to_string(sleep.toSecond) +
                        " s" + (sleep.resumeNotice ? "" : " without a resume notice"));
    }
    if (file.sessionEndsAtSecond) {
        lines.push_back("session ends at second " + std::to_string(*file.sessionEndsAtSecond));
    }
    return lines;
}

std::string replaced(std::string text, const std::string& mark, const std::string& by) {
    const std::size_t at = text.find(mark);
    return at == std::string::npos ? text : text.replace(at, mark.size(), by);
}

struct ToolRun {
    int exitCode = -1;
    std::string output;  // standard output and standard error, interleaved
    std::chrono::duration<double> elapsed{};
};

// Runs the host executable as a user would from a shell. The variables that the stand-ins read are
// set from the arguments, never taken over from this test program's environment.
ToolRun runTool(const std::vector<std::string>& arguments, const std::string& desktopPath,
                const std::string& mutexFolder, bool simulatedClock, const std::string& eventLogPath,
                const std::string& callsPath) {
    // Far beyond any sound run (a few seconds; virtual waits take no time) and well within ctest's
    // time-out, so that a run that never ends (a wait that spins on virtual time) fails its case by
    // name: reading and waiting for the exit share the one limit.
    constexpr std::chrono::seconds kLongestRun(30);
    const auto start = std::chrono::steady_clock::now();
    ChildProcess tool(KIV_TOOL_PATH, arguments,
                      {Piped::OutputAndError,
                       {{"SIMULATED_DESKTOP", desktopPath},
                        {"XDG_RUNTIME_DIR", mutexFolder},
                        {"SIMULATED_CLOCK", simulatedClock ? "1" : ""},
                        {"SIMULATED_EVENT_LOG", eventLogPath},
                        {"SIMULATED_CALLS", callsPath}}});
    tool.endInput();
    ToolRun run;
    run.output = tool.readToEnd(kLongestRun);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(start + kLongestRun - std::chrono::steady_clock::now());
    run.exitCode = tool.waitForExit(std::max(left, std::chrono::milliseconds(1)));
    run.elapsed = std::chrono::steady_clock::now() - start;
    return run;
}

class HostEndToEnd : public ::testing::TestWithParam<Case> {
protected:
    // Each run has a folder of its own, which is also where its named mutexes live, so that nothing
    // else running the tool on this machine meets them.
    const TemporaryFolder folder_{"host-e2e"};
};

TEST_P(HostEndToEnd, ExitCodeLogAndStoredLayout) {
    const Case& c = GetParam();
    const std::string desktopPath = folder_.file("desktop.json");
    const std::string logPath = folder_.file("tool.log");
    std::string original =
        c.desktop.front() == '{' ? c.desktop : readFile(std::string(KIV_EXAMPLES_DIR) + "/" + c.desktop);
    ASSERT_FALSE(original.empty()) << c.desktop;
    if (!c.extraKeys.empty()) {
        const std::size_t end = original.rfind('}');
        ASSERT_NE(end, std::string::npos);
        original.insert(end, ", " + c.extraKeys + "\n");
    }
    writeFile(desktopPath, original);

    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.end(), {"-l", logPath});
    const std::string eventLogPath = folder_.file("events.txt");
    const std::string callsPath = folder_.file("calls.txt");
    const ToolRun run =
        runTool(arguments, desktopPath, folder_.path().string(), c.simulatedClock, eventLogPath, callsPath);
    if (c.layoutsShown >= 0) {
        const Lines calls = linesOf(readFile(callsPath));
        EXPECT_EQ(
            std::count_if(calls.begin(), calls.end(),
                          [](const std::string& call) {
                              const bool apply =
                                  call.rfind("ChangeDisplaySettingsExW device=NULL ", 0) == 0 ||
                                  (call.rfind("SetDisplayConfig ", 0) == 0 &&
                                   (std::stoul(call.substr(call.find("flags=0x") + 8), nullptr, 16) & SDC_APPLY) != 0);
                              return apply && call.size() > 5 && call.compare(call.size() - 5, 5, " -> 0") == 0;
                          }),
            c.layoutsShown);
        EXPECT_NE(std::find(calls.begin(), calls.end(), "EnumDisplayMonitors -> 1"), calls.end());
    }

    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_EQ(run.output, "") << "the log file takes every line";
    // Simulated waits take no real time; real ones would take up to 42 s here.
    EXPECT_LT(run.elapsed.count(), 10.0);

    Lines log = linesOf(readFile(logPath));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].rfind("App start at: ", 0), 0u) << log[0];
    EXPECT_EQ(log[1], "");
    log.erase(log.begin(), log.begin() + 2);
    Lines expectedLog;
    for (const std::string& line : c.log) {
        expectedLog.push_back(replaced(line, kDesktopMark, desktopPath));
    }
    EXPECT_EQ(log, expectedLog);
    EXPECT_EQ(readFile(eventLogPath), replaced(c.event, kDesktopMark, desktopPath));

    if (c.layout) {
        EXPECT_EQ(layoutOf(orvi::simulation::readDesktopFile(desktopPath)), *c.layout);
    } else {
        EXPECT_EQ(readFile(desktopPath), original) << "the desktop file must stay as it was";
    }
}

INSTANTIATE_TEST_SUITE_P(Desktops, HostEndToEnd, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& test) { return std::string(test.param.name); });

// Sign-out and shutdown reach the host executable as SIGTERM (or SIGINT from a terminal): a wait for
// a Kiv, a pass's wait for the family lock that a sibling tool holds, and the watch end at once with
// their line (and the run's event when it had none yet), and the exit code is 0. A signal during a
// pass, when no wait listens, ends the wait after it.
TEST_F(HostEndToEnd, TheEndOfTheSessionEndsEveryWait) {
    struct Ending {
        const char* what;
        std::string desktop;  // a file of the examples, or the text of one
        std::vector<std::string> options;
        std::optional<std::string> siblingTakesTheLockAfter;  // a line of the log; "": from the start
        Lines tail;  // the log's last lines; the one before the end shows that the tool waits
        std::string event;
        std::string signalAfter = "";  // what the log shows when the signal is sent; "": that line
        bool simulatedClock = false;
    };
    const std::string kFamilyWait = "Other application is performing an action - waiting for it to finish";
    // An adapter plugged in during the second pass whose name is longer than a pipe holds: the window
    // system tells of its plug-in on standard error, which the test reads only after the signal, so
    // the pass cannot end before the signal has come.
    const std::string kHeldPass =
        R"({"adapters": [{"displays": [{"primary": true, "monitors": [{}]}]}],
            "plugIns": [{"duringPass": 2, "adapter": {"name": ")" +
        std::string(70000, 'n') + R"(", "displays": [{"x": 1920, "monitors": [{}]}]}}]})";
    const Ending endings[] = {
        {"the wait for a Kiv",
         "kiv-plugged-in-later.json",
         {"-t", "300"},
         std::nullopt,
         {notFound(300), poll(10), kSessionEnds},
         information(4, "No Kiv found; the session ended during the wait of 300 s")},
        {"a pass's wait for the family lock",
         "default.json",
         {"-t", "0"},
         "",
         {kFamilyWait, kSessionEnds},
         information(3, "No Kiv found; the session ended while another tool changed the screens")},
        // The pass after the first wait: the end is the wait's, never a Kiv found.
        {"a poll's pass's wait for the family lock",
         "kiv-plugged-in-later.json",
         {"-t", "1"},
         poll(10),
         {notFound(1), poll(10), kFamilyWait, kSessionEnds},
         information(4, "No Kiv found; the session ended during the wait of 1 s")},
        // After a wait: the wait's end of the session no longer answers, the watch's own does.
        {"the watch",
         "kiv-plugged-in-later.json",
         {"-t", "1", "--watch"},
         std::nullopt,
         {kWatching, kSessionEnds},
         information(4, "No Kiv found within the wait of 1 s")},
        {"a poll's pass, between two waits",
         kHeldPass,
         {"-t", "300"},
         std::nullopt,
         {"Done", poll(10), kSessionEnds},
         information(4, "No Kiv found; the session ended during the wait of 300 s"),
         poll(10) + "\nSearching for Monitor Screens",
         true},
    };
    for (const Ending& ending : endings) {
        for (const int signal : {SIGTERM, SIGINT}) {
            SCOPED_TRACE(std::string(ending.what) + ", signal " + std::to_string(signal));
            const std::string name = std::to_string(signal) + "-" + std::to_string(&ending - endings);
            const std::string desktopPath = folder_.file("desktop-" + name);
            const std::string logPath = folder_.file("tool-" + name + ".log");
            const std::string eventLogPath = folder_.file("events-" + name + ".txt");
            writeFile(desktopPath, ending.desktop.front() == '{'
                                       ? ending.desktop
                                       : readFile(std::string(KIV_EXAMPLES_DIR) + "/" + ending.desktop));
            std::optional<ChildProcess> sibling;
            const auto takeTheFamilyLock = [&] {
                sibling.emplace(KIV_MUTEX_HOLDER_PATH, std::vector<std::string>{"hold", "MorvaKivDisplayApp_main"},
                                ChildSetup{Piped::OutputAndError, {{"XDG_RUNTIME_DIR", folder_.path().string()}}});
                return sibling->readLine();
            };
            if (ending.siblingTakesTheLockAfter == "") {
                ASSERT_EQ(takeTheFamilyLock(), "locked");
            }
            std::vector<std::string> arguments = ending.options;
            arguments.insert(arguments.end(), {"-l", logPath});
            const auto start = std::chrono::steady_clock::now();
            ChildProcess tool(KIV_TOOL_PATH, arguments,
                              {Piped::OutputAndError,
                               {{"SIMULATED_DESKTOP", desktopPath},
                                {"XDG_RUNTIME_DIR", folder_.path().string()},
                                {"SIMULATED_CLOCK", ending.simulatedClock ? "1" : ""},
                                {"SIMULATED_NARRATION", "1"},
                                {"SIMULATED_EVENT_LOG", eventLogPath}}});
            tool.endInput();
            const auto waitForLine = [&](const std::string& line) {
                while (readFile(logPath).find(line) == std::string::npos) {
                    ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(9)) << "no " << line;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            };
            if (ending.siblingTakesTheLockAfter.value_or("") != "") {
                waitForLine(*ending.siblingTakesTheLockAfter);
                ASSERT_FALSE(HasFatalFailure());
                ASSERT_EQ(takeTheFamilyLock(), "locked");
            }
            waitForLine(ending.signalAfter.empty() ? ending.tail[ending.tail.size() - 2] : ending.signalAfter);
            ASSERT_FALSE(HasFatalFailure()) << "the wait never began";
            ::kill(static_cast<pid_t>(tool.id()), signal);
            tool.readToEnd(std::chrono::seconds(2));
            EXPECT_EQ(tool.waitForExit(std::chrono::seconds(2)), 0);
            const Lines log = linesOf(readFile(logPath));
            EXPECT_EQ(Lines(log.end() - std::min(log.size(), ending.tail.size()), log.end()), ending.tail);
            EXPECT_EQ(readFile(eventLogPath), ending.event);
        }
    }
}

// --explain: its report on the redirected standard output (and with -l in the log file), its exit code,
// no event, the desktop file as it was; the locks that other processes hold are told, not waited for.
struct ExplainedAdapter {
    std::string name;
    std::string hardwareId;
    std::string usbId;  // as read from the hardware id
};
struct ExplainedMonitor {
    std::string name;
    std::string edid;  // "edid-manufacturer=... edid-product-code=..."
    unsigned productCode;
};
const ExplainedAdapter kIntel{"Intel(R) UHD Graphics 620", "PCI\\VEN_8086&DEV_5917&SUBSYS_07A81028&REV_07", kIntelId};
const ExplainedAdapter kNvidia{"NVIDIA GeForce RTX 3060", "PCI\\VEN_10DE&DEV_2503&SUBSYS_397D1462&REV_A1", kNvidiaId};
const ExplainedAdapter kVarelAdapter{"Varel Kiv USB Display Adapter", "USB\\VID_17E9&PID_FF13&MI_00", kVarelId};
const ExplainedAdapter kUsbAdapter{"USB Display Adapter", "USB\\VID_1D5C&PID_2000&MI_00", "VID_1D5C&PID_2000"};
const ExplainedMonitor kBoe{"", "edid-manufacturer=BOE edid-product-code=2151", 2151};
const ExplainedMonitor kDell{"DELL U2719D", "edid-manufacturer=DEL edid-product-code=10128", 10128};
const ExplainedMonitor kVarelMonitor{"Varel Kiv", "edid-manufacturer=VRL edid-product-code=19", 19};
const ExplainedMonitor kPellunMonitor{"KIV USB", "edid-manufacturer=PLN edid-product-code=4233", 4233};

std::string explained(int number, const std::string& device, const ExplainedAdapter& adapter,
                      const ExplainedMonitor& monitor, const std::string& placeAndSize, bool primary) {
    const bool varel = adapter.usbId == kVarelId;
    const bool pellun = !varel && monitor.productCode == 4233;
    const std::string usb = "USB id " + adapter.usbId + (varel ? " is the Varel's" : " is not the Varel's " + kVarelId);
    const std::string edid = "; EDID product code " + std::to_string(monitor.productCode) +
                             (pellun ? " is the Pellun's" : " is not the Pellun's 4233");
    return "screen " + std::to_string(number) + ": device=" + device + " monitor=\"" + monitor.name + "\" adapter=\"" +
           adapter.name + "\" hardware-id=\"" + adapter.hardwareId + "\" usb-id=" + adapter.usbId + " " + monitor.edid +
           " place=" + placeAndSize + " primary=" + (primary ? "yes" : "no") + " kiv=" +
           (varel    ? "Varel"
            : pellun ? "Pellun"
                     : "no") +
           " reason=\"" + usb + (varel ? "" : edid) + "\"";
}

const std::string kDisplay1 = "\\\\.\\DISPLAY1";
const std::string kDisplay2 = "\\\\.\\DISPLAY2";
const std::string kDisplay3 = "\\\\.\\DISPLAY3";
// The panel, the monitor and the Varel of the built-in desktop and examples/default.json.
const Lines kDefaultScreens = {
    "screens: 3 attached",
    explained(1, kDisplay1, kIntel, kBoe, "0,0 size=1920x1080", true),
    explained(2, kDisplay2, kIntel, kDell, "1920,0 size=2560x1440", false),
    explained(3, kDisplay3, kVarelAdapter, kVarelMonitor, "4480,0 size=1280x480", false),
    "kiv: screen=3 device=" + kDisplay3 + " variant=Varel primary-now=no",
    "row: " + kDisplay3 + " at 0,0 primary; " + kDisplay1 + " at 1280,0; " + kDisplay2 + " at 3200,0",
};
std::string windowsAnswered(const std::string& verdict, const std::string& flags, const std::string& answer) {
    return "windows: " + verdict + " the row: SetDisplayConfig with SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG" +
           flags + " answered " + answer;
}
const std::string kAware = " | SDC_VIRTUAL_MODE_AWARE | SDC_VIRTUAL_REFRESH_RATE_AWARE";
const std::string kTakes = windowsAnswered("takes", kAware, "0: The operation completed successfully.");
const std::string kMayChange = "session: may change the layout now";
const std::string kMayRead = "session: may read the screens now";
const Lines kNoRow = {"windows: not asked, there is no row", kMayRead};
const std::string kMayNotChange = "session: may not change the layout now: ";
const std::string kFree = "single-instance lock: free";
const std::string kFamilyFree = "family lock: free";
const std::string kExit0 = "exit code: 0 (the Kiv is primary, or would be made primary and Windows takes the row)";
const std::string kExit3 = "exit code: 3 (Windows would refuse the row, or the session may not change the layout now)";
const Lines kFreeAndTaken = {kTakes, kMayChange, kFree, kFamilyFree, kExit0};

// Who holds one of the tool's locks while --explain runs.
enum class Holder { None, Sibling, Watcher };

struct ExplainCase {
    const char* name;
    std::string desktop;  // a file of examples/, or the file's text when it starts with '{'; empty: the built-in one
    std::string extraKeys;
    Holder holder;
    bool withLog;
    int exitCode;
    Lines report;  // after its title
};

void PrintTo(const ExplainCase& c, std::ostream* os) { *os << c.name; }

std::string failing(const std::string& call, int occurrence, int result, int lastError = 0) {
    return R"("failures": [{"call": ")" + call + R"(", "occurrence": )" + std::to_string(occurrence) +
           R"(, "result": )" + std::to_string(result) + R"(, "lastError": )" + std::to_string(lastError) + "}]";
}
const std::string kNotFunctioning = "A device attached to the system is not functioning. (Error code: 0x1f)";

std::vector<ExplainCase> explainCases() {
    return {
        {"BuiltInDesktop", "", "", Holder::None, false, 0, kDefaultScreens + kFreeAndTaken},
        {"NoKiv", "kiv-plugged-in-later.json", "", Holder::None, false, 2,
         Lines{"screens: 2 attached", explained(1, kDisplay1, kIntel, kBoe, "0,0 size=1920x1080", true),
               explained(2, kDisplay2, kIntel, kDell, "1920,0 size=2560x1440", false), "kiv: none",
               "row: none, no Kiv is attached"} +
             kNoRow + Lines{kFree, kFamilyFree, "exit code: 2 (no Kiv is attached)"}},
        {"PellunWithTheLog", "pellun.json", "", Holder::None, true, 0,
         Lines{"screens: 2 attached", explained(1, kDisplay1, kIntel, kBoe, "0,0 size=1920x1080", true),
               explained(2, kDisplay3, kUsbAdapter, kPellunMonitor, "1920,0 size=1280x480", false),
               "kiv: screen=2 device=" + kDisplay3 + " variant=Pellun primary-now=no",
               "row: " + kDisplay3 + " at 0,0 primary; " + kDisplay1 + " at 1280,0"} +
             kFreeAndTaken},
        // The Varel goes first, the Pellun at the end of the row.
        {"BothVariants", "both-variants.json", "", Holder::None, false, 0,
         Lines{"screens: 3 attached", explained(1, kDisplay1, kNvidia, kDell, "0,0 size=2560x1440", true),
               explained(2, kDisplay2, kNvidia, kPellunMonitor, "2560,0 size=1280x480", false),
               explained(3, kDisplay3, kVarelAdapter, kVarelMonitor, "3840,0 size=1280x480", false),
               "kiv: screen=3 device=" + kDisplay3 + " variant=Varel primary-now=no",
               "row: " + kDisplay3 + " at 0,0 primary; " + kDisplay1 + " at 1280,0; " + kDisplay2 + " at 3840,0"} +
             kFreeAndTaken},
        {"OnlyTheKiv", "only-kiv.json", "", Holder::None, false, 0,
         Lines{"screens: 1 attached", explained(1, kDisplay1, kVarelAdapter, kVarelMonitor, "0,0 size=1280x480", true),
               "kiv: screen=1 device=" + kDisplay1 + " variant=Varel primary-now=yes",
               "row: none, every screen is a Varel and one of them is primary already"} +
             kNoRow + Lines{kFree, kFamilyFree, kExit0}},
        // A monitor whose device path carries no manufacturer, one whose manufacturer's letters are the first
        // and the last, and below them one without any display path (no identity) on an adapter whose
        // hardware id carries a product id alone.
        {"NoUsbIdNorEdidIds",
         R"({"adapters": [
             {"name": "GPU", "hardwareId": "", "displays": [{"primary": true, "monitors": [
               {"edidProductCode": 2151, "devicePath": "\\\\?\\DISPLAY#Default_Monitor"}]},
               {"x": 1920, "monitors": [{"edidProductCode": 1, "devicePath": "\\\\?\\DISPLAY#AZW0001"}]}]},
             {"name": "USB", "hardwareId": "USB\\VID_0000&PID_0001&MI_00", "displays": [
               {"y": 1080, "height": 1200}]}]})",
         "", Holder::None, false, 2,
         Lines{"screens: 3 attached",
               "screen 1: device=" + kDisplay1 +
                   R"( monitor="" adapter="GPU" hardware-id="" usb-id=none )"
                   "edid-manufacturer=0x0000 edid-product-code=2151 place=0,0 size=1920x1080 primary=yes kiv=no "
                   R"(reason="no USB id in the hardware id; EDID product code 2151 is not the Pellun's 4233")",
               "screen 2: device=" + kDisplay2 +
                   R"( monitor="" adapter="GPU" hardware-id="" usb-id=none )"
                   "edid-manufacturer=AZW edid-product-code=1 place=1920,0 size=1920x1080 primary=no kiv=no "
                   R"(reason="no USB id in the hardware id; EDID product code 1 is not the Pellun's 4233")",
               "screen 3: device=" + kDisplay3 +
                   R"( monitor="" adapter="USB" hardware-id="USB\VID_0000&PID_0001&MI_00" )"
                   "usb-id=VID_0000&PID_0001 edid-manufacturer=none edid-product-code=none place=0,1080 "
                   "size=1920x1200 primary=no kiv=no reason=\"USB id VID_0000&PID_0001 is not the Varel's " +
                   kVarelId + "; no EDID product code from Windows\"",
               "kiv: none", "row: none, no Kiv is attached"} +
             kNoRow + Lines{kFree, kFamilyFree, "exit code: 2 (no Kiv is attached)"}},
        {"ValidateRefusedWith31", "default.json", failing("SetDisplayConfig", 1, 31), Holder::None, false, 3,
         kDefaultScreens +
             Lines{windowsAnswered("refuses", kAware, "31: A device attached to the system is not functioning."),
                   kMayChange, kFree, kFamilyFree, kExit3}},
        // Windows refuses the flags of the first two layouts (as Windows 10 refuses the refresh-rate flag):
        // asked again in the next layout, down to the plain one.
        {"LayoutFlagsRefused", "default.json",
         R"("failures": [{"call": "SetDisplayConfig", "occurrence": 1, "result": 87},
                         {"call": "SetDisplayConfig", "occurrence": 2, "result": 87}])",
         Holder::None, false, 0,
         kDefaultScreens + Lines{windowsAnswered("takes", "", "0: The operation completed successfully."), kMayChange,
                                 kFree, kFamilyFree, kExit0}},
        // The plain layout's answer stands.
        {"EveryLayoutRefused", "default.json",
         R"("failures": [{"call": "SetDisplayConfig", "occurrence": 1, "result": 87},
                         {"call": "SetDisplayConfig", "occurrence": 2, "result": 87},
                         {"call": "SetDisplayConfig", "occurrence": 3, "result": 87}])",
         Holder::None, false, 3,
         kDefaultScreens + Lines{windowsAnswered("refuses", "", "87: The parameter is incorrect."), kMayChange, kFree,
                                 kFamilyFree, kExit3}},
        {"ValidateAccessDenied", "default.json", failing("SetDisplayConfig", 1, 5), Holder::None, false, 3,
         kDefaultScreens +
             Lines{windowsAnswered("refuses", kAware, "5: Access is denied."),
                   kMayNotChange + "Windows refuses this session the display configuration (locked, remote)", kFree,
                   kFamilyFree, kExit3}},
        {"RowQueryFails", "default.json", failing("QueryDisplayConfig", 2, 31), Holder::None, false, 3,
         kDefaultScreens +
             Lines{"windows: cannot be asked: Failed to obtain current displays config: " + kNotFunctioning, kMayChange,
                   kFree, kFamilyFree, kExit3}},
        {"RowQueryRefused", "default.json", failing("QueryDisplayConfig", 2, 5), Holder::None, false, 3,
         kDefaultScreens + Lines{"windows: not asked, the display configuration cannot be read now",
                                 kMayNotChange + "Failed to obtain current displays config: Access is denied. (Error "
                                                 "code: 0x5)",
                                 kFree, kFamilyFree, kExit3}},
        {"ModeUnreadable", "default.json", failing("EnumDisplaySettingsW", 2, 0, 31), Holder::None, false, 3,
         Lines(kDefaultScreens.begin(), kDefaultScreens.end() - 1) +
             Lines{"row: cannot be made: Failed to get Screen settings: " + kNotFunctioning} + kNoRow +
             Lines{kFree, kFamilyFree, kExit3}},
        {"LockedSession",
         "locked-until-35s.json",
         "",
         Holder::None,
         false,
         3,
         {"screens: cannot be read now",
          kMayNotChange + "Failed to obtain detail for current displays config: Access is denied. (Error code: 0x5)",
          kFree, kFamilyFree, kExit3}},
        {"ScreensUnreadable",
         "default.json",
         failing("GetDisplayConfigBufferSizes", 1, 31),
         Holder::None,
         false,
         1,
         {"screens: cannot be read: Failed to obtain detail for current displays config: " + kNotFunctioning, kFree,
          kFamilyFree, "exit code: 1 (the screens could not be read)"}},
        {"SiblingHoldsTheFamilyLock", "default.json", "", Holder::Sibling, false, 0,
         kDefaultScreens + Lines{kTakes, kMayChange, kFree,
                                 "family lock: held: another tool of the family changes the screens; a run now "
                                 "would wait for it",
                                 kExit0}},
        {"WatcherHoldsTheSingleInstanceLock", "default.json", "", Holder::Watcher, false, 0,
         kDefaultScreens + Lines{kTakes, kMayChange,
                                 "single-instance lock: held: another instance runs in this session (a watcher?); a "
                                 "run now would end at once",
                                 kFamilyFree, kExit0}},
    };
}

class HostExplain : public ::testing::TestWithParam<ExplainCase> {
protected:
    const TemporaryFolder folder_{"host-explain"};
};

TEST_P(HostExplain, ReportsOnTheRedirectedOutputAndChangesNothing) {
    const ExplainCase& c = GetParam();
    const std::string mutexFolder = folder_.path().string();
    const ChildSetup inTheFolder{Piped::OutputAndError, {{"XDG_RUNTIME_DIR", mutexFolder}}};
    std::string desktopPath;
    std::string original;
    if (!c.desktop.empty()) {
        desktopPath = folder_.file("desktop.json");
        original = c.desktop.front() == '{' ? c.desktop : readFile(std::string(KIV_EXAMPLES_DIR) + "/" + c.desktop);
        if (!c.extraKeys.empty()) {
            original.insert(original.rfind('}'), ", " + c.extraKeys + "\n");
        }
        writeFile(desktopPath, original);
    }

    std::optional<ChildProcess> holder;
    if (c.holder == Holder::Sibling) {
        holder.emplace(KIV_MUTEX_HOLDER_PATH, std::vector<std::string>{"hold", "MorvaKivDisplayApp_main"}, inTheFolder);
        ASSERT_EQ(holder->readLine(), "locked");
    } else if (c.holder == Holder::Watcher) {
        // A watcher of its own desktop, which it has made its Kiv primary in by the time it watches.
        const std::string watcherDesktop = folder_.file("watcher.json");
        writeFile(watcherDesktop, original);
        ChildSetup watcherSetup = inTheFolder;
        watcherSetup.environment.insert(
            watcherSetup.environment.end(),
            {{"SIMULATED_DESKTOP", watcherDesktop}, {"SIMULATED_CLOCK", ""}, {"SIMULATED_EVENT_LOG", ""}});
        holder.emplace(KIV_TOOL_PATH, std::vector<std::string>{"-t", "0", "--watch"}, watcherSetup);
        for (std::string line; line != kWatching;) {
            line = holder->readLine();
            ASSERT_NE(line, "<end of output>");
            ASSERT_NE(line, "<no answer in time>");
        }
    }

    std::vector<std::string> arguments = {"--explain"};
    const std::string logPath = folder_.file("explain.log");
    if (c.withLog) {
        arguments.insert(arguments.end(), {"-l", logPath});
    }
    const std::string eventLogPath = folder_.file("events.txt");
    const ToolRun run = runTool(arguments, desktopPath, mutexFolder, false, eventLogPath, "");
    if (c.holder == Holder::Watcher) {
        ::kill(static_cast<pid_t>(holder->id()), SIGTERM);
        EXPECT_EQ(holder->waitForExit(), 0);
    }

    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    const Lines report =
        Lines{"SetPrimaryKiv --explain: what a run would see and do now; nothing was changed"} + c.report;
    EXPECT_EQ(linesOf(run.output), report);
    EXPECT_EQ(readFile(eventLogPath), "") << "no event";
    if (!c.desktop.empty()) {
        EXPECT_EQ(readFile(desktopPath), original) << "the desktop file must stay as it was";
    }
    if (c.withLog) {
        Lines log = linesOf(readFile(logPath));
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[0].rfind("App start at: ", 0), 0u) << log[0];
        EXPECT_EQ(Lines(log.begin() + 2, log.end()), report);
    }
}

INSTANTIATE_TEST_SUITE_P(Desktops, HostExplain, ::testing::ValuesIn(explainCases()),
                         [](const ::testing::TestParamInfo<ExplainCase>& test) {
                             return std::string(test.param.name);
                         });

}  // namespace
