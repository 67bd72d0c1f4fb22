// The screens attached to the desktop, each with its monitor identity.
#pragma once

#include "display/ScreenDevice.h"
#include "display/TargetDeviceInfo.h"
#include "platform/Win32.h"

#include <ostream>
#include <vector>

namespace orvi {

// What the monitor callback works with; the lists belong to the enumeration.
struct MonitorSearchContext {
    const std::vector<DISPLAY_DEVICEW>* displayDevices;  // the display devices attached to the desktop
    std::vector<ScreenDevice>* screens;                  // appended to
    const std::vector<TargetDeviceInfo>* targets;        // the identities of all display paths
};

// The EnumDisplayMonitors callback; data is the address of a MonitorSearchContext. Appends a screen
// for the monitor when an attached display device has its device name, with the first identity of
// that source name or else the empty identity; skips the monitor silently otherwise. Always TRUE.
BOOL CALLBACK monitorCallback(HMONITOR monitor, HDC dc, LPRECT clip, LPARAM data);

// The screens attached to the desktop, in the order of monitor enumeration. First logs the identity
// of every display path (getTargetDeviceInfo). Throws util::WinException, before any display device
// or monitor is enumerated, when the configuration or a path's source name cannot be read.
std::vector<ScreenDevice> enumerateScreens(std::ostream& log);

}  // namespace orvi
