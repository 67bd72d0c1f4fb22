// One screen attached to the desktop: its display device entry, its monitor information and its
// monitor identity, held in one immutable record that handles share.
#pragma once

#include "display/TargetDeviceInfo.h"
#include "display/UsbId.h"
#include "platform/Win32.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

namespace orvi {

class ScreenDevice {
public:
    // Copies both Windows structures whole and keeps the identity's friendly name, device path and
    // EDID ids (not the identity itself). The device name is monitorInfo.szDevice up to its null,
    // narrowed. One allocation.
    ScreenDevice(DISPLAY_DEVICEW displayDevice, MONITORINFOEXW monitorInfo, const TargetDeviceInfo& identity);

    // Copies share the record; a moved-from handle is empty and may only be destroyed or assigned to.
    // Every accessor returns a reference into the shared record.
    const std::string& deviceName() const;
    const std::string& displayName() const;  // empty for the empty identity
    const std::string& devicePath() const;   // empty for the empty identity
    std::uint16_t edidProductCode() const;   // 0 for the empty identity
    // Whether Windows vouched for the EDID ids; false for the empty identity.
    bool edidIdsValid() const;
    // As Windows gives it (TargetDeviceInfo); 0 when Windows gave none.
    std::uint16_t edidManufacturerId() const;
    const MONITORINFOEXW& monitorInfo() const;
    const DISPLAY_DEVICEW& displayDevice() const;
    // What tells this screen from any other across looks, wherever it stands: its adapter's hardware
    // id, its device name and its monitor's device path, joined by "|".
    std::string identity() const;

    // True when the display device's hardware id carries exactly `wanted`. Writes the comparison line
    // "Current device USB ID: ..., Comparing with Varel: ..." ended without a flush.
    bool matchesUsbId(std::ostream& log, UsbId wanted) const;

    // True when the monitor's EDID product code is `wanted`. Writes the comparison line
    // "pellun edid: <wanted>, Comparing with: <code>" ended without a flush.
    bool matchesEdidProductCode(std::ostream& log, std::uint16_t wanted) const;

private:
    struct Impl;
    std::shared_ptr<const Impl> impl_;
};

}  // namespace orvi
