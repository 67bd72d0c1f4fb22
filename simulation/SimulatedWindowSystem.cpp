#include "simulation/SimulatedWindowSystem.h"

#include "simulation/CallTrace.h"

#include "desktopfile/DesktopFile.h"

#include "desktopfile/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

namespace orvi::simulation {
namespace {

constexpr std::size_t kDeviceNameUnits = 32;  // CCHDEVICENAME
constexpr DWORD kErrorInvalidMonitorHandle = 1461;
constexpr UINT32 kPathActive = 0x1;            // DISPLAYCONFIG_PATH_ACTIVE
constexpr UINT32 kInUse = 0x1;                 // DISPLAYCONFIG_SOURCE_IN_USE, DISPLAYCONFIG_TARGET_IN_USE
constexpr UINT32 kFriendlyNameFromEdid = 0x1;  // DISPLAYCONFIG_TARGET_DEVICE_NAME_FLAGS bits
constexpr UINT32 kEdidIdsValid = 0x4;
constexpr WORD kDevModeSpecVersion = 0x0401;  // DM_SPECVERSION
constexpr DWORD kDynamicRefreshShownAs = 60;

constexpr LONG asResult(DWORD code) { return static_cast<LONG>(code); }

// Fills a fixed-size array the way the window system does: the units that fit, then a null when
// there is room for one, zeros after it. A text as long as the array leaves no null.
template <std::size_t N>
void fill(WCHAR (&array)[N], std::u16string_view text) {
    std::size_t i = 0;
    for (; i < N && i < text.size(); ++i) {
        array[i] = static_cast<WCHAR>(text[i]);
    }
    for (; i < N; ++i) {
        array[i] = 0;
    }
}

// A device name as a caller passes it to EnumDisplaySettingsW or ChangeDisplaySettingsExW: read up to
// its null, as Windows reads it, so that a caller who hands over a full 32-unit array without a null
// is caught by a name that does not match. The bound only stops a runaway read.
constexpr std::size_t kLongestPassedName = 256;

std::u16string deviceNameFrom(const WCHAR* name) {
    std::u16string result;
    for (std::size_t i = 0; i < kLongestPassedName && name[i] != 0; ++i) {
        result.push_back(static_cast<char16_t>(name[i]));
    }
    return result;
}

// The part of a model's device name that the 32-unit arrays can carry.
std::u16string_view visibleName(const std::u16string& name) {
    return std::u16string_view(name).substr(0, kDeviceNameUnits);
}

// The EDID manufacturer id as Windows gives it (the EDID's big-endian word of three 5-bit letters,
// 'A' = 1, with its bytes swapped), of the letters that the monitor's device path carries after
// "DISPLAY#", as Windows builds that path of the EDID's ids ("\\?\DISPLAY#DELA0F4#..."); 0 without them.
UINT16 edidManufacturerIdOf(std::u16string_view devicePath) {
    constexpr std::u16string_view kMarker = u"DISPLAY#";
    const std::size_t at = devicePath.find(kMarker);
    if (at == std::u16string_view::npos || devicePath.size() < at + kMarker.size() + 3) {
        return 0;
    }
    unsigned word = 0;
    for (const char16_t letter : devicePath.substr(at + kMarker.size(), 3)) {
        if (letter < u'A' || letter > u'Z') {
            return 0;
        }
        word = (word << 5) | static_cast<unsigned>(letter - u'A' + 1);
    }
    return static_cast<UINT16>(((word & 0xFF) << 8) | (word >> 8));
}

const std::u16string& monitorDeviceName(const SimulatedDisplay& display) {
    return display.monitorInfoDeviceName.empty() ? display.deviceName : display.monitorInfoDeviceName;
}

SimulatedCall callOf(DisplayOperation operation) {
    SimulatedCall call;
    call.operation = operation;
    return call;
}

bool sameLuid(LUID a, LUID b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

// Monitor handles are the display device's index in device order, plus one (never null).
HMONITOR monitorHandle(std::size_t deviceIndex) {
    return reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(deviceIndex + 1));
}

std::size_t deviceIndexOf(HMONITOR monitor) { return reinterpret_cast<std::uintptr_t>(monitor) - 1; }

// Sizes no real screen has wrap around in 32 bits instead of overflowing.
RECT rectangleOf(const SimulatedDisplay& display) {
    const auto end = [](LONG start, DWORD extent) { return static_cast<LONG>(static_cast<DWORD>(start) + extent); };
    return RECT{display.x, display.y, end(display.x, display.width), end(display.y, display.height)};
}

constexpr UINT32 kAwareQueryFlags = QDC_VIRTUAL_MODE_AWARE | QDC_VIRTUAL_REFRESH_RATE_AWARE;

// Which paths a query asks for, without the flags that only change how it is written.
UINT32 queryBase(UINT32 flags) { return flags & ~kAwareQueryFlags; }

bool validQueryFlags(UINT32 flags, const SimulatedDesktop& desktop) {
    const UINT32 base = queryBase(flags);
    return (base == QDC_ALL_PATHS || base == QDC_ONLY_ACTIVE_PATHS || base == QDC_DATABASE_CURRENT) &&
           ((flags & kAwareQueryFlags) == 0 || desktop.virtualModeAware != VirtualModeAware::Refused);
}

// A mode index of the virtual-mode-aware layout: two 16-bit indexes in one, the first of the
// header's bit fields (cloneGroupId, desktopModeInfoIdx) in the low half, as Windows lays them out.
constexpr UINT32 kNoIndex16 = 0xffff;  // DISPLAYCONFIG_PATH_*_IDX_INVALID, DISPLAYCONFIG_PATH_CLONE_GROUP_INVALID
UINT32 packed(std::optional<UINT32> high, UINT32 low) { return (high.value_or(kNoIndex16) << 16) | low; }

// Appends a mode entry of this type, adapter and id; returns its index.
UINT32 appendMode(std::vector<DISPLAYCONFIG_MODE_INFO>& modes, DISPLAYCONFIG_MODE_INFO_TYPE type, UINT32 id,
                  LUID adapterId) {
    DISPLAYCONFIG_MODE_INFO mode{};
    mode.infoType = type;
    mode.id = id;
    mode.adapterId = adapterId;
    modes.push_back(mode);
    return static_cast<UINT32>(modes.size() - 1);
}

// The user32 function that answers an operation.
DisplayCall functionOf(DisplayOperation operation) {
    switch (operation) {
    case DisplayOperation::EnumDisplayDevices:
        return DisplayCall::enumDisplayDevices;
    case DisplayOperation::EnumDisplayMonitors:
        return DisplayCall::enumDisplayMonitors;
    case DisplayOperation::GetMonitorInfo:
        return DisplayCall::getMonitorInfo;
    case DisplayOperation::GetDisplayConfigBufferSizes:
        return DisplayCall::getDisplayConfigBufferSizes;
    case DisplayOperation::QueryDisplayConfig:
        return DisplayCall::queryDisplayConfig;
    case DisplayOperation::GetSourceName:
    case DisplayOperation::GetTargetName:
    case DisplayOperation::OtherDeviceInfo:
        return DisplayCall::displayConfigGetDeviceInfo;
    case DisplayOperation::EnumDisplaySettings:
        return DisplayCall::enumDisplaySettings;
    case DisplayOperation::ChangeDisplaySettingsEx:
        return DisplayCall::changeDisplaySettingsEx;
    case DisplayOperation::SetDisplayConfig:
        break;
    }
    return DisplayCall::setDisplayConfig;
}

// The output technology of a target on the adapter with this index; one beyond the desktop's
// adapters counts as a plain connector.
UINT32 outputTechnologyOf(const SimulatedDesktop& desktop, std::size_t adapter) {
    if (adapter >= desktop.adapters.size()) {
        return 0;
    }
    const SimulatedAdapter& target = desktop.adapters[adapter];
    return target.outputTechnology.value_or(target.indirect ? DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED : 0);
}

UINT32 sourceIdOf(const SimulatedDisplay& display, std::size_t index) {
    return display.sourceId.value_or(static_cast<UINT32>(index));
}

bool everyPrimaryAtOrigin(const SimulatedDesktop& desktop) {
    for (const SimulatedAdapter& adapter : desktop.adapters) {
        for (const SimulatedDisplay& display : adapter.displays) {
            if (display.primary && (display.x != 0 || display.y != 0)) {
                return false;
            }
        }
    }
    return true;
}

// The earliest of the items' times; none for no items.
template <typename Item>
std::optional<std::int64_t> earliest(const std::vector<Item>& items, std::int64_t Item::*time) {
    const auto first = std::min_element(items.begin(), items.end(),
                                        [time](const Item& a, const Item& b) { return a.*time < b.*time; });
    return first == items.end() ? std::nullopt : std::optional<std::int64_t>((*first).*time);
}

// The display device that is primary, as (adapter, source); none when there is none.
std::optional<std::pair<std::size_t, std::size_t>> primaryOf(const SimulatedDesktop& desktop) {
    for (std::size_t adapter = 0; adapter < desktop.adapters.size(); ++adapter) {
        const std::vector<SimulatedDisplay>& displays = desktop.adapters[adapter].displays;
        for (std::size_t source = 0; source < displays.size(); ++source) {
            if (displays[source].primary) {
                return std::make_pair(adapter, source);
            }
        }
    }
    return std::nullopt;
}

}  // namespace

SimulatedWindowSystem::SimulatedWindowSystem(SimulatedDesktop desktop) { reset(std::move(desktop)); }

void SimulatedWindowSystem::reset(SimulatedDesktop desktop) {
    *this = SimulatedWindowSystem();
    desktop_ = std::move(desktop);
    nameDisplays();
    storedLayout_ = desktop_;
}

std::vector<SimulatedCall> SimulatedWindowSystem::callsOf(DisplayOperation operation) const {
    std::vector<SimulatedCall> result;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(result),
                 [operation](const SimulatedCall& call) { return call.operation == operation; });
    return result;
}

LUID SimulatedWindowSystem::adapterLuid(std::size_t adapterIndex) {
    return LUID{0x0000A000u + 0x100u * static_cast<DWORD>(adapterIndex), 0};
}

void SimulatedWindowSystem::failCall(DisplayOperation operation, unsigned occurrence, LONG code) {
    failures_.push_back(Failure{operation, occurrence, code});
}

void SimulatedWindowSystem::failCall(DisplayCall call, unsigned occurrence, LONG result, DWORD lastError) {
    callFailures_.push_back(CallFailure{call, occurrence, result, lastError});
}

void SimulatedWindowSystem::plugInAfterQuery(unsigned query, SimulatedAdapter adapter) {
    plugIns_.push_back(PlugIn{query, std::move(adapter), true});
}

void SimulatedWindowSystem::plugInAfterSizesQuery(unsigned sizesQuery, SimulatedAdapter adapter) {
    plugIns_.push_back(PlugIn{sizesQuery, std::move(adapter)});
}

void SimulatedWindowSystem::plugInAt(std::int64_t time, SimulatedAdapter adapter,
                                     std::optional<std::int64_t> relayoutAfter) {
    timedPlugIns_.push_back(TimedPlugIn{time, std::move(adapter), relayoutAfter});
}

std::optional<std::int64_t> SimulatedWindowSystem::nextPlugInTime() const {
    return earliest(timedPlugIns_, &TimedPlugIn::time);
}

void SimulatedWindowSystem::plugInBy(std::int64_t time) {
    const auto due = std::stable_partition(timedPlugIns_.begin(), timedPlugIns_.end(),
                                           [time](const TimedPlugIn& plugIn) { return plugIn.time <= time; });
    if (due == timedPlugIns_.begin()) {
        return;
    }
    std::vector<TimedPlugIn> arriving(std::make_move_iterator(timedPlugIns_.begin()), std::make_move_iterator(due));
    timedPlugIns_.erase(timedPlugIns_.begin(), due);
    std::stable_sort(arriving.begin(), arriving.end(),
                     [](const TimedPlugIn& a, const TimedPlugIn& b) { return a.time < b.time; });
    std::vector<std::int64_t> relayoutTimes;
    for (const TimedPlugIn& plugIn : arriving) {
        if (plugIn.relayoutAfter) {
            relayoutTimes.push_back(plugIn.time + *plugIn.relayoutAfter);
        }
    }
    addAdapters(std::move(arriving));
    for (const std::int64_t relayoutTime : relayoutTimes) {
        scheduleRelayout(relayoutTime);
    }
}

void SimulatedWindowSystem::addAdapters(std::vector<TimedPlugIn> plugIns) {
    if (plugIns.empty()) {
        return;
    }
    const ScreenSet before = keepLayoutOfThisSet();
    for (TimedPlugIn& plugIn : plugIns) {
        narrate("plugged in: " + utf16ToUtf8(plugIn.adapter.name) + whileAsleep(), plugIn.time);
        desktop_.adapters.push_back(plugIn.adapter);
        storedLayout_.adapters.push_back(std::move(plugIn.adapter));  // as the window system stores it
    }
    nameDisplays();
    layOutThisSet(before, false);
    ++screenChanges_;
    ++notices_.screens;
    storeTheDay();  // laid out as stored or not, the plugged-in adapter is part of the desktop now
}

void SimulatedWindowSystem::lockSession(std::int64_t from, std::int64_t to) {
    sessionLocks_.push_back(SessionLock{from, to});
    unlocksToAnnounce_.push_back(SessionLock{from, to});
}

bool SimulatedWindowSystem::consoleAccessRefused() const {
    const std::int64_t time = now();
    return remoteSession_ || std::any_of(sessionLocks_.begin(), sessionLocks_.end(), [time](const SessionLock& lock) {
               return lock.from <= time && time < lock.to;
           });
}

std::optional<std::int64_t> SimulatedWindowSystem::nextUnlockTime() const {
    return earliest(unlocksToAnnounce_, &SessionLock::to);
}

void SimulatedWindowSystem::announceUnlocks(bool heard) {
    const std::int64_t time = now();
    const auto ended = std::partition(unlocksToAnnounce_.begin(), unlocksToAnnounce_.end(),
                                      [time](const SessionLock& lock) { return lock.to <= time; });
    if (ended == unlocksToAnnounce_.begin()) {
        return;
    }
    unlocksToAnnounce_.erase(unlocksToAnnounce_.begin(), ended);
    narrate(heard ? "the session is unlocked" : "the session is unlocked, while the tool does not listen");
    if (heard) {
        ++notices_.sessionReturns;
    }
    storeTheDay();
}

std::optional<LONG> SimulatedWindowSystem::countCall(DisplayOperation operation) {
    const unsigned occurrence = ++callCounts_[operation];
    const DisplayCall function = functionOf(operation);
    const unsigned functionOccurrence = ++functionCounts_[function];
    for (const Failure& failure : failures_) {
        if (failure.operation == operation && failure.occurrence == occurrence) {
            return failure.code;
        }
    }
    for (const CallFailure& failure : callFailures_) {
        if (failure.call == function && failure.occurrence == functionOccurrence) {
            if (answersWithBool(function)) {
                return static_cast<LONG>(failure.lastError);
            }
            SetLastError(failure.lastError);
            return failure.result;
        }
    }
    return std::nullopt;
}

void SimulatedWindowSystem::noteLocks(SimulatedCall& call) const {
    if (lockProbe_) {
        call.singleInstanceLockHeld = lockProbe_("SetPrimaryKiv_single_app");
        call.familyLockHeld = lockProbe_("MorvaKivDisplayApp_main");
    }
}

LONG SimulatedWindowSystem::record(SimulatedCall call) {
    noteLocks(call);
    traceCall(call);
    calls_.push_back(std::move(call));
    return calls_.back().result;
}

void SimulatedWindowSystem::nameDisplays() {
    for (SimulatedDesktop* desktop : {&desktop_, &storedLayout_}) {
        nameDisplayDevices(desktop->adapters);
    }
}

std::vector<SimulatedWindowSystem::DisplayRef> SimulatedWindowSystem::displaysInDeviceOrder() const {
    std::vector<DisplayRef> result;
    for (std::size_t adapter = 0; adapter < desktop_.adapters.size(); ++adapter) {
        for (std::size_t source = 0; source < desktop_.adapters[adapter].displays.size(); ++source) {
            result.push_back(DisplayRef{adapter, source});
        }
    }
    // A display device's deviceIndex, or else its place adapter by adapter, orders the list.
    std::vector<DWORD> order;
    for (const DisplayRef ref : result) {
        order.push_back(
            desktop_.adapters[ref.adapter].displays[ref.source].deviceIndex.value_or(static_cast<DWORD>(order.size())));
    }
    std::vector<std::size_t> places(result.size());
    for (std::size_t i = 0; i < places.size(); ++i) {
        places[i] = i;
    }
    std::stable_sort(places.begin(), places.end(), [&](std::size_t a, std::size_t b) { return order[a] < order[b]; });
    std::vector<DisplayRef> ordered;
    for (const std::size_t place : places) {
        ordered.push_back(result[place]);
    }
    return ordered;
}

std::optional<SimulatedWindowSystem::DisplayRef> SimulatedWindowSystem::findAttachedDisplay(
    const WCHAR* deviceName) const {
    const std::u16string wanted = deviceNameFrom(deviceName);
    for (const DisplayRef ref : displaysInDeviceOrder()) {
        const SimulatedDisplay& candidate = desktop_.adapters[ref.adapter].displays[ref.source];
        if (candidate.attached && visibleName(candidate.deviceName) == wanted) {
            return ref;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> SimulatedWindowSystem::findAdapter(LUID adapterId) const {
    for (std::size_t adapter = 0; adapter < desktop_.adapters.size(); ++adapter) {
        if (sameLuid(adapterLuid(adapter), adapterId)) {
            return adapter;
        }
    }
    return std::nullopt;
}

SimulatedWindowSystem::Configuration SimulatedWindowSystem::configuration(UINT32 flags) const {
    Configuration result;
    if (!desktop_.displayPaths) {
        return result;
    }
    const bool withModes = desktop_.databaseEntry || queryBase(flags) != QDC_DATABASE_CURRENT;
    const bool awareQuery = (flags & QDC_VIRTUAL_MODE_AWARE) != 0;
    const bool virtualRefreshRates = (flags & QDC_VIRTUAL_REFRESH_RATE_AWARE) != 0;
    UINT32 cloneGroups = 0;
    for (std::size_t adapter = 0; adapter < desktop_.adapters.size(); ++adapter) {
        const LUID luid = adapterLuid(adapter);
        const std::vector<SimulatedDisplay>& displays = desktop_.adapters[adapter].displays;
        UINT32 targetId = 0;
        for (std::size_t source = 0; source < displays.size(); ++source) {
            const SimulatedDisplay& display = displays[source];
            // A path that a virtual-mode-aware query gives in the plain layout, or packed without its flag.
            const bool virtualModes =
                awareQuery && display.virtualModePaths != SimulatedDisplay::VirtualModePaths::Plain;
            const bool virtualModeFlag =
                awareQuery && display.virtualModePaths == SimulatedDisplay::VirtualModePaths::Supported;
            std::optional<UINT32> sourceModeIndex;
            const UINT32 sourceId = sourceIdOf(display, source);
            const auto appendSourceMode = [&] {
                if (!sourceModeIndex) {
                    sourceModeIndex = appendMode(result.modes, DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE, sourceId, luid);
                    DISPLAYCONFIG_SOURCE_MODE& mode = result.modes.back().sourceMode;
                    mode.width = display.width;
                    mode.height = display.height;
                    mode.position = POINTL{display.x, display.y};
                }
            };
            const UINT32 countedGroup = cloneGroups;
            const UINT32 cloneGroup = display.cloneGroupId.value_or(countedGroup);
            for (const SimulatedMonitor& monitor : display.monitors) {
                const UINT32 counted = targetId++;
                const UINT32 id = monitor.targetId.value_or(counted);
                if (!display.attached) {
                    continue;
                }
                cloneGroups = countedGroup + 1;
                const std::size_t targetAdapter = monitor.targetAdapter.value_or(adapter);
                const LUID targetLuid = adapterLuid(targetAdapter);
                std::optional<UINT32> targetModeIndex;
                std::optional<UINT32> desktopModeIndex;
                if (withModes) {
                    if (desktop_.sourceModesFirst) {
                        appendSourceMode();
                    }
                    targetModeIndex = appendMode(result.modes, DISPLAYCONFIG_MODE_INFO_TYPE_TARGET, id, targetLuid);
                    if (virtualModes) {
                        desktopModeIndex =
                            appendMode(result.modes, DISPLAYCONFIG_MODE_INFO_TYPE_DESKTOP_IMAGE, id, targetLuid);
                    }
                    appendSourceMode();
                }

                DISPLAYCONFIG_PATH_INFO path{};
                path.sourceInfo.adapterId = luid;
                path.sourceInfo.id = sourceId;
                path.sourceInfo.modeInfoIdx = virtualModes
                                                  ? packed(sourceModeIndex, cloneGroup)
                                                  : sourceModeIndex.value_or(DISPLAYCONFIG_PATH_MODE_IDX_INVALID);
                path.sourceInfo.statusFlags = kInUse;
                path.targetInfo.adapterId = targetLuid;
                path.targetInfo.id = id;
                path.targetInfo.modeInfoIdx = virtualModes
                                                  ? packed(targetModeIndex, desktopModeIndex.value_or(kNoIndex16))
                                                  : targetModeIndex.value_or(DISPLAYCONFIG_PATH_MODE_IDX_INVALID);
                path.targetInfo.outputTechnology = static_cast<decltype(path.targetInfo.outputTechnology)>(
                    outputTechnologyOf(desktop_, targetAdapter));
                path.targetInfo.refreshRate = DISPLAYCONFIG_RATIONAL{display.refreshRate, 1};
                path.targetInfo.targetAvailable = TRUE;
                path.targetInfo.statusFlags = kInUse;
                path.flags =
                    kPathActive | (virtualModeFlag ? DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE : 0) |
                    (virtualRefreshRates && display.dynamicRefresh ? DISPLAYCONFIG_PATH_BOOST_REFRESH_RATE : 0);
                result.paths.push_back(path);
            }
        }
    }
    return result;
}

BOOL SimulatedWindowSystem::enumDisplayDevices(DWORD deviceIndex, DISPLAY_DEVICEW* device) {
    SimulatedCall call = callOf(DisplayOperation::EnumDisplayDevices);
    call.index = deviceIndex;
    call.result = FALSE;
    const std::vector<DisplayRef> devices = displaysInDeviceOrder();
    if (const std::optional<LONG> failure = countCall(call.operation)) {
        SetLastError(static_cast<DWORD>(*failure));
    } else if (device == nullptr || device->cb != sizeof(DISPLAY_DEVICEW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if (deviceIndex < devices.size()) {
        const SimulatedAdapter& adapter = desktop_.adapters[devices[deviceIndex].adapter];
        const SimulatedDisplay& display = adapter.displays[devices[deviceIndex].source];
        fill(device->DeviceName, display.deviceName);
        fill(device->DeviceString, adapter.name);
        device->StateFlags = (display.attached ? DISPLAY_DEVICE_ATTACHED_TO_DESKTOP : 0) |
                             (display.primary ? DISPLAY_DEVICE_PRIMARY_DEVICE : 0);
        fill(device->DeviceID, adapter.hardwareId);
        fill(device->DeviceKey, u"");
        call.result = TRUE;
    }
    return static_cast<BOOL>(record(std::move(call)));
}

BOOL SimulatedWindowSystem::enumDisplayMonitors(MONITORENUMPROC callback, LPARAM data) {
    // Recorded before the callbacks, so that their calls follow it in the record.
    calls_.push_back(callOf(DisplayOperation::EnumDisplayMonitors));
    noteLocks(calls_.back());
    const std::size_t recordIndex = calls_.size() - 1;
    if (const std::optional<LONG> failure = countCall(DisplayOperation::EnumDisplayMonitors)) {
        SetLastError(static_cast<DWORD>(*failure));
        calls_[recordIndex].result = FALSE;
        traceCall(calls_[recordIndex]);
        return FALSE;
    }

    const std::vector<DisplayRef> devices = displaysInDeviceOrder();
    std::vector<std::size_t> monitors;
    for (std::size_t index = 0; index < devices.size(); ++index) {
        if (display(devices[index]).attached) {
            monitors.push_back(index);
        }
    }
    if (!desktop_.monitorsInDeviceOrder) {
        std::stable_partition(monitors.begin(), monitors.end(),
                              [&](std::size_t index) { return display(devices[index]).primary; });
    }

    BOOL result = TRUE;
    for (const std::size_t index : monitors) {
        RECT area = rectangleOf(display(devices[index]));
        if (callback == nullptr || !callback(monitorHandle(index), nullptr, &area, data)) {
            result = FALSE;
            break;
        }
    }
    calls_[recordIndex].result = result;
    traceCall(calls_[recordIndex]);  // when it returns: the calls of its callback come first
    return result;
}

BOOL SimulatedWindowSystem::getMonitorInfo(HMONITOR monitor, MONITORINFOEXW* info) {
    SimulatedCall call = callOf(DisplayOperation::GetMonitorInfo);
    call.result = FALSE;
    const std::vector<DisplayRef> devices = displaysInDeviceOrder();
    const std::size_t index = deviceIndexOf(monitor);
    if (const std::optional<LONG> failure = countCall(call.operation)) {
        SetLastError(static_cast<DWORD>(*failure));
    } else if (index >= devices.size() || !display(devices[index]).attached) {
        SetLastError(kErrorInvalidMonitorHandle);
    } else if (info == nullptr || (info->cbSize != sizeof(MONITORINFOEXW) && info->cbSize != sizeof(MONITORINFO))) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else {
        const SimulatedDisplay& shown = display(devices[index]);
        info->rcMonitor = rectangleOf(shown);
        info->rcWork = info->rcMonitor;
        info->dwFlags = shown.primary || shown.monitorInfoPrimary ? MONITORINFOF_PRIMARY : 0;
        if (info->cbSize == sizeof(MONITORINFOEXW)) {
            fill(info->szDevice, monitorDeviceName(shown));
        }
        call.deviceName = monitorDeviceName(shown);
        call.result = TRUE;
    }
    return static_cast<BOOL>(record(std::move(call)));
}

LONG SimulatedWindowSystem::getDisplayConfigBufferSizes(UINT32 flags, UINT32* pathCount, UINT32* modeCount) {
    happenDue();
    SimulatedCall call = callOf(DisplayOperation::GetDisplayConfigBufferSizes);
    call.flags = flags;
    const unsigned sizesQuery = callCounts_[call.operation] + 1;
    if (const std::optional<LONG> failure = countCall(call.operation)) {
        call.result = *failure;
    } else if (consoleAccessRefused()) {
        call.result = asResult(ERROR_ACCESS_DENIED);
    } else if (!validQueryFlags(flags, desktop_) || pathCount == nullptr || modeCount == nullptr) {
        call.result = asResult(ERROR_INVALID_PARAMETER);
    } else {
        const Configuration current = configuration(flags);
        *pathCount = static_cast<UINT32>(current.paths.size());
        *modeCount = static_cast<UINT32>(current.modes.size());
        call.result = asResult(ERROR_SUCCESS);
    }
    const LONG result = record(std::move(call));

    std::vector<TimedPlugIn> adapters;
    for (const PlugIn& plugIn : plugIns_) {
        if (!plugIn.afterQuery && plugIn.sizesQuery == sizesQuery) {
            adapters.push_back(TimedPlugIn{now(), plugIn.adapter, std::nullopt});
        }
    }
    addAdapters(std::move(adapters));
    return result;
}

LONG SimulatedWindowSystem::queryDisplayConfig(UINT32 flags, UINT32* pathCount, DISPLAYCONFIG_PATH_INFO* paths,
                                               UINT32* modeCount, DISPLAYCONFIG_MODE_INFO* modes,
                                               DISPLAYCONFIG_TOPOLOGY_ID* topology) {
    SimulatedCall call = callOf(DisplayOperation::QueryDisplayConfig);
    call.flags = flags;
    const unsigned query = callCounts_[call.operation] + 1;
    const Configuration current = configuration(flags);
    if (const std::optional<LONG> failure = countCall(call.operation)) {
        call.result = *failure;
    } else if (consoleAccessRefused()) {
        call.result = asResult(ERROR_ACCESS_DENIED);
    } else if (!validQueryFlags(flags, desktop_) || pathCount == nullptr || modeCount == nullptr ||
               (*pathCount != 0 && paths == nullptr) || (*modeCount != 0 && modes == nullptr) ||
               (queryBase(flags) == QDC_DATABASE_CURRENT) != (topology != nullptr)) {
        call.result = asResult(ERROR_INVALID_PARAMETER);
    } else if (*pathCount < current.paths.size() || *modeCount < current.modes.size()) {
        call.result = asResult(ERROR_INSUFFICIENT_BUFFER);
    } else if (current.paths.empty()) {
        // The path array "cannot be NULL", and a configuration without paths has nothing to fill it.
        call.result = asResult(ERROR_INVALID_PARAMETER);
    } else {
        screenChangesQueried_ = screenChanges_;
        std::copy(current.paths.begin(), current.paths.end(), paths);
        std::copy(current.modes.begin(), current.modes.end(), modes);
        *pathCount = static_cast<UINT32>(current.paths.size());
        *modeCount = static_cast<UINT32>(current.modes.size());
        if (topology != nullptr) {
            *topology = DISPLAYCONFIG_TOPOLOGY_EXTEND;
        }
        call.result = asResult(ERROR_SUCCESS);
    }
    const LONG result = record(std::move(call));
    std::vector<TimedPlugIn> adapters;
    for (const PlugIn& plugIn : plugIns_) {
        if (plugIn.afterQuery && plugIn.sizesQuery == query) {
            adapters.push_back(TimedPlugIn{now(), plugIn.adapter, std::nullopt});
        }
    }
    addAdapters(std::move(adapters));
    return result;
}

LONG SimulatedWindowSystem::displayConfigGetDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* request) {
    SimulatedCall call = callOf(DisplayOperation::OtherDeviceInfo);
    if (request != nullptr) {
        if (request->type == DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME) {
            call.operation = DisplayOperation::GetSourceName;
        } else if (request->type == DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME) {
            call.operation = DisplayOperation::GetTargetName;
        }
        call.adapterId = request->adapterId;
        call.id = request->id;
    }
    call.result = asResult(ERROR_INVALID_PARAMETER);
    const std::optional<std::size_t> adapter = request != nullptr ? findAdapter(request->adapterId) : std::nullopt;
    // Read below only once `adapter` is known to be there; a plain index, as GCC's -Os cannot tell.
    const std::size_t asked = adapter.value_or(0);

    if (const std::optional<LONG> failure = countCall(call.operation)) {
        call.result = *failure;
    } else if (consoleAccessRefused()) {
        call.result = asResult(ERROR_ACCESS_DENIED);
    } else if (request == nullptr || !adapter) {
        // ERROR_INVALID_PARAMETER
    } else if (call.operation == DisplayOperation::OtherDeviceInfo) {
        call.result = asResult(ERROR_NOT_SUPPORTED);
    } else if (call.operation == DisplayOperation::GetSourceName) {
        const std::vector<SimulatedDisplay>& displays = desktop_.adapters[asked].displays;
        for (std::size_t source = 0; source < displays.size(); ++source) {
            if (request->size == sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME) &&
                sourceIdOf(displays[source], source) == request->id) {
                auto* answer = reinterpret_cast<DISPLAYCONFIG_SOURCE_DEVICE_NAME*>(request);
                fill(answer->viewGdiDeviceName, displays[source].deviceName);
                call.result = asResult(ERROR_SUCCESS);
                break;
            }
        }
    } else if (request->size == sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME)) {
        // The targets of this adapter can be monitors of any adapter's display devices.
        for (std::size_t owner = 0; owner < desktop_.adapters.size(); ++owner) {
            UINT32 targetId = 0;
            for (const SimulatedDisplay& display : desktop_.adapters[owner].displays) {
                for (const SimulatedMonitor& monitor : display.monitors) {
                    const UINT32 counted = targetId++;
                    if (monitor.targetAdapter.value_or(owner) != asked ||
                        monitor.targetId.value_or(counted) != request->id || call.result == asResult(ERROR_SUCCESS)) {
                        continue;
                    }
                    auto* answer = reinterpret_cast<DISPLAYCONFIG_TARGET_DEVICE_NAME*>(request);
                    answer->flags.value = (monitor.edidValid ? kEdidIdsValid : 0) |
                                          (monitor.friendlyName.empty() ? 0 : kFriendlyNameFromEdid);
                    answer->outputTechnology =
                        static_cast<decltype(answer->outputTechnology)>(outputTechnologyOf(desktop_, asked));
                    answer->edidManufactureId = edidManufacturerIdOf(monitor.devicePath);
                    answer->edidProductCodeId = monitor.edidProductCode;
                    answer->connectorInstance = 0;
                    fill(answer->monitorFriendlyDeviceName, monitor.friendlyName);
                    fill(answer->monitorDevicePath, monitor.devicePath);
                    call.result = asResult(ERROR_SUCCESS);
                }
            }
        }
    }
    return record(std::move(call));
}

BOOL SimulatedWindowSystem::enumDisplaySettings(const WCHAR* deviceName, DWORD modeNumber, DEVMODEW* mode) {
    SimulatedCall call = callOf(DisplayOperation::EnumDisplaySettings);
    call.deviceName = deviceName != nullptr ? deviceNameFrom(deviceName) : std::u16string();
    call.index = modeNumber;
    call.result = FALSE;

    std::optional<DisplayRef> found;
    if (deviceName != nullptr) {
        found = findAttachedDisplay(deviceName);
    } else {
        for (const DisplayRef ref : displaysInDeviceOrder()) {
            if (display(ref).attached && display(ref).primary) {
                found = ref;
            }
        }
    }

    if (const std::optional<LONG> failure = countCall(call.operation)) {
        SetLastError(static_cast<DWORD>(*failure));
    } else if (!found || mode == nullptr || mode->dmSize != sizeof(DEVMODEW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if (modeNumber != ENUM_CURRENT_SETTINGS) {
        SetLastError(ERROR_NOT_SUPPORTED);
    } else {
        const SimulatedDisplay& current = display(*found);
        *mode = DEVMODEW{};
        fill(mode->dmDeviceName, desktop_.adapters[found->adapter].name);
        mode->dmSpecVersion = kDevModeSpecVersion;
        mode->dmSize = sizeof(DEVMODEW);
        mode->dmFields = DM_POSITION | DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
        mode->dmPosition = POINTL{current.x, current.y};
        mode->dmBitsPerPel = 32;
        mode->dmPelsWidth = current.width;
        mode->dmPelsHeight = current.height;
        // A panel with a dynamic refresh rate reads as a fixed 60 Hz here.
        mode->dmDisplayFrequency = current.dynamicRefresh ? kDynamicRefreshShownAs : current.refreshRate;
        call.result = TRUE;
    }
    return static_cast<BOOL>(record(std::move(call)));
}

LONG SimulatedWindowSystem::changeDisplaySettingsEx(const WCHAR* deviceName, DEVMODEW* mode, DWORD flags) {
    SimulatedCall call = callOf(DisplayOperation::ChangeDisplaySettingsEx);
    call.deviceName = deviceName != nullptr ? deviceNameFrom(deviceName) : std::u16string();
    call.flags = flags;
    if (mode != nullptr) {
        call.position = mode->dmPosition;
    }

    if (const std::optional<LONG> failure = countCall(call.operation)) {
        call.result = *failure;
    } else if (deviceName == nullptr && mode == nullptr) {
        call.result = applyRecordedChanges();
    } else if (deviceName == nullptr || mode == nullptr) {
        call.result = DISP_CHANGE_BADPARAM;
    } else if (const std::optional<DisplayRef> changed = findAttachedDisplay(deviceName); !changed) {
        call.result = DISP_CHANGE_BADPARAM;
    } else if (mode->dmSize != sizeof(DEVMODEW)) {
        call.result = DISP_CHANGE_BADMODE;
    } else if ((flags & CDS_SET_PRIMARY) != 0 && desktop_.legacyIndirectPrimary == LegacyIndirectPrimary::Failed &&
               desktop_.adapters[changed->adapter].indirect) {
        call.result = DISP_CHANGE_FAILED;
    } else if (const LONG recorded = recordChange(RecordedChange{*changed, *mode, flags});
               recorded != DISP_CHANGE_SUCCESSFUL) {
        call.result = recorded;
    } else {
        call.result = (flags & CDS_NORESET) != 0 ? DISP_CHANGE_SUCCESSFUL : applyRecordedChanges();
    }
    return record(std::move(call));
}

LONG SimulatedWindowSystem::recordChange(const RecordedChange& change) {
    if ((change.flags & CDS_UPDATEREGISTRY) != 0) {
        SimulatedDesktop stored = storedLayout_;
        applyChange(stored, change);
        if (layoutStore_ && !layoutStore_(stored)) {
            return DISP_CHANGE_NOTUPDATED;
        }
        storedLayout_ = std::move(stored);
    }
    recordedChanges_.push_back(change);
    return DISP_CHANGE_SUCCESSFUL;
}

void SimulatedWindowSystem::applyChange(SimulatedDesktop& desktop, const RecordedChange& change) {
    SimulatedDisplay& target = desktop.adapters[change.display.adapter].displays[change.display.source];
    if ((change.mode.dmFields & DM_POSITION) != 0) {
        target.x = change.mode.dmPosition.x;
        target.y = change.mode.dmPosition.y;
    }
    if ((change.mode.dmFields & DM_PELSWIDTH) != 0) {
        target.width = change.mode.dmPelsWidth;
    }
    if ((change.mode.dmFields & DM_PELSHEIGHT) != 0) {
        target.height = change.mode.dmPelsHeight;
    }
    if ((change.mode.dmFields & DM_DISPLAYFREQUENCY) != 0) {
        // A rate written as a mode is a fixed rate: it ends a dynamic refresh rate.
        target.refreshRate = change.mode.dmDisplayFrequency;
        target.dynamicRefresh = false;
    }
    if ((change.flags & CDS_SET_PRIMARY) != 0) {
        for (SimulatedAdapter& adapter : desktop.adapters) {
            for (SimulatedDisplay& other : adapter.displays) {
                other.primary = false;
            }
        }
        target.primary = true;
    }
}

LONG SimulatedWindowSystem::applyRecordedChanges() {
    const std::vector<RecordedChange> changes = std::move(recordedChanges_);
    recordedChanges_.clear();

    SimulatedDesktop changed = desktop_;
    for (const RecordedChange& change : changes) {
        applyChange(changed, change);
    }
    const auto newPrimary = primaryOf(changed);
    if (newPrimary != primaryOf(desktop_) &&
        (desktop_.declinesPrimary || (desktop_.legacyIndirectPrimary == LegacyIndirectPrimary::Ignored && newPrimary &&
                                      desktop_.adapters[newPrimary->first].indirect))) {
        return DISP_CHANGE_SUCCESSFUL;
    }
    // Desktop coordinates have their origin at the primary display's top left corner.
    if (!everyPrimaryAtOrigin(changed)) {
        return DISP_CHANGE_BADPARAM;
    }
    desktop_ = std::move(changed);
    ++notices_.screens;  // WM_DISPLAYCHANGE
    return DISP_CHANGE_SUCCESSFUL;
}

void SimulatedWindowSystem::pause(DWORD milliseconds) {
    pausedMilliseconds_ += milliseconds;
    if (sleep_) {
        sleep_(milliseconds);
    }
}

SimulatedWindowSystem& simulatedWindowSystem() {
    static SimulatedWindowSystem system;
    return system;
}

}  // namespace orvi::simulation
