// The current display configuration, and the monitor identity of each of its paths.
#pragma once

#include "display/TargetDeviceInfo.h"
#include "platform/Win32.h"

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

// The identity of the monitor at the end of one display path, with the GDI device name of its
// source, both asked for with the path's own source and target adapter and id: a path carries them
// whether or not the configuration has modes (Windows gives none for a set of screens that its layout
// database has no entry for yet). Logged as "Getting target device info..." and, when the monitor's
// name could be read, "Retrieved target device information:" and its product code, friendly name and
// device path. The product code is 0 unless the target name vouches for it (edidIdsValid). A failed
// target-name query gives the empty identity. Throws util::WinException "Failed to read Display device
// source info" when the source name cannot be read. Either query answering ERROR_ACCESS_DENIED throws
// DisplayConfigRefused ("Failed to read Display device target info" for the target name).
TargetDeviceInfo getTargetDeviceInfo(std::ostream& log, const DISPLAYCONFIG_PATH_INFO& path);

}  // namespace orvi
