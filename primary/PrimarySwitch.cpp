#include "primary/PrimarySwitch.h"

#include "display/Narrow.h"
#include "platform/DisplayServices.h"
#include "primary/ShownPrimary.h"
#include "util/WinException.h"

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace orvi {
namespace {

// Every change is only recorded (CDS_NORESET) and stored as the screen's persistent setting.
constexpr DWORD kPrimaryScreenFlags = CDS_UPDATEREGISTRY | CDS_GLOBAL | CDS_SET_PRIMARY | CDS_NORESET;
constexpr DWORD kOtherScreenFlags = CDS_UPDATEREGISTRY | CDS_GLOBAL | CDS_NORESET;
static_assert(kPrimaryScreenFlags == 0x10000019 && kOtherScreenFlags == 0x10000009);

// One screen of the row: the name that the display-settings calls know it by, and its mode as it was
// before anything was recorded.
struct RowScreen {
    WideString deviceName;
    DEVMODEW mode;
    bool wasPrimary;
};

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

// The monitor's device name, null-terminated even when a driver filled szDevice without a null, so
// that the display-settings calls never read past the array.
WideString deviceNameOf(const MONITORINFOEXW& monitorInfo) { return WideString(boundedText(monitorInfo.szDevice)); }

RowScreen readScreen(const ScreenDevice& screen, const char* failureContext) {
    const MONITORINFOEXW& info = screen.monitorInfo();
    WideString deviceName = deviceNameOf(info);
    const DEVMODEW mode = currentMode(deviceName.c_str(), failureContext);
    return RowScreen{std::move(deviceName), mode, (info.dwFlags & MONITORINFOF_PRIMARY) != 0};
}

// The Kiv screens, then the other screens, each with its current mode. Throws as setPrimaryDevice
// does, before anything is recorded.
std::vector<RowScreen> readRow(const std::vector<ScreenDevice>& kivScreens,
                               const std::vector<ScreenDevice>& otherScreens) {
    std::vector<RowScreen> row;
    row.push_back(readScreen(kivScreens.front(), "Failed to get Orvi Kiv Screen settings"));
    for (auto kiv = kivScreens.begin() + 1; kiv != kivScreens.end(); ++kiv) {
        row.push_back(readScreen(*kiv, "Failed to get Screen settings"));
    }
    for (const ScreenDevice& other : otherScreens) {
        row.push_back(readScreen(other, "Failed to get Screen settings"));
    }
    return row;
}

// Any result but DISP_CHANGE_SUCCESSFUL fails, DISP_CHANGE_RESTART included: the layout would not
// be in place until Windows restarts.
void requireSuccess(LONG result, const char* failureText) {
    if (result != DISP_CHANGE_SUCCESSFUL) {
        throw std::runtime_error(failureText + std::to_string(result));
    }
}

// Where the screen after one of `width` pixels at `offset` begins. Widths that no real screen has
// wrap around in 32 bits instead of overflowing.
LONG offsetAfter(LONG offset, DWORD width) { return static_cast<LONG>(static_cast<DWORD>(offset) + width); }

// Records, without applying it, the row's screen at `index` at (x, 0); the first one as primary.
void recordScreen(const std::vector<RowScreen>& row, std::size_t index, LONG x) {
    DEVMODEW mode = row[index].mode;
    mode.dmPosition.x = x;
    mode.dmPosition.y = 0;
    if (index == 0) {
        requireSuccess(platform::changeDisplaySettingsEx(row[index].deviceName.c_str(), &mode, kPrimaryScreenFlags),
                       "Failed to set Orvi Kiv as primary Screen. Err(ChangeDisplaySettingsEx): ");
    } else {
        requireSuccess(platform::changeDisplaySettingsEx(row[index].deviceName.c_str(), &mode, kOtherScreenFlags),
                       "Failed to update Screen position. Err(ChangeDisplaySettingsEx): ");
    }
}

// Records a screen back with the mode it had before, as primary again when it was the primary.
// Best effort: the result is not looked at, so that the failure that led here is the one reported.
void recordBack(const WideString& deviceName, DEVMODEW mode, bool asPrimary) {
    static_cast<void>(platform::changeDisplaySettingsEx(deviceName.c_str(), &mode,
                                                        asPrimary ? kPrimaryScreenFlags : kOtherScreenFlags));
}

// Puts the stored settings back as they were after the first `recorded` screens of the row were
// recorded: those screens with their old modes, and the former primary as primary again once the
// Kiv was recorded as primary (that is, once anything was recorded). The former primary is
// `shownPrimary`, the screen that Windows still shows as primary, when it is known, and otherwise the
// row's screen that was primary. A shown primary outside the row (a screen the enumeration missed)
// is recorded as primary with its current mode, when that can be read. Applies nothing.
void putBack(const std::vector<RowScreen>& row, std::size_t recorded, const WideString& shownPrimary = {}) {
    if (recorded == 0) {
        return;
    }
    std::optional<std::size_t> formerPrimary;
    for (std::size_t index = 0; index < row.size() && !formerPrimary; ++index) {
        if (shownPrimary.empty() ? row[index].wasPrimary : row[index].deviceName == shownPrimary) {
            formerPrimary = index;
        }
    }
    for (std::size_t index = 0; index < recorded; ++index) {
        recordBack(row[index].deviceName, row[index].mode, index == formerPrimary);
    }
    if (formerPrimary && *formerPrimary >= recorded) {
        recordBack(row[*formerPrimary].deviceName, row[*formerPrimary].mode, true);
    }
    DEVMODEW mode{};
    mode.dmSize = static_cast<WORD>(sizeof(DEVMODEW));
    if (!formerPrimary && !shownPrimary.empty() &&
        platform::enumDisplaySettings(shownPrimary.c_str(), ENUM_CURRENT_SETTINGS, &mode)) {
        recordBack(shownPrimary, mode, true);
    }
}

}  // namespace

void setPrimaryDevice(std::ostream& log, const std::vector<ScreenDevice>& kivScreens,
                      const std::vector<ScreenDevice>& otherScreens) {
    if (kivScreens.empty()) {
        return;
    }
    const std::vector<RowScreen> row = readRow(kivScreens, otherScreens);

    std::size_t recorded = 0;
    try {
        LONG offset = 0;
        for (; recorded < row.size(); ++recorded) {
            recordScreen(row, recorded, offset);
            offset = offsetAfter(offset, row[recorded].mode.dmPelsWidth);
        }
        requireSuccess(platform::changeDisplaySettingsEx(nullptr, nullptr, 0),
                       "Failed apply settings with Orvi Kiv as primary screen. Err(ChangeDisplaySettingsEx): ");
    } catch (...) {
        // Recorded with CDS_UPDATEREGISTRY, the changes are stored already: any later apply, by
        // Windows or by another tool, would make a half-changed layout real.
        putBack(row, recorded);
        throw;
    }
    // Windows may answer the apply with success and still keep another primary (a USB display
    // adapter whose driver cannot drive the primary screen; Wine ignores CDS_SET_PRIMARY altogether).
    // A layout that Windows would not show must not wait in the store for the next sign-in.
    const WideString shownPrimary = shownPrimaryAfterApply(row.front().deviceName);
    if (shownPrimary != row.front().deviceName) {
        putBack(row, row.size(), shownPrimary);
        throw std::runtime_error(
            "Failed apply settings with Orvi Kiv as primary screen: Windows kept another screen as primary");
    }
    log << "setPrimaryDevice completed result: " << DISP_CHANGE_SUCCESSFUL << std::endl;
}

}  // namespace orvi
