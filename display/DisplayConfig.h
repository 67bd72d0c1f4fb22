// The current display configuration, and the monitor identity of each of its paths.
#pragma once

#include "display/TargetDeviceInfo.h"
#include "platform/Win32.h"

#include <optional>
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
// ERROR_ACCESS_DENIED as DisplayConfigRefused (display/DisplayConfigRefused.h). Sizes of 0 paths
// (a remote or headless session) are never followed by a query: they throw DisplayConfigRefused with
// ERROR_INVALID_PARAMETER and "Failed to obtain current displays config", what that query answers.
DisplayConfig getCurrentDisplayConfig();

// The configuration that is shown now (QDC_ONLY_ACTIVE_PATHS): every active path with its source and
// target modes, in the plain layout of the mode indexes. Asked for, and failing, as
// getCurrentDisplayConfig.
DisplayConfig getActiveDisplayConfig();

// The same with `modifiers` (QDC_VIRTUAL_MODE_AWARE, QDC_VIRTUAL_REFRESH_RATE_AWARE) in the layout
// that they ask for; none when Windows refuses them with ERROR_INVALID_PARAMETER, as a Windows that
// does not know them does. Fails otherwise as getCurrentDisplayConfig.
std::optional<DisplayConfig> getActiveDisplayConfigIfTaken(UINT32 modifiers);

// The GDI device name of the path's source ("\\.\DISPLAY1"), asked for with its source adapter and
// id. Throws util::WinException "Failed to read Display device source info" with the call's result,
// DisplayConfigRefused for ERROR_ACCESS_DENIED.
WideString getSourceName(const DISPLAYCONFIG_PATH_INFO& path);

// The identity of the monitor at the end of one display path, with the GDI device name of its
// source, both asked for with the path's own source and target adapter and id: a path carries them
// whether or not the configuration has modes (Windows gives none for a set of screens that its layout
// database has no entry for yet). Logged as "Getting target device info..." and, when the monitor's
// name could be read, "Retrieved target device information:" and its product code, friendly name and
// device path. The product code and the manufacturer id are 0 unless the target name vouches for them
// (edidIdsValid). A failed target-name query gives the empty identity. Throws util::WinException "Failed to read Display device
// source info" when the source name cannot be read. Either query answering ERROR_ACCESS_DENIED throws
// DisplayConfigRefused ("Failed to read Display device target info" for the target name).
TargetDeviceInfo getTargetDeviceInfo(std::ostream& log, const DISPLAYCONFIG_PATH_INFO& path);

}  // namespace orvi
