// The display configuration that the session may not read now.
#pragma once

#include "util/WinException.h"

namespace orvi {

// Thrown in place of util::WinException, with the same text, when a display-configuration query
// (GetDisplayConfigBufferSizes, QueryDisplayConfig, DisplayConfigGetDeviceInfo), or the SetDisplayConfig
// that makes the row (primary/DisplayConfigSwitch.h), answers ERROR_ACCESS_DENIED. Windows answers so
// while the session has no access to the console: a locked workstation or the secure desktop of a
// consent prompt, a Remote Desktop session, a user switched away. A later look may succeed.
class DisplayConfigRefused : public util::WinException {
public:
    using util::WinException::WinException;
};

}  // namespace orvi
