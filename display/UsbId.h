// The ids by which the two Kiv variants are recognised.
#pragma once

#include <cstdint>
#include <string>

namespace orvi {

struct UsbId {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// The Varel's USB display adapter: its hardware id carries VID_17E9&PID_FF13.
inline constexpr UsbId kVarelUsbId{0x17E9, 0xFF13};

// The Pellun's monitor: its EDID carries this product code.
inline constexpr std::uint16_t kPellunEdidProductCode = 4233;

// Reads the four hexadecimal digits after "VID_" as the vendor id and the four at 9 characters
// after them as the product id, in any letter case; a "VEN_" marker (PCI: vendor and device id) is
// read the same way and wins. Only the first occurrence of each marker counts, and a group that is
// not four hexadecimal digits leaves its id 0. A text without a usable marker gives {0, 0}.
UsbId parseUsbId(std::string text);

// "VID_XXXX&PID_YYYY", four upper-case hexadecimal digits each.
std::string formatUsbId(UsbId id);

}  // namespace orvi
