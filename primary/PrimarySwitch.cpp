#include "primary/PrimarySwitch.h"

#include "display/Narrow.h"
#include "platform/DisplayServices.h"
#include "util/WinException.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace orvi {
namespace {

// Every change is only recorded (CDS_NORESET) and stored as the screen's persistent setting.
constexpr DWORD kPrimaryScreenFlags = CDS_UPDATEREGISTRY | CDS_GLOBAL | CDS_SET_PRIMARY | CDS_NORESET;
constexpr DWORD kOtherScreenFlags = CDS_UPDATEREGISTRY | CDS_GLOBAL | CDS_NORESET;
static_assert(kPrimaryScreenFlags == 0x10000019 && kOtherScreenFlags == 0x10000009);

// The current mode of a screen; throws WinException with `failureContext` when it cannot be read.
DEVMODEW currentMode(const WCHAR* deviceName, const char* failureContext) {
    DEVMODEW mode{};
    mode.dmSize = static_cast<WORD>(sizeof(DEVMODEW));
    mode.dmDriverExtra = 0;
    if (!platform::enumDisplaySettings(deviceName, ENUM_CURRENT_SETTINGS, &mode)) {
        const DWORD error = GetLastError();  // first, before anything can change it
        throw util::WinException(error, failureContext);
    }
    return mode;
}

// Any result but DISP_CHANGE_SUCCESSFUL fails, DISP_CHANGE_RESTART included: the layout would not
// be in place until Windows restarts.
void requireSuccess(LONG result, const char* failureText) {
    if (result != DISP_CHANGE_SUCCESSFUL) {
        throw std::runtime_error(failureText + std::to_string(result));
    }
}

// The monitor's device name, null-terminated even when a driver filled szDevice without a null, so
// that the display-settings calls never read past the array.
WideString deviceNameOf(const MONITORINFOEXW& monitorInfo) { return WideString(boundedText(monitorInfo.szDevice)); }

// Where the screen after one of `width` pixels at `offset` begins. Widths that no real screen has
// wrap around in 32 bits instead of overflowing.
LONG offsetAfter(LONG offset, DWORD width) { return static_cast<LONG>(static_cast<DWORD>(offset) + width); }

// Records, without applying it, the screen named by monitorInfo.szDevice at (offset, 0) with its
// current mode, and advances offset by the screen's width. Throws as setPrimaryDevice does.
void placeScreen(const MONITORINFOEXW& monitorInfo, LONG& offset) {
    const WideString deviceName = deviceNameOf(monitorInfo);
    DEVMODEW mode = currentMode(deviceName.c_str(), "Failed to get Screen settings");
    const LONG x = offset;
    offset = offsetAfter(offset, mode.dmPelsWidth);
    mode.dmPosition.x = x;
    mode.dmPosition.y = 0;
    requireSuccess(platform::changeDisplaySettingsEx(deviceName.c_str(), &mode, kOtherScreenFlags),
                   "Failed to update Screen position. Err(ChangeDisplaySettingsEx): ");
}

}  // namespace

void setPrimaryDevice(std::ostream& log, const std::vector<ScreenDevice>& kivScreens,
                      const std::vector<ScreenDevice>& otherScreens) {
    if (kivScreens.empty()) {
        return;
    }
    const WideString primary = deviceNameOf(kivScreens.front().monitorInfo());
    DEVMODEW mode = currentMode(primary.c_str(), "Failed to get Orvi Kiv Screen settings");
    LONG offset = static_cast<LONG>(mode.dmPelsWidth);
    mode.dmPosition.x = 0;
    mode.dmPosition.y = 0;
    requireSuccess(platform::changeDisplaySettingsEx(primary.c_str(), &mode, kPrimaryScreenFlags),
                   "Failed to set Orvi Kiv as primary Screen. Err(ChangeDisplaySettingsEx): ");

    for (auto kiv = kivScreens.begin() + 1; kiv != kivScreens.end(); ++kiv) {
        placeScreen(kiv->monitorInfo(), offset);
    }
    for (const ScreenDevice& other : otherScreens) {
        placeScreen(other.monitorInfo(), offset);
    }

    requireSuccess(platform::changeDisplaySettingsEx(nullptr, nullptr, 0),
                   "Failed apply settings with Orvi Kiv as primary screen. Err(ChangeDisplaySettingsEx): ");
    log << "setPrimaryDevice completed result: " << DISP_CHANGE_SUCCESSFUL << std::endl;
}

}  // namespace orvi
