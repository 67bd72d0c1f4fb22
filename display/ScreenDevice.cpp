#include "display/ScreenDevice.h"

#include <utility>

namespace orvi {

struct ScreenDevice::Impl {
    Impl(const DISPLAY_DEVICEW& device, const MONITORINFOEXW& info, const TargetDeviceInfo& identity)
        : displayDevice(device),
          monitorInfo(info),
          deviceName(narrowBounded(monitorInfo.szDevice)),
          displayName(identity.friendlyName),
          devicePath(identity.devicePath),
          edidProductCode(identity.edidProductCode),
          edidIdsValid(identity.edidIdsValid),
          edidManufacturerId(identity.edidManufacturerId) {}

    DISPLAY_DEVICEW displayDevice;
    MONITORINFOEXW monitorInfo;
    std::string deviceName;
    std::string displayName;
    std::string devicePath;
    std::uint16_t edidProductCode;
    bool edidIdsValid;
    std::uint16_t edidManufacturerId;
};

ScreenDevice::ScreenDevice(DISPLAY_DEVICEW displayDevice, MONITORINFOEXW monitorInfo, const TargetDeviceInfo& identity)
    : impl_(std::make_shared<const Impl>(displayDevice, monitorInfo, identity)) {}

const std::string& ScreenDevice::deviceName() const { return impl_->deviceName; }
const std::string& ScreenDevice::displayName() const { return impl_->displayName; }
const std::string& ScreenDevice::devicePath() const { return impl_->devicePath; }
std::uint16_t ScreenDevice::edidProductCode() const { return impl_->edidProductCode; }
bool ScreenDevice::edidIdsValid() const { return impl_->edidIdsValid; }
std::uint16_t ScreenDevice::edidManufacturerId() const { return impl_->edidManufacturerId; }
const MONITORINFOEXW& ScreenDevice::monitorInfo() const { return impl_->monitorInfo; }
const DISPLAY_DEVICEW& ScreenDevice::displayDevice() const { return impl_->displayDevice; }

std::string ScreenDevice::identity() const {
    return narrowBounded(impl_->displayDevice.DeviceID) + "|" + impl_->deviceName + "|" + impl_->devicePath;
}

bool ScreenDevice::matchesUsbId(std::ostream& log, UsbId wanted) const {
    const UsbId found = parseUsbId(narrowBounded(impl_->displayDevice.DeviceID));
    log << "Current device USB ID: " << formatUsbId(found) << ", Comparing with Varel: " << formatUsbId(wanted) << "\n";
    return found.vendorId == wanted.vendorId && found.productId == wanted.productId;
}

bool ScreenDevice::matchesEdidProductCode(std::ostream& log, std::uint16_t wanted) const {
    // Fixed text, as people and tools read it: the wanted code first, then the screen's own.
    log << "pellun edid: " << wanted << ", Comparing with: " << impl_->edidProductCode << "\n";
    return impl_->edidProductCode == wanted;
}

}  // namespace orvi
