#include "display/ScreenEnumeration.h"

#include "display/DisplayConfig.h"
#include "display/Narrow.h"
#include "display/TargetDeviceInfo.h"
#include "platform/DisplayServices.h"

#include <algorithm>

namespace orvi {
namespace {

const TargetDeviceInfo& emptyIdentity() {
    static const TargetDeviceInfo empty;
    return empty;
}

std::vector<TargetDeviceInfo> readIdentities(std::ostream& log) {
    std::vector<TargetDeviceInfo> identities;
    const DisplayConfig config = getCurrentDisplayConfig();
    identities.reserve(config.paths.size());
    for (const DISPLAYCONFIG_PATH_INFO& path : config.paths) {
        identities.push_back(getTargetDeviceInfo(log, path));
    }
    return identities;
}

std::vector<DISPLAY_DEVICEW> attachedDisplayDevices() {
    std::vector<DISPLAY_DEVICEW> devices;
    devices.reserve(4);
    DISPLAY_DEVICEW device{};
    device.cb = sizeof(device);
    for (DWORD index = 0; platform::enumDisplayDevices(index, &device); ++index) {
        if ((device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) != 0) {
            devices.push_back(device);
        }
    }
    return devices;
}

// What the monitor callback works with; the lists belong to the enumeration.
struct MonitorSearchContext {
    const std::vector<DISPLAY_DEVICEW>* displayDevices;  // the display devices attached to the desktop
    std::vector<ScreenDevice>* screens;                  // appended to
    const std::vector<TargetDeviceInfo>* targets;        // the identities of all display paths
};

// The EnumDisplayMonitors callback; data is the address of a MonitorSearchContext. Appends a screen
// for the monitor when an attached display device has its device name, with the first identity of
// that source name or else the empty identity; skips the monitor silently otherwise. Always TRUE.
BOOL CALLBACK monitorCallback(HMONITOR monitor, HDC /*dc*/, LPRECT /*clip*/, LPARAM data) {
    const auto& context = *reinterpret_cast<const MonitorSearchContext*>(data);
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    if (!platform::getMonitorInfo(monitor, &info)) {
        return TRUE;
    }
    const WideStringView deviceName = boundedText(info.szDevice);

    const std::vector<DISPLAY_DEVICEW>& devices = *context.displayDevices;
    const auto device = std::find_if(devices.begin(), devices.end(), [&](const DISPLAY_DEVICEW& candidate) {
        return boundedText(candidate.DeviceName) == deviceName;
    });
    if (device == devices.end()) {
        return TRUE;
    }

    const std::vector<TargetDeviceInfo>& targets = *context.targets;
    const auto identity = std::find_if(targets.begin(), targets.end(), [&](const TargetDeviceInfo& candidate) {
        return candidate.gdiDeviceName == deviceName;
    });
    context.screens->push_back(ScreenDevice(*device, info, identity != targets.end() ? *identity : emptyIdentity()));
    return TRUE;
}

}  // namespace

std::vector<ScreenDevice> enumerateScreens(std::ostream& log) {
    std::vector<TargetDeviceInfo> identities = readIdentities(log);
    std::vector<DISPLAY_DEVICEW> devices = attachedDisplayDevices();

    std::vector<ScreenDevice> screens;
    screens.reserve(devices.size());
    MonitorSearchContext context{&devices, &screens, &identities};
    platform::enumDisplayMonitors(monitorCallback, reinterpret_cast<LPARAM>(&context));
    return screens;
}

}  // namespace orvi
