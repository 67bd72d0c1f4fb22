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
    // Whether Windows vouched for the EDID ids (edidIdsValid); without it both ids are 0.
    bool edidIdsValid = false;
    // The EDID's manufacturer id as Windows gives it: the EDID's two bytes read little-endian, so the
    // three letters' big-endian word with its bytes swapped.
    std::uint16_t edidManufacturerId = 0;
};

}  // namespace orvi
