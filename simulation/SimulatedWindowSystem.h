// A window system in memory: answers the display services (platform/DisplayServices.h) from a
// SimulatedDesktop, the way Windows answers them.
//
// - EnumDisplayDevicesW lists every display device, adapter by adapter, attached or not.
// - EnumDisplayMonitors reports one monitor per attached display device, the primary first and the
//   others in device order (or all in device order, on a desktop with monitorsInDeviceOrder).
// - The display configuration holds one path per attached display device and monitor, with one
//   target mode per path followed by the source mode of its display device (once per source, so a
//   clone shares it; before its first target mode on a desktop with sourceModesFirst). Ids are
//   numbered per adapter, as on a real machine: a USB display adapter beside the GPU has a source 0
//   and a target 0 of its own, told apart by its LUID. On a desktop without databaseEntry,
//   QDC_DATABASE_CURRENT gives the paths alone: no modes, every mode index
//   DISPLAYCONFIG_PATH_MODE_IDX_INVALID, as Windows answers for a set of screens it has no stored
//   layout for. A desktop can set the ids of a PC that numbers them otherwise (sourceId, targetId) and
//   put a display device's target on another adapter (targetAdapter); EnumDisplayDevicesW then lists
//   the display devices by deviceIndex where it is set.
// - A target name carries edidIdsValid unless its monitor is not edidValid; the product code is
//   filled in either way, and so is the manufacturer id, of the three capital letters after
//   "DISPLAY#" in the monitor's device path (0 without them), as Windows builds that path.
// - EnumDisplaySettingsW reports a display's refreshRate as its frequency, or 60 Hz with
//   dynamicRefresh; a ChangeDisplaySettingsExW record whose dmFields names DM_DISPLAYFREQUENCY sets that
//   rate and ends dynamicRefresh. GetMonitorInfoW reports MONITORINFOF_PRIMARY for the primary and for
//   a display with monitorInfoPrimary.
// - ChangeDisplaySettingsExW with CDS_NORESET records a change; a call without CDS_NORESET (in the
//   end: no device, no mode, flags 0) applies every change recorded in the run at once, in the order
//   recorded, so that the desktop shown matches them. The primary must then be at (0, 0), or nothing
//   is applied and the call answers DISP_CHANGE_BADPARAM. On a desktop that declinesPrimary, an apply
//   that would make another display primary answers DISP_CHANGE_SUCCESSFUL and changes nothing: Windows
//   keeps its primary, as with a USB display adapter whose driver cannot drive the primary screen.
// - The stored settings (storedLayout, what the layout store keeps beyond the run) change at once
//   with every change recorded with CDS_UPDATEREGISTRY, applied or not, as Windows writes such a
//   change to the registry at once; a change without it lasts for the run only. When the layout
//   store cannot keep the new layout, that record answers DISP_CHANGE_NOTUPDATED and changes nothing.
//
// - A target on an indirect adapter has the output technology DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED,
//   or the adapter's outputTechnology where it has one.
//   With legacyIndirectPrimary "failed", a ChangeDisplaySettingsExW record with CDS_SET_PRIMARY for an
//   indirect display answers DISP_CHANGE_FAILED; with "ignored" an apply that would make an indirect
//   display primary answers DISP_CHANGE_SUCCESSFUL and changes nothing shown.
// - QueryDisplayConfig with QDC_VIRTUAL_MODE_AWARE (virtualModeAware "taken") gives the layout of
//   Windows 10 2004 and later: every path supports virtual modes (DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE),
//   a desktop image mode entry follows each target mode, and each path packs two 16-bit indexes into
//   each modeInfoIdx (clone group, the display's cloneGroupId where set, and source mode; desktop
//   image and target mode). With
//   QDC_VIRTUAL_REFRESH_RATE_AWARE a path whose panel has a dynamic refresh rate carries
//   DISPLAYCONFIG_PATH_BOOST_REFRESH_RATE. Every path's refresh rate is its display's refreshRate.
//   With virtualModeAware "refused" the aware flags of both calls answer ERROR_INVALID_PARAMETER.
// - SetDisplayConfig takes a supplied configuration (SDC_USE_SUPPLIED_DISPLAY_CONFIG, with SDC_APPLY
//   or SDC_VALIDATE), its indexes in the layout that SDC_VIRTUAL_MODE_AWARE names, so that a
//   configuration queried in the other layout points at the wrong entries. Every active path of the
//   desktop that the configuration leaves out is switched off, the source at (0, 0) becomes primary,
//   each path's refresh rate becomes its display's (and with SDC_VIRTUAL_REFRESH_RATE_AWARE its boost
//   flag says whether the refresh rate is dynamic), and with SDC_SAVE_TO_DATABASE the stored settings
//   become what is shown. Stricter than Windows, which rearranges such a layout itself, it refuses with
//   ERROR_INVALID_PARAMETER a configuration with no source at (0, 0), with screens that overlap or leave
//   a gap, with mode indexes that point nowhere or at the wrong entry, or whose screens changed since
//   the last QueryDisplayConfig (a plug-in meanwhile). On a desktop that declinesPrimary it answers
//   ERROR_SUCCESS and changes nothing when the primary would move. SDC_APPLY | SDC_USE_DATABASE_CURRENT
//   without a configuration shows the stored settings again (declined alike when it moves the primary).
// - Without displayPaths (a headless or remote session) the configuration has no paths:
//   GetDisplayConfigBufferSizes answers 0 paths and 0 modes, and QueryDisplayConfig with those empty
//   arrays answers ERROR_INVALID_PARAMETER.
// - A session without access to the console (locked for a while, or a Remote Desktop session) is
//   refused the display configuration: GetDisplayConfigBufferSizes, QueryDisplayConfig,
//   DisplayConfigGetDeviceInfo and SetDisplayConfig answer ERROR_ACCESS_DENIED, as Windows documents.
//
// Tests can make any call fail, plug in an adapter while the tool runs (during a pass, or at a time of
// the window system's clock), lock the session for a while, and read every call made. Every plug-in
// is announced as a change of the desktop, and so is the end of a lock to a tool that listens then
// (changeNotices). Everything runs on one thread.
#pragma once

#include "desktopfile/DisplayCall.h"
#include "desktopfile/SimulatedDesktop.h"
#include "platform/Win32.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvi::simulation {

enum class DisplayOperation {
    EnumDisplayDevices,
    EnumDisplayMonitors,
    GetMonitorInfo,
    GetDisplayConfigBufferSizes,
    QueryDisplayConfig,
    GetSourceName,    // DisplayConfigGetDeviceInfo, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME
    GetTargetName,    // DisplayConfigGetDeviceInfo, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME
    OtherDeviceInfo,  // DisplayConfigGetDeviceInfo, any other request (answered ERROR_NOT_SUPPORTED)
    EnumDisplaySettings,
    ChangeDisplaySettingsEx,
    SetDisplayConfig,
};

// One call as it was made, and what it answered.
struct SimulatedCall {
    DisplayOperation operation = DisplayOperation::EnumDisplayDevices;
    std::u16string deviceName;  // EnumDisplaySettings, ChangeDisplaySettingsEx: the device named;
                                // GetMonitorInfo: the device it answered for
    DWORD index = 0;            // EnumDisplayDevices: the device index; EnumDisplaySettings: the mode;
                                // SetDisplayConfig: the number of paths
    DWORD flags = 0;            // the configuration queries, ChangeDisplaySettingsEx, SetDisplayConfig
    POINTL position{};          // ChangeDisplaySettingsEx: the mode's dmPosition
    LUID adapterId{};           // DisplayConfigGetDeviceInfo: the request's adapter
    UINT32 id = 0;              // and its source or target id
    LONG result = 0;            // the answer (TRUE/FALSE for the BOOL calls)
    // Whether the calling thread held the tool's locks during the call, as the lock probe told;
    // false without a probe.
    bool singleInstanceLockHeld = false;  // "SetPrimaryKiv_single_app"
    bool familyLockHeld = false;          // "MorvaKivDisplayApp_main"
};

// Whether the calling thread owns the named mutex.
using LockProbe = std::function<bool(const char* mutexName)>;

// Stores a new layout beyond the run; false when it could not, which the recording
// ChangeDisplaySettingsExW answers with DISP_CHANGE_NOTUPDATED.
using LayoutStore = std::function<bool(const SimulatedDesktop&)>;

// The window system's time in nanoseconds, which never goes back.
using SimulatedClock = std::function<std::int64_t()>;

// How many notices the window system announced, of each kind.
struct NoticeCounts {
    unsigned screens = 0;         // the screens changed: a plug-in, an unplug, the user's own primary,
                                  // a layout that a resume changed
    unsigned sessionReturns = 0;  // an unlock that a listener heard
    unsigned resumes = 0;         // a resume from sleep
};

class SimulatedWindowSystem {
public:
    SimulatedWindowSystem() = default;
    explicit SimulatedWindowSystem(SimulatedDesktop desktop);

    // Serves `desktop` from now on, as shown and as stored, and forgets everything else: calls,
    // counts, failures, plug-ins, session locks and the remote session, notices, the clock, the sleep,
    // the pauses, recorded changes, the layout store and the lock probe.
    void reset(SimulatedDesktop desktop);

    // The desktop as it is now, display device names filled in.
    const SimulatedDesktop& desktop() const { return desktop_; }
    // The stored settings: the desktop as served (and as plugged in since), with every change
    // recorded with CDS_UPDATEREGISTRY since, display device names filled in.
    const SimulatedDesktop& storedLayout() const { return storedLayout_; }
    const std::vector<SimulatedCall>& calls() const { return calls_; }
    std::vector<SimulatedCall> callsOf(DisplayOperation operation) const;

    // The LUID of the adapter with this index in the desktop.
    static LUID adapterLuid(std::size_t adapterIndex);

    // Makes the occurrence-th call of `operation` (counted from 1 since the last reset) fail. The
    // LONG calls return `code`; ChangeDisplaySettingsEx returns it as its DISP_CHANGE_* value; the
    // BOOL calls return FALSE and leave `code` as the thread's last error. A failing
    // EnumDisplayMonitors calls back no monitor. The failing call changes nothing.
    void failCall(DisplayOperation operation, unsigned occurrence, LONG code);

    // Makes the occurrence-th call of the user32 function `call` (counted from 1 since the last
    // reset, over all its kinds of request) fail without doing anything: it returns `result` (a BOOL
    // call FALSE, whatever `result` is) and leaves `lastError` as the thread's last error.
    void failCall(DisplayCall call, unsigned occurrence, LONG result, DWORD lastError);

    // Adds `adapter` after the others right after the sizesQuery-th call of
    // GetDisplayConfigBufferSizes (counted from 1 since the last reset): a screen plugged in while the
    // tool runs. A QueryDisplayConfig with the counts asked for before then answers
    // ERROR_INSUFFICIENT_BUFFER when the configuration grew.
    void plugInAfterSizesQuery(unsigned sizesQuery, SimulatedAdapter adapter);

    // Adds `adapter` after the others right after the query-th call of QueryDisplayConfig (counted from
    // 1 since the last reset): a screen plugged in between a query and the SetDisplayConfig that
    // applies it, which then answers ERROR_INVALID_PARAMETER.
    void plugInAfterQuery(unsigned query, SimulatedAdapter adapter);

    // The clock of plugInAt; without one the time stands at 0.
    void setClock(SimulatedClock clock) { clock_ = std::move(clock); }
    std::int64_t now() const { return clock_ ? clock_() : 0; }

    // Adds `adapter` after the others once the clock reads `time` or later: a screen plugged in at a
    // moment of its own, not of the tool's calls. It arrives at happenDue, which every call of
    // GetDisplayConfigBufferSizes makes first (so that the sizes already count it).
    // With `relayoutAfter`, that long after it arrived Windows lays the screens out again as it did at
    // its arrival, shown and stored, and announces the change, when the same screens are attached.
    void plugInAt(std::int64_t time, SimulatedAdapter adapter,
                  std::optional<std::int64_t> relayoutAfter = std::nullopt);
    // The time of the earliest plugInAt adapter that has not arrived yet.
    std::optional<std::int64_t> nextPlugInTime() const;

    // Locks the session from `from` to `to` on the clock (from < to): in between the display
    // configuration queries answer ERROR_ACCESS_DENIED. The unlock is announced by announceUnlocks.
    void lockSession(std::int64_t from, std::int64_t to);
    // A Remote Desktop session: the display configuration queries answer ERROR_ACCESS_DENIED always.
    void setRemoteSession(bool remote) { remoteSession_ = remote; }
    // The end of the earliest lock that has not been announced yet.
    std::optional<std::int64_t> nextUnlockTime() const;
    // Announces, as one notice, every lock that has ended by now and was not announced yet; with
    // `heard` false they are only marked announced (no tool listened when the session came back).
    void announceUnlocks(bool heard = true);

    // How many changes of the desktop the window system has announced: one for each call of
    // GetDisplayConfigBufferSizes after which adapters were plugged in, one for each happenDue that
    // plugged any in, one for each announceUnlocks that heard an unlock, and one for each event of a
    // day (below) that changed the screens or resumed the PC.
    unsigned changeNotices() const { return notices_.screens + notices_.sessionReturns + notices_.resumes; }
    NoticeCounts notices() const { return notices_; }

    // The events of a user's day, each at a time of the clock, happening at happenDue. Windows keeps a
    // stored layout for each set of attached screens it has seen (what identifies each display device:
    // its adapter's hardware id, its source, its monitors' device paths): when the set changes it lays
    // the screens out as it stored them for the new set; for a set it has not seen, the screens that
    // stay keep their places (a plugged-in adapter's come where its file places them), and when the
    // primary went, the first display device left becomes primary at (0, 0) with the others shifted
    // alike. The layouts of other sets last for the run.
    //
    // The adapter unplugged: it leaves the desktop shown and stored.
    void unplugAt(std::int64_t time, AdapterChoice adapter);
    // The user makes the attached display device of this name primary, as Settings does: at (0, 0),
    // every other one shifted alike, shown and stored.
    void makePrimaryAt(std::int64_t time, std::u16string deviceName);
    // The PC sleeps from `from` to `to` (from < to): a listener's wait sleeps through it, and at `to`
    // the screens are laid out as `afterwards` says, shown and stored, and a resume is announced (not
    // without `resumeNotice`: a Modern Standby PC whose listener is not registered for it).
    void sleepBetween(std::int64_t from, std::int64_t to, AfterSleep afterwards, bool resumeNotice = true);
    // The session ends (a sign-out) at `time`: a listener ends its wait then.
    void endSessionAt(std::int64_t time) { sessionEnd_ = time; }
    bool sessionHasEnded() const { return sessionEnd_ && now() >= *sessionEnd_; }
    // Whether the PC sleeps at the clock's time, and until when.
    std::optional<std::int64_t> asleepUntil() const;

    // Tells what happens of the day, and when (a plug-in, an unplug, the user's primary, a sleep and its
    // resume, an unlock, the end of the session), as it happens.
    void setNarration(std::function<void(std::int64_t time, const std::string& what)> narration) {
        narration_ = std::move(narration);
    }

    // The time of the next event that has not happened yet: a timed plug-in, an unlock not announced,
    // an event of the day, the end of the session.
    std::optional<std::int64_t> nextEventTime() const;
    // Makes every event due by now happen, one second after the other in the order of their times
    // (at one second: the plug-ins, a resume, the unplugs, the user's primaries, a sleep's beginning, a
    // lock's, the end of the session), each told at its own second; the plugInAt adapters due by the
    // next other event arrive together, with one notice. When an event happened that a desktop file
    // written then no longer holds (all but the beginning of a sleep or a lock), the layout store gets
    // the stored layout, so that such a file holds the day as it stands.
    void happenDue();

    // The events of the day still to come, with their times, for a desktop file written meanwhile.
    struct TimedUnplug {
        std::int64_t time;
        AdapterChoice adapter;
    };
    struct TimedPrimary {
        std::int64_t time;
        std::u16string deviceName;
    };
    struct TimedSleep {
        std::int64_t from;
        std::int64_t to;
        AfterSleep afterwards;
        bool resumeNotice = true;
        bool begun = false;
    };
    const std::vector<TimedUnplug>& unplugsToCome() const { return unplugs_; }
    const std::vector<TimedPrimary>& primariesToCome() const { return primaries_; }
    const std::vector<TimedSleep>& sleepsToCome() const { return sleeps_; }
    std::optional<std::int64_t> sessionEnd() const { return sessionEnd_; }

    void setLayoutStore(LayoutStore store) { layoutStore_ = std::move(store); }

    // Asks `probe` at every call which of the tool's locks the caller holds (SimulatedCall).
    void setLockProbe(LockProbe probe) { lockProbe_ = std::move(probe); }

    // What a pause (platform::pause) and a listener's wait sleep with; without one they take no time.
    void setSleep(std::function<void(DWORD milliseconds)> sleep) { sleep_ = std::move(sleep); }
    void pause(DWORD milliseconds);
    // A listener's wait: a sleep that is no pause.
    void sleep(DWORD milliseconds) const {
        if (sleep_) {
            sleep_(milliseconds);
        }
    }
    // The milliseconds paused since the last reset.
    std::uint64_t pausedMilliseconds() const { return pausedMilliseconds_; }

    // The display services, each as its namesake in platform/DisplayCalls.inc.
#define DISPLAY_CALL(Result, name, parameters, arguments, user32Call) Result name parameters;
#include "platform/DisplayCalls.inc"
#undef DISPLAY_CALL

private:
    // A display device with the adapter and source id it belongs to.
    struct DisplayRef {
        std::size_t adapter;
        std::size_t source;
    };
    struct RecordedChange {
        DisplayRef display;
        DEVMODEW mode;
        DWORD flags;
    };
    struct Failure {
        DisplayOperation operation;
        unsigned occurrence;
        LONG code;
    };
    struct CallFailure {
        DisplayCall call;
        unsigned occurrence;
        LONG result;
        DWORD lastError;
    };
    struct PlugIn {
        unsigned sizesQuery;  // or the query, with afterQuery
        SimulatedAdapter adapter;
        bool afterQuery = false;
    };
    struct TimedPlugIn {
        std::int64_t time;
        SimulatedAdapter adapter;
        std::optional<std::int64_t> relayoutAfter;
    };
    struct SessionLock {
        std::int64_t from;
        std::int64_t to;
    };

    // Counts the call and answers the injected failure's code for it, if there is one: the last error
    // of a BOOL call, the result of the others (whose last error it sets itself).
    std::optional<LONG> countCall(DisplayOperation operation);
    // Whether the session has no access to the console now.
    bool consoleAccessRefused() const;
    LONG record(SimulatedCall call);

    void nameDisplays();
    std::vector<DisplayRef> displaysInDeviceOrder() const;
    SimulatedDisplay& display(DisplayRef ref) { return desktop_.adapters[ref.adapter].displays[ref.source]; }
    std::optional<DisplayRef> findAttachedDisplay(const WCHAR* deviceName) const;
    std::optional<std::size_t> findAdapter(LUID adapterId) const;
    // The display configuration of the desktop as it is now, as a query with these flags gives it.
    struct Configuration {
        std::vector<DISPLAYCONFIG_PATH_INFO> paths;
        std::vector<DISPLAYCONFIG_MODE_INFO> modes;
    };
    Configuration configuration(UINT32 flags) const;
    // Records a change, storing it at once when it carries CDS_UPDATEREGISTRY.
    LONG recordChange(const RecordedChange& change);
    static void applyChange(SimulatedDesktop& desktop, const RecordedChange& change);
    LONG applyRecordedChanges();
    // SetDisplayConfig once it is known to be allowed: checks the configuration and shows (and
    // stores) it.
    LONG changeConfiguration(UINT32 pathCount, const DISPLAYCONFIG_PATH_INFO* paths, UINT32 modeCount,
                             const DISPLAYCONFIG_MODE_INFO* modes, UINT32 flags);
    // SetDisplayConfig with SDC_APPLY | SDC_USE_DATABASE_CURRENT: shows the stored settings.
    LONG showStoredLayout();
    // Adds every plugInAt adapter due by `time`, all in one change.
    void plugInBy(std::int64_t time);
    // Adds plugged-in adapters to the desktop shown and stored, each told at its time, announces the
    // change and stores the day.
    void addAdapters(std::vector<TimedPlugIn> plugIns);

    // Windows' stored layouts per set of screens (SimulatedDay.cpp).
    struct Placement {
        LONG x;
        LONG y;
        bool primary;
    };
    using ScreenSet = std::vector<std::u16string>;                 // the identities, sorted
    using StoredPlacements = std::map<std::u16string, Placement>;  // by identity
    ScreenSet screenSet() const;
    // Keeps the stored layout as the one of the set attached now, before the set changes; returns the set.
    ScreenSet keepLayoutOfThisSet();
    // When the set attached now is not `before`: lays its screens out as stored for it; otherwise the
    // screens keep their places and, where the primary may have gone and did, the first one becomes
    // primary at the origin. Shown and stored.
    void layOutThisSet(const ScreenSet& before, bool primaryMayHaveGone);
    // Each event of the day at its time.
    void unplug(const AdapterChoice& adapter, std::int64_t time);
    void makePrimary(const std::u16string& deviceName, std::int64_t time);
    void resume(AfterSleep afterwards, bool resumeNotice, std::int64_t time);
    // What a plug-in or an unplug while the PC sleeps adds to its narration: Windows hears of it only
    // at the resume. Empty while the PC is awake.
    std::string whileAsleep() const;
    // Hands the stored layout to the layout store, which writes the day as it stands (the events
    // that have happened gone).
    void storeTheDay();
    // Windows lays the screens out again as at a plug-in (plugInAt's relayoutAfter).
    struct TimedRelayout {
        std::int64_t time;
        ScreenSet set;
        StoredPlacements placements;
    };
    // Schedules the layout shown now to be laid out again at `time`.
    void scheduleRelayout(std::int64_t time);
    void relayOut(const TimedRelayout& relayout, std::int64_t time);
    std::vector<TimedRelayout> relayouts_;
    // Stores the layout shown now, as a change that Windows made itself.
    void storeShownLayout();

    SimulatedDesktop desktop_;
    SimulatedDesktop storedLayout_;
    LayoutStore layoutStore_;
    std::vector<SimulatedCall> calls_;
    std::map<DisplayOperation, unsigned> callCounts_;
    std::map<DisplayCall, unsigned> functionCounts_;
    std::vector<Failure> failures_;
    std::vector<CallFailure> callFailures_;
    std::vector<PlugIn> plugIns_;
    std::vector<TimedPlugIn> timedPlugIns_;  // those still to come
    std::vector<SessionLock> sessionLocks_;
    std::vector<SessionLock> unlocksToAnnounce_;
    bool remoteSession_ = false;
    SimulatedClock clock_;
    std::function<void(DWORD)> sleep_;
    std::uint64_t pausedMilliseconds_ = 0;
    NoticeCounts notices_;
    std::vector<TimedUnplug> unplugs_;
    std::vector<TimedPrimary> primaries_;
    std::vector<TimedSleep> sleeps_;
    std::optional<std::int64_t> sessionEnd_;
    std::function<void(std::int64_t, const std::string&)> narration_;
    // Tells `what` as happening now, or at `time`.
    void narrate(const std::string& what, std::optional<std::int64_t> time = std::nullopt) const;
    std::int64_t narratedLocksUntil_ = INT64_MIN;  // the session locks beginning by then are told
    bool sessionEndNarrated_ = false;
    std::map<ScreenSet, StoredPlacements> storedLayouts_;
    std::vector<RecordedChange> recordedChanges_;
    // Counts the changes of the desktop's screens, to tell a configuration queried before a plug-in.
    unsigned screenChanges_ = 0;
    unsigned screenChangesQueried_ = 0;
    LockProbe lockProbe_;
    void noteLocks(SimulatedCall& call) const;
};

// The window system that the simulated display services (kiv_display_services_simulated) answer
// from; it starts with an empty desktop.
SimulatedWindowSystem& simulatedWindowSystem();

}  // namespace orvi::simulation
