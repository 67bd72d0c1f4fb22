// The monitor identity of one display path.
#pragma once

#include "display/Narrow.h"

#include <cstdint>
#include <string>

namespace orvi {

// A default-constructed record is the empty identity: what a failed identity query gives, and what a
// monitor without a display path gets.
struct TargetDeviceInfo {
    WideString gdiDeviceName;  // the path's source name: a monitor's szDevice, a display device's DeviceName
    std::string friendlyName;  // narrowed
    std::string devicePath;    // narrowed
    std::uint16_t edidProductCode = 0;
};

}  // namespace orvi
