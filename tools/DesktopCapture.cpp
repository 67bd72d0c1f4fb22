#include "tools/DesktopCapture.h"

#include "platform/DisplayServices.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace orvi::tools {
namespace {

// Repeats of the sizes and the query when a screen comes or goes in between; the tool's own bound.
constexpr int kQueryAttempts = 8;

std::string hexCode(DWORD code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(code));
    return text;
}

// A fixed-size array up to its null, never past its end.
template <std::size_t N>
std::u16string textOf(const WCHAR (&array)[N]) {
    std::u16string text;
    for (std::size_t i = 0; i < N && array[i] != 0; ++i) {
        text.push_back(static_cast<char16_t>(array[i]));
    }
    return text;
}

// A null-terminated copy of a device name, as the calls that take one read it.
std::vector<WCHAR> terminated(const std::u16string& name) {
    std::vector<WCHAR> copy(name.begin(), name.end());
    copy.push_back(0);
    return copy;
}

bool sameLuid(LUID a, LUID b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

struct Device {
    std::u16string name;
    std::u16string adapterName;
    std::u16string hardwareId;
    bool attached = false;
    bool primary = false;
    simulation::SimulatedDisplay display;  // geometry, monitorInfoDeviceName, then monitors
    std::optional<LUID> adapter;           // its source's, when it has a display path
    std::optional<UINT32> sourceId;
};

struct Target {
    LUID adapter;
    UINT32 id;
    simulation::SimulatedMonitor monitor;
    bool indirect;
    UINT32 technology;  // DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY
};

std::vector<Device> listDevices() {
    std::vector<Device> devices;
    for (DWORD index = 0;; ++index) {
        DISPLAY_DEVICEW device{};
        device.cb = sizeof device;
        if (!platform::enumDisplayDevices(index, &device)) {
            break;  // the end of the list
        }
        Device listed;
        listed.name = textOf(device.DeviceName);
        listed.adapterName = textOf(device.DeviceString);
        listed.hardwareId = textOf(device.DeviceID);
        listed.attached = (device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) != 0;
        listed.primary = (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) != 0;
        listed.display.deviceName = listed.name;
        listed.display.attached = listed.attached;
        listed.display.primary = listed.primary;
        devices.push_back(std::move(listed));
    }
    return devices;
}

void readSettings(Device& device) {
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    if (!platform::enumDisplaySettings(terminated(device.name).data(), ENUM_CURRENT_SETTINGS, &mode)) {
        throw CaptureFailure("EnumDisplaySettingsW", GetLastError());
    }
    device.display.x = mode.dmPosition.x;
    device.display.y = mode.dmPosition.y;
    device.display.width = mode.dmPelsWidth;
    device.display.height = mode.dmPelsHeight;
    // 0 and 1 stand for the hardware's default rate, which the mode does not name.
    if ((mode.dmFields & DM_DISPLAYFREQUENCY) != 0 && mode.dmDisplayFrequency > 1) {
        device.display.refreshRate = mode.dmDisplayFrequency;
    }
}

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    reinterpret_cast<std::vector<HMONITOR>*>(data)->push_back(monitor);
    return TRUE;
}

// Gives each attached display device the name that GetMonitorInfoW reports for its monitor, where
// that is another name: a monitor whose name is no attached display device's goes to the first
// attached display device without a monitor of its name at the same place, else the first left. A
// display device that is not the primary but whose monitor GetMonitorInfoW reports as primary gets
// monitorInfoPrimary. Answers whether EnumDisplayMonitors listed the primary display device's monitor
// after another one (in device order, not the primary first).
bool readMonitorNames(std::vector<Device>& devices) {
    std::vector<HMONITOR> monitors;
    if (!platform::enumDisplayMonitors(collectMonitor, reinterpret_cast<LPARAM>(&monitors))) {
        throw CaptureFailure("EnumDisplayMonitors", GetLastError());
    }
    struct Named {
        std::u16string name;
        RECT area;
        bool primary;
        std::optional<std::size_t> device;  // the display device it goes to
    };
    std::vector<Named> named;
    for (const HMONITOR monitor : monitors) {
        MONITORINFOEXW info{};
        info.cbSize = sizeof info;
        if (!platform::getMonitorInfo(monitor, &info)) {
            throw CaptureFailure("GetMonitorInfoW", GetLastError());
        }
        named.push_back(Named{textOf(info.szDevice), info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0, {}});
    }
    std::vector<bool> matched(devices.size(), false);
    for (Named& monitor : named) {
        const auto device = std::find_if(devices.begin(), devices.end(), [&](const Device& each) {
            return each.attached && !matched[&each - devices.data()] && each.name == monitor.name;
        });
        if (device != devices.end()) {
            monitor.device = static_cast<std::size_t>(device - devices.begin());
            matched[*monitor.device] = true;
        }
    }
    for (Named& monitor : named) {
        if (monitor.device) {
            continue;
        }
        std::optional<std::size_t> chosen;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const simulation::SimulatedDisplay& shown = devices[i].display;
            if (!devices[i].attached || matched[i]) {
                continue;
            }
            if (shown.x == monitor.area.left && shown.y == monitor.area.top) {
                chosen = i;
                break;
            }
            chosen = chosen.value_or(i);
        }
        if (chosen) {
            matched[*chosen] = true;
            monitor.device = chosen;
            devices[*chosen].display.monitorInfoDeviceName = monitor.name;
        }
    }
    bool primaryAfterAnother = false;
    for (std::size_t place = 0; place < named.size(); ++place) {
        if (!named[place].primary || !named[place].device) {
            continue;
        }
        Device& device = devices[*named[place].device];
        primaryAfterAnother = primaryAfterAnother || (device.primary && place > 0);
        device.display.monitorInfoPrimary = !device.primary;
    }
    return primaryAfterAnother;
}

struct Configuration {
    std::vector<DISPLAYCONFIG_PATH_INFO> paths;
    std::vector<DISPLAYCONFIG_MODE_INFO> modes;
};

// Thrown where a display-configuration call answers ERROR_ACCESS_DENIED: the session has no access
// to the console (locked, remote, switched away), at the first call or part-way through.
struct ConfigurationRefused {};

// The display configuration as a query with these flags gives it.
Configuration queryConfiguration(UINT32 flags) {
    for (int attempt = 1;; ++attempt) {
        UINT32 pathCount = 0;
        UINT32 modeCount = 0;
        const LONG sizes = platform::getDisplayConfigBufferSizes(flags, &pathCount, &modeCount);
        if (sizes == static_cast<LONG>(ERROR_ACCESS_DENIED)) {
            throw ConfigurationRefused{};
        }
        if (sizes != static_cast<LONG>(ERROR_SUCCESS)) {
            throw CaptureFailure("GetDisplayConfigBufferSizes", static_cast<DWORD>(sizes));
        }
        Configuration result{std::vector<DISPLAYCONFIG_PATH_INFO>(pathCount),
                             std::vector<DISPLAYCONFIG_MODE_INFO>(modeCount)};
        if (pathCount == 0) {
            return result;  // nothing to ask for: the query takes no empty path array
        }
        DISPLAYCONFIG_TOPOLOGY_ID topology{};
        const LONG query =
            platform::queryDisplayConfig(flags, &pathCount, result.paths.data(), &modeCount, result.modes.data(),
                                         flags == QDC_DATABASE_CURRENT ? &topology : nullptr);
        if (query == static_cast<LONG>(ERROR_ACCESS_DENIED)) {
            throw ConfigurationRefused{};
        }
        if (query == static_cast<LONG>(ERROR_INSUFFICIENT_BUFFER) && attempt < kQueryAttempts) {
            continue;
        }
        if (query != static_cast<LONG>(ERROR_SUCCESS)) {
            throw CaptureFailure("QueryDisplayConfig", static_cast<DWORD>(query));
        }
        result.paths.resize(pathCount);
        result.modes.resize(modeCount);
        return result;
    }
}

void ask(DISPLAYCONFIG_DEVICE_INFO_HEADER& request) {
    const LONG result = platform::displayConfigGetDeviceInfo(&request);
    if (result == static_cast<LONG>(ERROR_ACCESS_DENIED)) {
        throw ConfigurationRefused{};
    }
    if (result != static_cast<LONG>(ERROR_SUCCESS)) {
        throw CaptureFailure("DisplayConfigGetDeviceInfo", static_cast<DWORD>(result));
    }
}

std::u16string sourceName(const DISPLAYCONFIG_PATH_SOURCE_INFO& source) {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME name{};
    name.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    name.header.size = sizeof name;
    name.header.adapterId = source.adapterId;
    name.header.id = source.id;
    ask(name.header);
    return textOf(name.viewGdiDeviceName);
}

Target targetOf(const DISPLAYCONFIG_PATH_TARGET_INFO& target) {
    DISPLAYCONFIG_TARGET_DEVICE_NAME name{};
    name.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    name.header.size = sizeof name;
    name.header.adapterId = target.adapterId;
    name.header.id = target.id;
    ask(name.header);
    Target result{target.adapterId, target.id, {}, false, static_cast<UINT32>(target.outputTechnology)};
    result.monitor.edidProductCode = name.edidProductCodeId;
    result.monitor.friendlyName = textOf(name.monitorFriendlyDeviceName);
    result.monitor.devicePath = textOf(name.monitorDevicePath);
    result.monitor.edidValid = (name.flags.value & 0x4) != 0;  // edidIdsValid
    result.indirect = result.technology == DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED ||
                      result.technology == DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_VIRTUAL;
    return result;
}

// A USB display adapter: its hardware id names the USB bus ("USB\\VID_17E9&PID_FF13&MI_00"). Windows
// drives every such adapter as an indirect display, whatever output technology its driver reports.
bool onTheUsbBus(const std::u16string& hardwareId) {
    const std::u16string bus = u"USB\\";
    return hardwareId.size() >= bus.size() &&
           std::equal(bus.begin(), bus.end(), hardwareId.begin(), [](char16_t expected, char16_t given) {
               return expected == (given >= u'a' && given <= u'z' ? given - u'a' + u'A' : given);
           });
}

// Windows answers QDC_DATABASE_CURRENT without modes when its layout database has no entry for the
// screens.
bool hasDatabaseEntry(const Configuration& database) {
    return database.paths.empty() || !std::all_of(database.paths.begin(), database.paths.end(), [](const auto& path) {
               return path.sourceInfo.modeInfoIdx == DISPLAYCONFIG_PATH_MODE_IDX_INVALID &&
                      path.targetInfo.modeInfoIdx == DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
           });
}

// One active path: its display device (an index in the list), its source and its target.
struct PathSeen {
    std::size_t device;
    DISPLAYCONFIG_PATH_SOURCE_INFO source;
    Target target;
};

struct ConfigurationSeen {
    std::vector<PathSeen> paths;  // in the paths' order
    bool databaseEntry = true;
};

// Throws ConfigurationRefused as any of its calls does.
ConfigurationSeen readConfiguration(const std::vector<Device>& devices) {
    ConfigurationSeen seen;
    for (const DISPLAYCONFIG_PATH_INFO& path : queryConfiguration(QDC_ONLY_ACTIVE_PATHS).paths) {
        const std::u16string name = sourceName(path.sourceInfo);
        const auto device =
            std::find_if(devices.begin(), devices.end(), [&](const Device& each) { return each.name == name; });
        if (device == devices.end()) {
            throw std::runtime_error(
                "The display configuration names a display device that "
                "EnumDisplayDevicesW does not list");
        }
        seen.paths.push_back(
            PathSeen{static_cast<std::size_t>(device - devices.begin()), path.sourceInfo, targetOf(path.targetInfo)});
    }
    seen.databaseEntry = hasDatabaseEntry(queryConfiguration(QDC_DATABASE_CURRENT));
    return seen;
}

// Puts the devices into adapters: by their source's adapter, else with the devices of the same
// description and hardware id; adapters in the order of their first display device, adapters with
// targets alone after them.
simulation::SimulatedDesktop arrange(std::vector<Device>& devices, const std::vector<Target>& targets,
                                     const std::vector<std::pair<std::size_t, std::size_t>>& pathsOfDevice) {
    struct Group {
        std::optional<LUID> luid;
        std::vector<std::size_t> devices;  // in the list's order
        simulation::SimulatedAdapter adapter;
    };
    std::vector<Group> groups;
    const auto groupWithLuid = [&](LUID luid) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < groups.size(); ++i) {
            if (groups[i].luid && sameLuid(*groups[i].luid, luid)) {
                return i;
            }
        }
        return std::nullopt;
    };
    const auto addGroup = [&](std::optional<LUID> luid, const Device* device) {
        groups.push_back(Group{luid, {}, {}});
        if (device != nullptr) {
            groups.back().adapter.name = device->adapterName;
            groups.back().adapter.hardwareId = device->hardwareId;
        }
        return groups.size() - 1;
    };
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].adapter) {
            const std::optional<std::size_t> group = groupWithLuid(*devices[i].adapter);
            groups[group ? *group : addGroup(devices[i].adapter, &devices[i])].devices.push_back(i);
        }
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].adapter) {
            continue;
        }
        const auto alike = std::find_if(groups.begin(), groups.end(), [&](const Group& group) {
            return group.adapter.name == devices[i].adapterName && group.adapter.hardwareId == devices[i].hardwareId;
        });
        std::vector<std::size_t>& members =
            alike != groups.end() ? alike->devices : groups[addGroup(std::nullopt, &devices[i])].devices;
        members.insert(std::upper_bound(members.begin(), members.end(), i), i);
    }
    std::stable_sort(groups.begin(), groups.end(), [&](const Group& a, const Group& b) {
        return !a.devices.empty() && (b.devices.empty() || a.devices.front() < b.devices.front());
    });
    for (const Target& target : targets) {
        const std::optional<std::size_t> group = groupWithLuid(target.adapter);
        groups[group ? *group : addGroup(target.adapter, nullptr)].adapter.indirect |= target.indirect;
    }
    for (Group& group : groups) {
        group.adapter.indirect = group.adapter.indirect || onTheUsbBus(group.adapter.hardwareId);
    }
    // The output technology of an adapter's first target, where it is not the one the desktop file
    // gives such an adapter by default (the file knows one technology per adapter).
    std::vector<bool> technologySeen(groups.size(), false);
    for (const Target& target : targets) {
        const std::size_t group = *groupWithLuid(target.adapter);
        const UINT32 byDefault = groups[group].adapter.indirect ? DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED : 0;
        if (!technologySeen[group] && target.technology != byDefault) {
            groups[group].adapter.outputTechnology = target.technology;
        }
        technologySeen[group] = true;
    }

    bool listedByAdapter = true;
    std::size_t place = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        Group& group = groups[g];
        std::set<UINT32> takenSources;
        for (const std::size_t i : group.devices) {
            if (devices[i].sourceId) {
                takenSources.insert(*devices[i].sourceId);
            }
        }
        UINT32 countedTarget = 0;  // the default target ids count the adapter's monitors
        for (std::size_t index = 0; index < group.devices.size(); ++index, ++place) {
            Device& device = devices[group.devices[index]];
            listedByAdapter = listedByAdapter && group.devices[index] == place;
            // A display device without a display path takes its index as its source id, or, when a
            // display device with a path has that one, the lowest free one after it.
            UINT32 sourceId = static_cast<UINT32>(index);
            if (device.sourceId) {
                sourceId = *device.sourceId;
            } else {
                while (takenSources.count(sourceId) != 0) {
                    ++sourceId;
                }
                takenSources.insert(sourceId);
            }
            if (sourceId != index) {
                device.display.sourceId = sourceId;
            }
            for (const auto& [owner, targetIndex] : pathsOfDevice) {
                if (owner != group.devices[index]) {
                    continue;
                }
                const Target& target = targets[targetIndex];
                simulation::SimulatedMonitor monitor = target.monitor;
                const std::size_t targetGroup = *groupWithLuid(target.adapter);
                if (targetGroup != g) {
                    monitor.targetAdapter = targetGroup;
                }
                if (target.id != countedTarget) {
                    monitor.targetId = target.id;
                }
                ++countedTarget;
                device.display.monitors.push_back(monitor);
            }
        }
    }
    simulation::SimulatedDesktop desktop;
    for (Group& group : groups) {
        for (const std::size_t i : group.devices) {
            if (!listedByAdapter) {
                devices[i].display.deviceIndex = static_cast<DWORD>(i);
            }
            group.adapter.displays.push_back(devices[i].display);
        }
        desktop.adapters.push_back(group.adapter);
    }
    return desktop;
}

}  // namespace

CaptureFailure::CaptureFailure(const std::string& call, DWORD code)
    : std::runtime_error(call + " failed (error code " + hexCode(code) + ")"), code_(code) {}

simulation::DesktopFile captureDesktop() {
    std::vector<Device> devices = listDevices();
    for (Device& device : devices) {
        if (device.attached) {
            readSettings(device);
        }
    }
    simulation::DesktopFile file;
    file.desktop.monitorsInDeviceOrder = readMonitorNames(devices);

    ConfigurationSeen seen;
    try {
        seen = readConfiguration(devices);
    } catch (const ConfigurationRefused&) {
        file.remoteSession = true;  // nothing of the configuration, as for a session refused from the start
    }
    std::vector<Target> targets;
    std::vector<std::pair<std::size_t, std::size_t>> pathsOfDevice;  // (device, target), in path order
    for (const PathSeen& path : seen.paths) {
        devices[path.device].adapter = path.source.adapterId;
        devices[path.device].sourceId = path.source.id;
        pathsOfDevice.emplace_back(path.device, targets.size());
        targets.push_back(path.target);
    }
    const bool anyAttached =
        std::any_of(devices.begin(), devices.end(), [](const Device& each) { return each.attached; });
    file.desktop.displayPaths = file.remoteSession || !seen.paths.empty() || !anyAttached;
    file.desktop.databaseEntry = seen.databaseEntry;
    file.desktop.adapters = arrange(devices, targets, pathsOfDevice).adapters;
    return file;
}

}  // namespace orvi::tools
