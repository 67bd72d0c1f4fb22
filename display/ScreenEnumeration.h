// The screens attached to the desktop, each with its monitor identity.
#pragma once

#include "display/ScreenDevice.h"

#include <ostream>
#include <vector>

namespace orvi {

// The screens attached to the desktop, in the order of monitor enumeration. First logs the identity
// of every display path (getTargetDeviceInfo). Throws util::WinException, before any display device
// or monitor is enumerated, when the configuration or a path's source name cannot be read, and
// DisplayConfigRefused when the session may not read them now (display/DisplayConfigRefused.h).
std::vector<ScreenDevice> enumerateScreens(std::ostream& log);

}  // namespace orvi
