// The display services answered by the process's simulated window system.
#include "platform/DisplayServices.h"
#include "platform/SimulatedWindowSystem.h"

namespace orvi::platform {

BOOL enumDisplayDevices(DWORD deviceIndex, DISPLAY_DEVICEW* device) {
    return simulatedWindowSystem().enumDisplayDevices(deviceIndex, device);
}

BOOL enumDisplayMonitors(MONITORENUMPROC callback, LPARAM data) {
    return simulatedWindowSystem().enumDisplayMonitors(callback, data);
}

BOOL getMonitorInfo(HMONITOR monitor, MONITORINFOEXW* info) {
    return simulatedWindowSystem().getMonitorInfo(monitor, info);
}

LONG getDisplayConfigBufferSizes(UINT32 flags, UINT32* pathCount, UINT32* modeCount) {
    return simulatedWindowSystem().getDisplayConfigBufferSizes(flags, pathCount, modeCount);
}

LONG queryDisplayConfig(UINT32 flags, UINT32* pathCount, DISPLAYCONFIG_PATH_INFO* paths, UINT32* modeCount,
                        DISPLAYCONFIG_MODE_INFO* modes, DISPLAYCONFIG_TOPOLOGY_ID* topology) {
    return simulatedWindowSystem().queryDisplayConfig(flags, pathCount, paths, modeCount, modes, topology);
}

LONG displayConfigGetDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* request) {
    return simulatedWindowSystem().displayConfigGetDeviceInfo(request);
}

BOOL enumDisplaySettings(const WCHAR* deviceName, DWORD modeNumber, DEVMODEW* mode) {
    return simulatedWindowSystem().enumDisplaySettings(deviceName, modeNumber, mode);
}

LONG changeDisplaySettingsEx(const WCHAR* deviceName, DEVMODEW* mode, DWORD flags) {
    return simulatedWindowSystem().changeDisplaySettingsEx(deviceName, mode, flags);
}

}  // namespace orvi::platform
