#include "simulation/SimulatedWindowSystem.h"

#include "simulation/CallTrace.h"

#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using orvi::simulation::DisplayOperation;
using orvi::simulation::SimulatedAdapter;
using orvi::simulation::SimulatedDesktop;
using orvi::simulation::SimulatedDisplay;
using orvi::simulation::SimulatedMonitor;
using orvi::simulation::SimulatedWindowSystem;
using orvi::simulation::VirtualModeAware;

template <std::size_t N>
std::u16string text(const WCHAR (&array)[N]) {
    std::u16string result;
    for (std::size_t i = 0; i < N && array[i] != 0; ++i) {
        result.push_back(static_cast<char16_t>(array[i]));
    }
    return result;
}

std::vector<WCHAR> name(std::u16string_view deviceName) {
    std::vector<WCHAR> result(deviceName.begin(), deviceName.end());
    result.push_back(0);
    return result;
}

SimulatedDisplay display(LONG x, DWORD width, std::vector<SimulatedMonitor> monitors, bool primary = false) {
    SimulatedDisplay result;
    result.x = x;
    result.width = width;
    result.monitors = std::move(monitors);
    result.primary = primary;
    return result;
}

// GPU: panel (primary, \\.\DISPLAY1) and external monitor (\\.\DISPLAY2); USB: Kiv (\\.\DISPLAY3).
SimulatedDesktop laptop() {
    return SimulatedDesktop{
        {SimulatedAdapter{
             u"GPU",
             u"PCI\\VEN_8086&DEV_5917",
             {display(0, 1920, {{0x0867, u"", u"panel"}}, true), display(1920, 2560, {{0x2790, u"DELL", u"dell"}})}},
         SimulatedAdapter{
             u"USB Display", u"USB\\VID_17E9&PID_FF13&MI_00", {display(4480, 1280, {{0x13, u"Kiv", u"kiv"}})}}}};
}

bool sameLuid(LUID a, LUID b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

struct Config {
    LONG result;
    std::vector<DISPLAYCONFIG_PATH_INFO> paths;
    std::vector<DISPLAYCONFIG_MODE_INFO> modes;
};

Config query(SimulatedWindowSystem& system, UINT32 modifiers = 0) {
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    EXPECT_EQ(system.getDisplayConfigBufferSizes(QDC_DATABASE_CURRENT | modifiers, &pathCount, &modeCount), 0);
    Config config{0, std::vector<DISPLAYCONFIG_PATH_INFO>(pathCount), std::vector<DISPLAYCONFIG_MODE_INFO>(modeCount)};
    DISPLAYCONFIG_TOPOLOGY_ID topology{};
    config.result = system.queryDisplayConfig(QDC_DATABASE_CURRENT | modifiers, &pathCount, config.paths.data(),
                                              &modeCount, config.modes.data(), &topology);
    return config;
}

std::vector<HMONITOR> monitorsOf(SimulatedWindowSystem& system) {
    std::vector<HMONITOR> monitors;
    system.enumDisplayMonitors(
        [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
            reinterpret_cast<std::vector<HMONITOR>*>(data)->push_back(monitor);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

TEST(SimulatedWindowSystem, NumbersSourcesAndTargetsPerAdapter) {
    SimulatedWindowSystem system(laptop());
    const Config config = query(system);
    ASSERT_EQ(config.result, 0);
    ASSERT_EQ(config.paths.size(), 3u);
    ASSERT_EQ(config.modes.size(), 6u);

    const LUID gpu = SimulatedWindowSystem::adapterLuid(0);
    const LUID usb = SimulatedWindowSystem::adapterLuid(1);
    EXPECT_FALSE(sameLuid(gpu, usb));
    struct Expected {
        LUID adapter;
        UINT32 source;
        UINT32 target;
        LONG x;
    };
    const Expected expected[] = {{gpu, 0, 0, 0}, {gpu, 1, 1, 1920}, {usb, 0, 0, 4480}};
    for (std::size_t i = 0; i < 3; ++i) {
        const DISPLAYCONFIG_PATH_INFO& path = config.paths[i];
        EXPECT_TRUE(sameLuid(path.sourceInfo.adapterId, expected[i].adapter)) << i;
        EXPECT_EQ(path.sourceInfo.id, expected[i].source) << i;
        EXPECT_EQ(path.targetInfo.id, expected[i].target) << i;
        const DISPLAYCONFIG_MODE_INFO& source = config.modes.at(path.sourceInfo.modeInfoIdx);
        const DISPLAYCONFIG_MODE_INFO& target = config.modes.at(path.targetInfo.modeInfoIdx);
        EXPECT_EQ(source.infoType, DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) << i;
        EXPECT_EQ(source.id, expected[i].source) << i;
        EXPECT_TRUE(sameLuid(source.adapterId, expected[i].adapter)) << i;
        EXPECT_EQ(source.sourceMode.position.x, expected[i].x) << i;
        EXPECT_EQ(target.infoType, DISPLAYCONFIG_MODE_INFO_TYPE_TARGET) << i;
        EXPECT_EQ(target.id, expected[i].target) << i;
        EXPECT_LT(path.targetInfo.modeInfoIdx, path.sourceInfo.modeInfoIdx) << "the target mode comes first";
    }
}

TEST(SimulatedWindowSystem, WithoutADatabaseEntryTheCurrentDatabaseGivesPathsWithoutModes) {
    SimulatedDesktop desktop = laptop();
    desktop.databaseEntry = false;
    SimulatedWindowSystem system(desktop);
    const Config config = query(system);
    ASSERT_EQ(config.result, 0);
    ASSERT_EQ(config.paths.size(), 3u);
    EXPECT_TRUE(config.modes.empty()) << "the sizes count no modes either";
    for (const DISPLAYCONFIG_PATH_INFO& path : config.paths) {
        EXPECT_EQ(path.sourceInfo.modeInfoIdx, DISPLAYCONFIG_PATH_MODE_IDX_INVALID);
        EXPECT_EQ(path.targetInfo.modeInfoIdx, DISPLAYCONFIG_PATH_MODE_IDX_INVALID);
    }
    EXPECT_EQ(config.paths[2].targetInfo.id, 0u);
    EXPECT_TRUE(sameLuid(config.paths[2].targetInfo.adapterId, SimulatedWindowSystem::adapterLuid(1)));

    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    ASSERT_EQ(system.getDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &pathCount, &modeCount), 0);
    EXPECT_EQ(modeCount, 6u) << "only the database lacks the entry";
}

// A lock refuses each of the display configuration's queries from its first moment up to, not
// including, its end; its end is announced once, when the clock has reached it.
TEST(SimulatedWindowSystem, ALockedSessionIsRefusedUntilItsEndWhichIsAnnouncedOnce) {
    std::int64_t now = 0;
    SimulatedWindowSystem system(laptop());
    system.setClock([&now] { return now; });
    Config config = query(system);
    ASSERT_EQ(config.result, 0);
    system.lockSession(10, 35);
    const LONG refused = static_cast<LONG>(ERROR_ACCESS_DENIED);
    const struct {
        std::int64_t time;
        LONG result;       // of each query
        unsigned notices;  // after announceUnlocks
    } cases[] = {{9, 0, 0}, {10, refused, 0}, {34, refused, 0}, {35, 0, 1}, {36, 0, 1}};
    for (const auto& c : cases) {
        now = c.time;
        UINT32 paths = 0;
        UINT32 modes = 0;
        EXPECT_EQ(system.getDisplayConfigBufferSizes(QDC_DATABASE_CURRENT, &paths, &modes), c.result) << c.time;
        paths = static_cast<UINT32>(config.paths.size());
        modes = static_cast<UINT32>(config.modes.size());
        DISPLAYCONFIG_TOPOLOGY_ID topology{};
        EXPECT_EQ(system.queryDisplayConfig(QDC_DATABASE_CURRENT, &paths, config.paths.data(), &modes,
                                            config.modes.data(), &topology),
                  c.result)
            << c.time;
        DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
        source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
        source.header.size = sizeof(source);
        source.header.adapterId = config.paths[0].sourceInfo.adapterId;
        source.header.id = config.paths[0].sourceInfo.id;
        EXPECT_EQ(system.displayConfigGetDeviceInfo(&source.header), c.result) << c.time;
        system.announceUnlocks();
        EXPECT_EQ(system.changeNotices(), c.notices) << c.time;
        EXPECT_EQ(system.nextUnlockTime(), c.notices == 0 ? std::optional<std::int64_t>(35) : std::nullopt);
    }
}

TEST(SimulatedWindowSystem, ACloneSharesOneSourceModeAndIsOneMonitor) {
    SimulatedWindowSystem system(SimulatedDesktop{
        {SimulatedAdapter{u"GPU", u"PCI", {display(0, 1920, {{1, u"A", u"a"}, {2, u"B", u"b"}}, true)}}}});
    const Config config = query(system);
    ASSERT_EQ(config.paths.size(), 2u);
    EXPECT_EQ(config.modes.size(), 3u);
    EXPECT_EQ(config.paths[0].sourceInfo.modeInfoIdx, config.paths[1].sourceInfo.modeInfoIdx);
    EXPECT_EQ(monitorsOf(system).size(), 1u);

    // Its source mode listed first and a clone group of its own: in the aware layout both paths pack
    // source mode 0 beside clone group 9.
    SimulatedDesktop desktop = system.desktop();
    desktop.sourceModesFirst = true;
    desktop.adapters[0].displays[0].cloneGroupId = 9;
    system.reset(desktop);
    for (const DISPLAYCONFIG_PATH_INFO& path : query(system, QDC_VIRTUAL_MODE_AWARE).paths) {
        EXPECT_EQ(path.sourceInfo.modeInfoIdx, 9u);
    }
}

TEST(SimulatedWindowSystem, QueryAnswersInsufficientBufferWhenTheCountsAreTooSmall) {
    SimulatedWindowSystem system(laptop());
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(3);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(5);
    DISPLAYCONFIG_TOPOLOGY_ID topology{};
    // Room for the three paths but not for the six modes; the topology is asked for with the
    // current database.
    const struct {
        DISPLAYCONFIG_TOPOLOGY_ID* topology;
        DWORD result;
    } cases[] = {{&topology, ERROR_INSUFFICIENT_BUFFER}, {nullptr, ERROR_INVALID_PARAMETER}};
    for (const auto& c : cases) {
        UINT32 pathCount = 3;
        UINT32 modeCount = 5;
        EXPECT_EQ(system.queryDisplayConfig(QDC_DATABASE_CURRENT, &pathCount, paths.data(), &modeCount, modes.data(),
                                            c.topology),
                  static_cast<LONG>(c.result));
    }
}

TEST(SimulatedWindowSystem, ListsEveryDisplayDeviceAndMonitorsTheAttachedOnesPrimaryFirst) {
    SimulatedDesktop desktop = laptop();
    desktop.adapters[0].displays[0].primary = false;
    desktop.adapters[0].displays[1].attached = false;
    desktop.adapters[1].displays[0].primary = true;
    desktop.adapters[1].displays[0].x = 0;
    desktop.adapters[0].displays[0].monitorInfoPrimary = true;  // its monitor information out of step
    SimulatedWindowSystem system(desktop);

    DISPLAY_DEVICEW device{};
    device.cb = sizeof(device);
    std::vector<std::u16string> names;
    std::vector<DWORD> flags;
    for (DWORD index = 0; system.enumDisplayDevices(index, &device); ++index) {
        names.push_back(text(device.DeviceName));
        flags.push_back(device.StateFlags);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"\\\\.\\DISPLAY1", u"\\\\.\\DISPLAY2", u"\\\\.\\DISPLAY3"}));
    EXPECT_EQ(flags, (std::vector<DWORD>{DISPLAY_DEVICE_ATTACHED_TO_DESKTOP, 0,
                                         DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_PRIMARY_DEVICE}));
    EXPECT_EQ(text(device.DeviceID), u"USB\\VID_17E9&PID_FF13&MI_00");

    const std::vector<HMONITOR> monitors = monitorsOf(system);
    const struct {
        const char16_t* device;
        DWORD flags;
        LONG right;
    } expected[] = {{u"\\\\.\\DISPLAY3", MONITORINFOF_PRIMARY, 1280}, {u"\\\\.\\DISPLAY1", MONITORINFOF_PRIMARY, 1920}};
    ASSERT_EQ(monitors.size(), std::size(expected));
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        MONITORINFOEXW info{};
        info.cbSize = sizeof(info);
        ASSERT_TRUE(system.getMonitorInfo(monitors[i], &info)) << i;
        EXPECT_EQ(text(info.szDevice), expected[i].device) << i;
        EXPECT_EQ(info.dwFlags, expected[i].flags) << i;
        EXPECT_EQ(info.rcMonitor.right, expected[i].right) << i;
    }

    desktop.monitorsInDeviceOrder = true;
    SimulatedWindowSystem inDeviceOrder(desktop);
    std::vector<std::u16string> devices;
    for (const HMONITOR monitor : monitorsOf(inDeviceOrder)) {
        MONITORINFOEXW info{};
        info.cbSize = sizeof(info);
        ASSERT_TRUE(inDeviceOrder.getMonitorInfo(monitor, &info));
        devices.push_back(text(info.szDevice));
    }
    EXPECT_EQ(devices, (std::vector<std::u16string>{u"\\\\.\\DISPLAY1", u"\\\\.\\DISPLAY3"}));
}

TEST(SimulatedWindowSystem, AnswersSourceAndTargetNamesByAdapterAndId) {
    SimulatedWindowSystem system(laptop());
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    source.header.size = sizeof(source);
    source.header.adapterId = SimulatedWindowSystem::adapterLuid(1);
    source.header.id = 0;
    ASSERT_EQ(system.displayConfigGetDeviceInfo(&source.header), 0);
    EXPECT_EQ(text(source.viewGdiDeviceName), u"\\\\.\\DISPLAY3");

    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    target.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    target.header.size = sizeof(target);
    target.header.adapterId = SimulatedWindowSystem::adapterLuid(0);
    target.header.id = 1;
    ASSERT_EQ(system.displayConfigGetDeviceInfo(&target.header), 0);
    EXPECT_EQ(target.edidProductCodeId, 0x2790);
    EXPECT_EQ(target.flags.value & 0x4u, 0x4u) << "edidIdsValid";
    EXPECT_EQ(text(target.monitorFriendlyDeviceName), u"DELL");
    EXPECT_EQ(text(target.monitorDevicePath), u"dell");

    SimulatedDesktop unvouched = laptop();
    unvouched.adapters[0].displays[1].monitors[0].edidValid = false;
    SimulatedWindowSystem withoutValidIds(unvouched);
    ASSERT_EQ(withoutValidIds.displayConfigGetDeviceInfo(&target.header), 0);
    EXPECT_EQ(target.flags.value & 0x4u, 0u) << "edidIdsValid";
    EXPECT_EQ(target.edidProductCodeId, 0x2790) << "filled in all the same";

    // The manufacturer id, of the letters after "DISPLAY#" in the device path, with its bytes swapped.
    const std::pair<std::u16string, UINT16> manufacturers[] = {
        {u"\\\\?\\DISPLAY#DELA0F4#5&1f2e3d4c", 0xAC10},  // D, E, L: 4 << 10 | 5 << 5 | 12
        {u"DISPLAY#AZW", 0x5707},                        // A, Z, W: 1 << 10 | 26 << 5 | 23, ending there
        {u"DISPLAY#AZ", 0},
        {u"\\\\?\\DISPLAY#Default_Monitor", 0},
        {u"dell", 0},
    };
    for (const auto& [devicePath, manufacturer] : manufacturers) {
        SimulatedDesktop named = laptop();
        named.adapters[0].displays[1].monitors[0].devicePath = devicePath;
        SimulatedWindowSystem withPath(named);
        ASSERT_EQ(withPath.displayConfigGetDeviceInfo(&target.header), 0);
        EXPECT_EQ(target.edidManufactureId, manufacturer) << text(target.monitorDevicePath).size();
    }

    target.header.id = 2;  // the GPU has two targets only
    EXPECT_EQ(system.displayConfigGetDeviceInfo(&target.header), static_cast<LONG>(ERROR_INVALID_PARAMETER));
    source.header.adapterId = LUID{1, 1};
    EXPECT_EQ(system.displayConfigGetDeviceInfo(&source.header), static_cast<LONG>(ERROR_INVALID_PARAMETER));
}

// Moves the Kiv to the origin as primary and the panel to its right, the way the tool does.
LONG makeKivPrimary(SimulatedWindowSystem& system, LONG kivX, DWORD storeFlag) {
    const std::vector<WCHAR> kiv = name(u"\\\\.\\DISPLAY3");
    const std::vector<WCHAR> panel = name(u"\\\\.\\DISPLAY1");
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    EXPECT_TRUE(system.enumDisplaySettings(kiv.data(), ENUM_CURRENT_SETTINGS, &mode));
    mode.dmPosition = POINTL{kivX, 0};
    EXPECT_EQ(system.changeDisplaySettingsEx(kiv.data(), &mode, CDS_SET_PRIMARY | CDS_NORESET | CDS_GLOBAL | storeFlag),
              DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(system.enumDisplaySettings(panel.data(), ENUM_CURRENT_SETTINGS, &mode));
    mode.dmPosition = POINTL{1280, 0};
    EXPECT_EQ(system.changeDisplaySettingsEx(panel.data(), &mode, CDS_NORESET | CDS_GLOBAL | storeFlag),
              DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(system.desktop().adapters[0].displays[0].primary) << "nothing changes before the final call";
    return system.changeDisplaySettingsEx(nullptr, nullptr, 0);
}

TEST(SimulatedWindowSystem, StoresEachChangeWhenRecordedAndAppliesThemAtOnce) {
    SimulatedWindowSystem system(laptop());
    std::vector<std::string> stored;
    system.setLayoutStore([&](const SimulatedDesktop& layout) {
        stored.push_back(std::string(layout.adapters[1].displays[0].primary ? "kiv primary" : "kiv not primary") +
                         ", panel at " + std::to_string(layout.adapters[0].displays[0].x));
        return true;
    });
    ASSERT_EQ(makeKivPrimary(system, 0, CDS_UPDATEREGISTRY), DISP_CHANGE_SUCCESSFUL);

    const SimulatedDisplay& panel = system.desktop().adapters[0].displays[0];
    const SimulatedDisplay& kiv = system.desktop().adapters[1].displays[0];
    EXPECT_TRUE(kiv.primary);
    EXPECT_EQ(kiv.x, 0);
    EXPECT_FALSE(panel.primary);
    EXPECT_EQ(panel.x, 1280);
    EXPECT_EQ(stored, (std::vector<std::string>{"kiv primary, panel at 0", "kiv primary, panel at 1280"}))
        << "each record stored at once, the apply stores nothing";
    EXPECT_TRUE(system.storedLayout().adapters[1].displays[0].primary);

    const auto changes = system.callsOf(DisplayOperation::ChangeDisplaySettingsEx);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].deviceName, u"\\\\.\\DISPLAY3");
    EXPECT_EQ(changes[0].flags, 0x10000019u);
    EXPECT_EQ(changes[0].position.x, 0);
    EXPECT_EQ(changes[1].deviceName, u"\\\\.\\DISPLAY1");
    EXPECT_EQ(changes[1].flags, 0x10000009u);
    EXPECT_EQ(changes[1].position.x, 1280);
    EXPECT_EQ(changes[2].deviceName, u"");
    EXPECT_EQ(changes[2].flags, 0u);
}

TEST(SimulatedWindowSystem, RefusesAPrimaryAwayFromTheOriginOrDeclinesOneAndStoresOnlyWithUpdateRegistry) {
    // A record is stored when it is made, whether the apply takes it or not; one without
    // CDS_UPDATEREGISTRY lasts for the run only.
    const struct {
        const char* what;
        LONG kivX;
        DWORD storeFlag;
        LONG result;
        bool kivPrimary;
        std::optional<LONG> storedKivX;  // none: not looked at
        std::optional<bool> storedPanelPrimary;
        bool declinesPrimary = false;
    } cases[] = {
        {"refused", 10, CDS_UPDATEREGISTRY, DISP_CHANGE_BADPARAM, false, 10, std::nullopt},
        {"dynamic only", 0, 0, DISP_CHANGE_SUCCESSFUL, true, std::nullopt, true},
        {"declined", 0, CDS_UPDATEREGISTRY, DISP_CHANGE_SUCCESSFUL, false, 0, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedDesktop desktop = laptop();
        desktop.declinesPrimary = c.declinesPrimary;
        SimulatedWindowSystem system(desktop);
        EXPECT_EQ(makeKivPrimary(system, c.kivX, c.storeFlag), c.result);
        EXPECT_EQ(system.desktop().adapters[1].displays[0].primary, c.kivPrimary);
        EXPECT_NE(system.desktop().adapters[0].displays[0].primary, c.kivPrimary);
        if (c.storedKivX) {
            EXPECT_EQ(system.storedLayout().adapters[1].displays[0].x, *c.storedKivX);
        }
        if (c.storedPanelPrimary) {
            EXPECT_EQ(system.storedLayout().adapters[0].displays[0].primary, *c.storedPanelPrimary);
        }
    }

    SimulatedWindowSystem notStored(laptop());
    notStored.setLayoutStore([](const SimulatedDesktop&) { return false; });
    const std::vector<WCHAR> kiv = name(u"\\\\.\\DISPLAY3");
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    ASSERT_TRUE(notStored.enumDisplaySettings(kiv.data(), ENUM_CURRENT_SETTINGS, &mode));
    mode.dmPosition = POINTL{0, 0};
    EXPECT_EQ(notStored.changeDisplaySettingsEx(kiv.data(), &mode, CDS_SET_PRIMARY | CDS_NORESET | CDS_UPDATEREGISTRY),
              DISP_CHANGE_NOTUPDATED);
    EXPECT_EQ(notStored.changeDisplaySettingsEx(nullptr, nullptr, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(notStored.desktop().adapters[0].displays[0].primary) << "a change that could not be stored is dropped";
    EXPECT_TRUE(notStored.storedLayout().adapters[0].displays[0].primary);
}

// The laptop's active configuration: per path its target mode (and with QDC_VIRTUAL_MODE_AWARE its
// desktop image mode), then its source mode (plain: panel 1, monitor 3, Kiv 5).
Config activeConfig(SimulatedWindowSystem& system, UINT32 modifiers = 0) {
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    EXPECT_EQ(system.getDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS | modifiers, &pathCount, &modeCount), 0);
    Config config{0, std::vector<DISPLAYCONFIG_PATH_INFO>(pathCount), std::vector<DISPLAYCONFIG_MODE_INFO>(modeCount)};
    config.result = system.queryDisplayConfig(QDC_ONLY_ACTIVE_PATHS | modifiers, &pathCount, config.paths.data(),
                                              &modeCount, config.modes.data(), nullptr);
    return config;
}

TEST(SimulatedWindowSystem, SetDisplayConfigShowsAndStoresASuppliedConfigurationOrRefusesIt) {
    constexpr UINT32 kApplyAndStore = SDC_APPLY | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE;
    constexpr UINT32 kAwareQuery = QDC_VIRTUAL_MODE_AWARE | QDC_VIRTUAL_REFRESH_RATE_AWARE;
    constexpr UINT32 kAwareApply = SDC_VIRTUAL_MODE_AWARE | SDC_VIRTUAL_REFRESH_RATE_AWARE;
    constexpr LONG kInvalid = ERROR_INVALID_PARAMETER;
    // Kiv, panel, monitor in a row from (0, 0), unless a case moves them (x of panel, monitor, Kiv).
    const struct {
        const char* what;
        UINT32 flags;
        LONG result;
        bool shownKivPrimary;
        bool storedKivPrimary;
        LONG panelX = 1280;
        LONG monitorX = 3200;
        LONG kivX = 0;
        std::size_t paths = 3;  // the first ones of the query's, the others left out
        std::optional<UINT32> panelSourceMode = std::nullopt;
        bool declinesPrimary = false;
        bool pluggedInSinceTheQuery = false;
        bool locked = false;
        UINT32 queryModifiers = 0;
        bool awareFlagsRefused = false;  // virtualModeAware "refused"
    } cases[] = {
        {"applied and stored", kApplyAndStore, 0, true, true},
        {"applied only", SDC_APPLY | SDC_USE_SUPPLIED_DISPLAY_CONFIG, 0, true, false},
        {"validated only", SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG, 0, false, false},
        {"stored without a supplied configuration", SDC_APPLY | SDC_SAVE_TO_DATABASE, kInvalid, false, false},
        {"neither applied nor validated", SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE, kInvalid, false,
         false},
        {"a mode index pointing nowhere", kApplyAndStore, kInvalid, false, false, 1280, 3200, 0, 3, 99},
        {"a mode index pointing at a target mode", kApplyAndStore, kInvalid, false, false, 1280, 3200, 0, 3, 0},
        {"a gap", kApplyAndStore, kInvalid, false, false, 1280, 4000},
        {"an overlap", kApplyAndStore, kInvalid, false, false, 1000},
        {"no source at the origin", kApplyAndStore, kInvalid, false, false, 1281, 3201, 1},
        {"the monitor's path left out", kApplyAndStore, 0, true, true, 1280, 3200, 0, 2},
        {"declined", kApplyAndStore, 0, false, false, 1280, 3200, 0, 3, 1, true},
        {"plugged in since the query", kApplyAndStore, kInvalid, false, false, 1280, 3200, 0, 3, 1, false, true},
        {"locked", kApplyAndStore, ERROR_ACCESS_DENIED, false, false, 1280, 3200, 0, 3, 1, false, false, true},
        {"queried and applied virtual-mode-aware", kApplyAndStore | kAwareApply, 0, true, true, 1280, 3200, 0, 3,
         std::nullopt, false, false, false, kAwareQuery},
        {"queried aware, applied plain", kApplyAndStore, kInvalid, false, false, 1280, 3200, 0, 3, std::nullopt, false,
         false, false, kAwareQuery},
        {"queried plain, applied aware: each path read as its flag says", kApplyAndStore | SDC_VIRTUAL_MODE_AWARE, 0,
         true, true},
        {"aware flags refused", kApplyAndStore | SDC_VIRTUAL_REFRESH_RATE_AWARE, kInvalid, false, false, 1280, 3200, 0,
         3, std::nullopt, false, false, false, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedDesktop desktop = laptop();
        desktop.declinesPrimary = c.declinesPrimary;
        desktop.virtualModeAware = c.awareFlagsRefused ? VirtualModeAware::Refused : VirtualModeAware::Taken;
        SimulatedWindowSystem system(desktop);
        UINT32 pathCount = 0;
        UINT32 modeCount = 0;
        EXPECT_EQ(system.getDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS | kAwareQuery, &pathCount, &modeCount),
                  c.awareFlagsRefused ? kInvalid : 0);
        Config config = activeConfig(system, c.queryModifiers);
        ASSERT_EQ(config.result, 0);
        ASSERT_EQ(config.paths.size(), 3u);
        ASSERT_EQ(config.modes.size(), c.queryModifiers != 0 ? 9u : 6u) << "a desktop image mode beside each target";
        // The panel's, the monitor's and the Kiv's source mode.
        const auto sourceMode = [&](std::size_t path) -> DISPLAYCONFIG_SOURCE_MODE& {
            const DISPLAYCONFIG_PATH_SOURCE_INFO& source = config.paths[path].sourceInfo;
            return config.modes.at(c.queryModifiers != 0 ? source.sourceModeInfoIdx : source.modeInfoIdx).sourceMode;
        };
        sourceMode(0).position = POINTL{c.panelX, 0};
        sourceMode(1).position = POINTL{c.monitorX, 0};
        sourceMode(2).position = POINTL{c.kivX, 0};
        if (c.panelSourceMode) {
            config.paths[0].sourceInfo.modeInfoIdx = *c.panelSourceMode;
        }
        if (c.pluggedInSinceTheQuery) {
            system.plugInAt(0, SimulatedAdapter{u"USB", u"USB\\VID_1D5C", {display(0, 800, {{}})}});
            system.happenDue();
        }
        if (c.locked) {
            system.lockSession(0, 10);
        }
        // The monitor's path is the second: leaving it out keeps the Kiv's, moved into its place.
        if (c.paths == 2) {
            config.paths[1] = config.paths[2];
        }

        EXPECT_EQ(system.setDisplayConfig(static_cast<UINT32>(c.paths), config.paths.data(),
                                          static_cast<UINT32>(config.modes.size()), config.modes.data(), c.flags),
                  c.result);

        const auto& shownKiv = system.desktop().adapters[1].displays[0];
        EXPECT_EQ(shownKiv.primary, c.shownKivPrimary);
        EXPECT_EQ(system.desktop().adapters[0].displays[0].primary, !c.shownKivPrimary);
        EXPECT_EQ(shownKiv.x, c.shownKivPrimary ? 0 : 4480);
        EXPECT_EQ(system.storedLayout().adapters[1].displays[0].primary, c.storedKivPrimary);
        EXPECT_EQ(system.desktop().adapters[0].displays[1].attached, c.paths == 3 || !c.shownKivPrimary)
            << "a path left out is switched off";
    }

    SimulatedDesktop headless = laptop();
    headless.displayPaths = false;
    SimulatedWindowSystem system(headless);
    UINT32 pathCount = 1;
    UINT32 modeCount = 1;
    EXPECT_EQ(system.getDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &pathCount, &modeCount), 0);
    EXPECT_EQ(pathCount + modeCount, 0u);
    EXPECT_EQ(system.queryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &pathCount, nullptr, &modeCount, nullptr, nullptr),
              kInvalid)
        << "the path array cannot be NULL";

    // The stored layout shown again: the Kiv recorded as primary is stored, not shown, until then.
    SimulatedWindowSystem stored(laptop());
    const std::vector<WCHAR> kiv = name(u"\\\\.\\DISPLAY3");
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    mode.dmFields = DM_POSITION;
    ASSERT_EQ(stored.changeDisplaySettingsEx(kiv.data(), &mode, CDS_SET_PRIMARY | CDS_NORESET | CDS_UPDATEREGISTRY),
              DISP_CHANGE_SUCCESSFUL);
    ASSERT_FALSE(stored.desktop().adapters[1].displays[0].primary);
    EXPECT_EQ(stored.setDisplayConfig(0, nullptr, 0, nullptr, SDC_APPLY | SDC_USE_DATABASE_CURRENT), 0);
    EXPECT_TRUE(stored.desktop().adapters[1].displays[0].primary);
}

TEST(SimulatedWindowSystem, FailsExactlyTheChosenOccurrence) {
    SimulatedWindowSystem system(laptop());
    system.failCall(DisplayOperation::EnumDisplaySettings, 2, 1234);
    system.failCall(DisplayOperation::ChangeDisplaySettingsEx, 1, DISP_CHANGE_FAILED);
    system.failCall(DisplayOperation::GetDisplayConfigBufferSizes, 1, 31);

    const std::vector<WCHAR> panel = name(u"\\\\.\\DISPLAY1");
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    EXPECT_TRUE(system.enumDisplaySettings(panel.data(), ENUM_CURRENT_SETTINGS, &mode));
    SetLastError(0);
    EXPECT_FALSE(system.enumDisplaySettings(panel.data(), ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_TRUE(system.enumDisplaySettings(panel.data(), ENUM_CURRENT_SETTINGS, &mode));

    EXPECT_EQ(system.changeDisplaySettingsEx(panel.data(), &mode, CDS_NORESET), DISP_CHANGE_FAILED);
    EXPECT_EQ(system.changeDisplaySettingsEx(nullptr, nullptr, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(system.desktop().adapters[0].displays[0].x, 0) << "the failed change was not recorded";

    UINT32 paths = 0;
    UINT32 modes = 0;
    EXPECT_EQ(system.getDisplayConfigBufferSizes(QDC_DATABASE_CURRENT, &paths, &modes), 31);
    EXPECT_EQ(system.getDisplayConfigBufferSizes(QDC_DATABASE_CURRENT, &paths, &modes), 0);
    EXPECT_EQ(paths, 3u);

    const std::vector<WCHAR> unknown = name(u"\\\\.\\DISPLAY9");
    EXPECT_FALSE(system.enumDisplaySettings(unknown.data(), ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(SimulatedWindowSystem, PlugsInAnAdapterAfterTheChosenSizesQuery) {
    SimulatedDesktop desktop = laptop();
    const SimulatedAdapter usb = desktop.adapters.back();
    desktop.adapters.pop_back();
    SimulatedWindowSystem system(desktop);
    system.plugInAfterSizesQuery(2, usb);

    EXPECT_EQ(query(system).paths.size(), 2u);
    UINT32 paths = 0;
    UINT32 modes = 0;
    system.getDisplayConfigBufferSizes(QDC_DATABASE_CURRENT, &paths, &modes);
    EXPECT_EQ(paths, 2u) << "counted before the adapter came";
    const Config grown = query(system);
    ASSERT_EQ(grown.paths.size(), 3u);
    EXPECT_TRUE(sameLuid(grown.paths[2].sourceInfo.adapterId, SimulatedWindowSystem::adapterLuid(1)));
    EXPECT_EQ(system.desktop().adapters[1].displays[0].deviceName, u"\\\\.\\DISPLAY3");
}

}  // namespace

// The trace that SIMULATED_CALLS writes: the user32 name, its arguments, "-> " and the result.
TEST(CallTrace, WritesEachCallAsItsNameArgumentsAndResult) {
    using orvi::simulation::DisplayOperation;
    using orvi::simulation::SimulatedCall;
    const auto call = [](DisplayOperation operation, std::u16string device, DWORD flags, LONG result) {
        SimulatedCall made;
        made.operation = operation;
        made.deviceName = std::move(device);
        made.flags = flags;
        made.position = POINTL{1280, 0};
        made.index = 3;
        made.result = result;
        return made;
    };
    const std::pair<SimulatedCall, std::string> cases[] = {
        {call(DisplayOperation::ChangeDisplaySettingsEx, u"\\\\.\\DISPLAY1", 0x10000009, 0),
         "ChangeDisplaySettingsExW device=\\\\.\\DISPLAY1 x=1280 y=0 flags=0x10000009 -> 0"},
        {call(DisplayOperation::ChangeDisplaySettingsEx, u"", 0, -1),
         "ChangeDisplaySettingsExW device=NULL flags=0x0 -> -1"},
        {call(DisplayOperation::SetDisplayConfig, u"", 0x282a0, 87), "SetDisplayConfig paths=3 flags=0x282a0 -> 87"},
        {call(DisplayOperation::QueryDisplayConfig, u"", 0x52, 0), "QueryDisplayConfig flags=0x52 -> 0"},
        {call(DisplayOperation::GetDisplayConfigBufferSizes, u"", 0x4, 0),
         "GetDisplayConfigBufferSizes flags=0x4 -> 0"},
        {call(DisplayOperation::EnumDisplaySettings, u"\\\\.\\DISPLAY2", 0, 1),
         "EnumDisplaySettingsW device=\\\\.\\DISPLAY2 mode=0x3 -> 1"},
        {call(DisplayOperation::GetTargetName, u"", 0, 0),
         "DisplayConfigGetDeviceInfo type=target-name adapter=0:0 id=0 -> 0"},
    };
    for (const auto& [made, line] : cases) {
        EXPECT_EQ(orvi::simulation::traceLine(made), line);
    }
}
