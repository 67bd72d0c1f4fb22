// Simulated desktops as JSON text and files (the format: docs/desktop-files.md).
#pragma once

#include "desktopfile/DisplayCall.h"
#include "desktopfile/SimulatedDesktop.h"

#include <optional>
#include <string>
#include <vector>

namespace orvi::simulation {

// An adapter, with its display devices and monitors, that is plugged in while the tool runs: during
// the duringPass-th scan pass (1, 2, ...), or, when atSecond is set, that many seconds after the run
// began, on the run's clock. PlugInSchedule.h turns either into the window system's moment.
struct PlannedPlugIn {
    unsigned duringPass = 1;  // not used when atSecond is set
    SimulatedAdapter adapter;
    std::optional<unsigned> atSecond = std::nullopt;
    // With atSecond: that many seconds after the adapter arrived, Windows lays the screens out again as
    // it laid them out at its arrival, shown and stored (a USB display adapter that finishes appearing,
    // or its helper applying a stored layout, after the tool's switch).
    std::optional<unsigned> relayoutAfterSeconds = std::nullopt;
};

// A display call that fails instead of doing anything: the occurrence-th call (1, 2, ...) of that
// function in the run returns `result` (0 for the BOOL calls, an error or DISP_CHANGE_* code for
// the others) and leaves `lastError` as the thread's last error.
struct PlannedFailure {
    DisplayCall call = DisplayCall::enumDisplayDevices;
    unsigned occurrence = 1;
    LONG result = 0;
    DWORD lastError = 0;
};

// A time in which the session is locked, in whole seconds of the run's clock: from fromSecond up to
// toSecond (fromSecond < toSecond). The session comes back at toSecond.
struct PlannedSessionLock {
    unsigned fromSecond = 0;
    unsigned toSecond = 0;
};

// An adapter unplugged at a second of the run: by its index among the adapters attached then, or by
// its name.
struct PlannedUnplug {
    unsigned atSecond = 0;
    AdapterChoice adapter = std::size_t{0};
};

// The user makes the attached display device of this name primary at a second of the run, as
// Settings does.
struct PlannedPrimary {
    unsigned atSecond = 0;
    std::u16string display;
};

// The PC sleeps from fromSecond up to toSecond (fromSecond < toSecond) and then lays its screens out
// as `afterwards` says.
struct PlannedSleep {
    unsigned fromSecond = 0;
    unsigned toSecond = 0;
    AfterSleep afterwards = AfterSleep::Stored;
    // false: the resume announces no WM_POWERBROADCAST that the tool hears (a Modern Standby PC whose
    // window is not registered for it); only a change of the screens and an unlock are heard.
    bool resumeNotice = true;
};

// What a desktop file holds: the desktop as the tool finds it, the adapters plugged in later, the
// calls that fail, when the session has no access to the console, and the rest of a user's day.
struct DesktopFile {
    SimulatedDesktop desktop;
    std::vector<PlannedPlugIn> plugIns;
    std::vector<PlannedFailure> failures = {};  // may be left out of an initializer, as the others
    std::vector<PlannedSessionLock> sessionLocked = {};
    bool remoteSession = false;
    std::vector<PlannedUnplug> unplugs = {};
    std::vector<PlannedPrimary> userPrimary = {};
    std::vector<PlannedSleep> sleeps = {};
    std::optional<unsigned> sessionEndsAtSecond = std::nullopt;  // a sign-out
};

// Reads the bytes of a desktop file: UTF-8, with or without its byte order mark, or UTF-16 with its
// byte order mark. Throws std::runtime_error naming the first fault and where it is
// ("adapters[0].displays[1].width: ..."): not JSON (with the line and column where the parser
// stopped: "desktop: not JSON at line 3, column 5: ..."), UTF-16 with an odd number of bytes, a missing
// "adapters", an unknown key, a value of the wrong type or out of range, a text that is not UTF-8, a
// plug-in without its adapter or without exactly one of its pass and second, a failure without its
// call, occurrence or result, of a call that is not a display call, or with a result that is no
// failure, a session lock or a sleep without both seconds or that does not end after it begins, an
// unplug without its second or adapter, a user's primary without its second or display, a source id
// or target id given twice, a target adapter that is none of the adapters, two attached display
// devices that are primary or that overlap (other than a clone: one rectangle), and a day that cannot happen: two display devices of one
// name at one time, an unplug of an adapter or a user's primary of a display device that is not
// attached at its second, any second of the day at or after sessionEndsAtSecond, sleeps that overlap,
// a lock that begins or ends while the PC sleeps, a user's primary while the PC sleeps or the session
// is locked, or at the second the session is unlocked. An adapter planned for a pass counts as
// attached from the start.
DesktopFile parseDesktop(const std::string& bytes);

// Gives every display device without a name "\\.\DISPLAYn", n counting all of them from 1 adapter by
// adapter, or the lowest n that no display device has where another one has that name already (one
// plugged in after an unplug).
void nameDisplayDevices(std::vector<SimulatedAdapter>& adapters);

// Every field written, indented by two blanks; "plugIns", "failures", "sessionLocked", "unplugs",
// "userPrimary" and "sleeps" only when there are any, "remoteSession" only when true,
// "sessionEndsAtSecond" only when set.
// parseDesktop reads it back unchanged.
std::string formatDesktop(const DesktopFile& file);

// Throws std::runtime_error "<path>: <fault>" when the file cannot be read or parsed.
DesktopFile readDesktopFile(const std::string& path);

// Replaces the file with one of the new content, written as "<path>.new" and renamed over it, so that
// the file holds the old content or the new one at every moment; false when it could not be written
// (the file is then as it was).
bool writeDesktopFile(const std::string& path, const DesktopFile& file);

}  // namespace orvi::simulation
