// What the listening window registers for with RegisterDeviceNotificationW: the arrival of monitors.
// Declared apart so that the registration itself can be checked: Wine announces no monitor's
// arrival, and a DBT_DEVICEARRIVAL sent straight to the window would reach it registered or not.
#pragma once

#include "platform/Win32.h"

#include <dbt.h>

namespace orvi::platform {

// Device interfaces of the monitor class (GUID_DEVINTERFACE_MONITOR), size and type set.
DEV_BROADCAST_DEVICEINTERFACE_W monitorArrivalFilter();

}  // namespace orvi::platform
