// The desktop file of the PC that a program runs on, read through the display services
// (platform/DisplayServices.h) and nothing else, changing nothing.
#pragma once

#include "desktopfile/DesktopFile.h"
#include "platform/Win32.h"

#include <stdexcept>
#include <string>

namespace orvi::tools {

// A display call that failed: its Windows name and the error code it gave (its result, or the
// thread's last error for a BOOL call).
class CaptureFailure : public std::runtime_error {
public:
    CaptureFailure(const std::string& call, DWORD code);
    DWORD code() const { return code_; }

private:
    DWORD code_;
};

// Every fact of the desktop file's format that the display calls show: the adapters (by the display
// configuration's adapter of each display device's source; a display device without a display path
// goes to an adapter of the same description and hardware id), the display devices in the list's
// order (with deviceIndex on each when that order is not adapter by adapter), their current settings
// (an attached one's, its refresh rate where the mode names one; a detached one keeps the defaults),
// their monitors from the display paths in the paths' order, monitorInfoDeviceName where
// GetMonitorInfoW names another device, monitorInfoPrimary where it calls the monitor of a display
// device that is not the primary primary, edidValid, indirect (an adapter with a target that reports
// an indirect output technology, or whose hardware id names the USB bus), outputTechnology (an
// adapter's first target's, where not the default of such an adapter), databaseEntry,
// monitorsInDeviceOrder (EnumDisplayMonitors lists the primary after another monitor), and sourceId,
// targetId and targetAdapter wherever the ids are not the ones counted by default. A session refused
// the display configuration (ERROR_ACCESS_DENIED from any of its calls, also part-way) gives
// remoteSession and no monitors; a configuration without paths gives displayPaths false. Plug-ins,
// failures, session locks, the rest of a day, a dynamic refresh rate (read as 60 Hz), whether Windows
// knows the virtual-mode-aware flags, and the answers to a change (declinesPrimary,
// legacyIndirectPrimary) are never written: no display call that changes nothing shows them.
// Throws CaptureFailure for a display call that fails, std::runtime_error when the display
// configuration names a display device that EnumDisplayDevicesW does not list.
simulation::DesktopFile captureDesktop();

}  // namespace orvi::tools
