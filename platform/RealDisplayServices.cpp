// The display services of the real window system: user32, unchanged.
#include "platform/DisplayServices.h"

namespace orvi::platform {

BOOL enumDisplayDevices(DWORD deviceIndex, DISPLAY_DEVICEW* device) {
    return EnumDisplayDevicesW(nullptr, deviceIndex, device, 0);
}

BOOL enumDisplayMonitors(MONITORENUMPROC callback, LPARAM data) {
    return EnumDisplayMonitors(nullptr, nullptr, callback, data);
}

BOOL getMonitorInfo(HMONITOR monitor, MONITORINFOEXW* info) { return GetMonitorInfoW(monitor, info); }

LONG getDisplayConfigBufferSizes(UINT32 flags, UINT32* pathCount, UINT32* modeCount) {
    return GetDisplayConfigBufferSizes(flags, pathCount, modeCount);
}

LONG queryDisplayConfig(UINT32 flags, UINT32* pathCount, DISPLAYCONFIG_PATH_INFO* paths, UINT32* modeCount,
                        DISPLAYCONFIG_MODE_INFO* modes, DISPLAYCONFIG_TOPOLOGY_ID* topology) {
    return QueryDisplayConfig(flags, pathCount, paths, modeCount, modes, topology);
}

LONG displayConfigGetDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* request) {
    return DisplayConfigGetDeviceInfo(request);
}

BOOL enumDisplaySettings(const WCHAR* deviceName, DWORD modeNumber, DEVMODEW* mode) {
    return EnumDisplaySettingsW(deviceName, modeNumber, mode);
}

LONG changeDisplaySettingsEx(const WCHAR* deviceName, DEVMODEW* mode, DWORD flags) {
    return ChangeDisplaySettingsExW(deviceName, mode, nullptr, flags, nullptr);
}

}  // namespace orvi::platform
