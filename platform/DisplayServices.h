// The window system's display services: the tool's only source of knowledge about screens and its
// only means of changing them.
//
// Two implementations exist, chosen at link time: RealDisplayServices.cpp (user32, Windows only) and
// the simulated window system (SimulatedWindowSystem.h), which the tests and the host executable
// link. Each operation answers as its Win32 namesake does; the comment names that call.
#pragma once

#include "platform/Win32.h"

namespace orvi::platform {

// EnumDisplayDevicesW(nullptr, deviceIndex, device, 0): TRUE while the index names a display device.
BOOL enumDisplayDevices(DWORD deviceIndex, DISPLAY_DEVICEW* device);

// EnumDisplayMonitors(nullptr, nullptr, callback, data): calls back once per desktop monitor, on the
// calling thread, before it returns.
BOOL enumDisplayMonitors(MONITORENUMPROC callback, LPARAM data);

// GetMonitorInfoW(monitor, info): non-zero on success; info->cbSize must be set.
BOOL getMonitorInfo(HMONITOR monitor, MONITORINFOEXW* info);

// GetDisplayConfigBufferSizes: ERROR_SUCCESS and the entry counts, or an error code.
LONG getDisplayConfigBufferSizes(UINT32 flags, UINT32* pathCount, UINT32* modeCount);

// QueryDisplayConfig: ERROR_SUCCESS with the counts lowered to what was written, or an error code
// (ERROR_INSUFFICIENT_BUFFER when the configuration grew since the sizes were asked for).
LONG queryDisplayConfig(UINT32 flags, UINT32* pathCount, DISPLAYCONFIG_PATH_INFO* paths, UINT32* modeCount,
                        DISPLAYCONFIG_MODE_INFO* modes, DISPLAYCONFIG_TOPOLOGY_ID* topology);

// DisplayConfigGetDeviceInfo for a source-name or target-name request: ERROR_SUCCESS or an error code.
LONG displayConfigGetDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* request);

// EnumDisplaySettingsW(deviceName, modeNumber, mode): non-zero on success, zero with the thread's
// last error on failure.
BOOL enumDisplaySettings(const WCHAR* deviceName, DWORD modeNumber, DEVMODEW* mode);

// ChangeDisplaySettingsExW(deviceName, mode, nullptr, flags, nullptr): DISP_CHANGE_SUCCESSFUL or
// another DISP_CHANGE_* value. With CDS_NORESET the change is only recorded; the call with no
// device, no mode and flags 0 applies every recorded change at once.
LONG changeDisplaySettingsEx(const WCHAR* deviceName, DEVMODEW* mode, DWORD flags);

}  // namespace orvi::platform
