// The current display configuration, and the monitor identity of each of its paths.
#pragma once

#include "display/TargetDeviceInfo.h"
#include "platform/Win32.h"

#include <functional>
#include <ostream>
#include <vector>

namespace orvi {

struct DisplayConfig {
    std::vector<DISPLAYCONFIG_PATH_INFO> paths;
    std::vector<DISPLAYCONFIG_MODE_INFO> modes;
};

// The current configuration (QDC_DATABASE_CURRENT), exactly as many entries as the window system
// wrote. When it grows between the sizes query and the query (a screen being plugged in) the sizes
// are asked for again, a bounded number of times. Throws util::WinException with the call's result:
// "Failed to obtain detail for current displays config" (sizes) or "Failed to obtain current
// displays config" (query, also when it still grew on the last attempt); a result of
// ERROR_ACCESS_DENIED as DisplayConfigRefused (display/DisplayConfigRefused.h).
DisplayConfig getCurrentDisplayConfig();

using PathModesHandler =
    std::function<void(const DISPLAYCONFIG_MODE_INFO& sourceMode, const DISPLAYCONFIG_MODE_INFO& targetMode)>;

// Calls the handler, path by path, with the path's source mode and target mode: the last mode of the
// source kind with the path's source adapter and id, and likewise for the target. A path without
// either is skipped. Lets the handler's exceptions through.
void forEachPathModes(const std::vector<DISPLAYCONFIG_PATH_INFO>& paths,
                      const std::vector<DISPLAYCONFIG_MODE_INFO>& modes, PathModesHandler handler);

// The identity of the monitor that the target mode belongs to, with the source mode's GDI device
// name, logged as "Getting target device info..." and, when the monitor's name could be read,
// "Retrieved target device information:" and its product code, friendly name and device path. A
// failed target-name query gives the empty identity. Throws util::WinException "Failed to read
// Display device source info" when the source name cannot be read. Either query answering
// ERROR_ACCESS_DENIED throws DisplayConfigRefused ("Failed to read Display device target info" for
// the target name).
TargetDeviceInfo getTargetDeviceInfo(std::ostream& log, const DISPLAYCONFIG_MODE_INFO& sourceMode,
                                     const DISPLAYCONFIG_MODE_INFO& targetMode);

}  // namespace orvi
