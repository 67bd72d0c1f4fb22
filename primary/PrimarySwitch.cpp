#include "primary/PrimarySwitch.h"

#include "display/DisplayConfigRefused.h"
#include "display/Narrow.h"
#include "platform/DisplayServices.h"
#include "primary/DisplayConfigSwitch.h"
#include "primary/PutBackCall.h"
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

// One screen of the row: the name that the display-settings calls know it by, and its place and width
// as they were before anything was recorded.
struct RowScreen {
    WideString deviceName;
    POINTL position;
    DWORD width;
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
    return RowScreen{std::move(deviceName), mode.dmPosition, mode.dmPelsWidth,
                     (info.dwFlags & MONITORINFOF_PRIMARY) != 0};
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

// Where the screen after one of `width` pixels at `offset` begins. Widths that no real screen has
// wrap around in 32 bits instead of overflowing.
LONG offsetAfter(LONG offset, DWORD width) { return static_cast<LONG>(static_cast<DWORD>(offset) + width); }

constexpr const char* kPrimaryRecordFailure =
    "Failed to set Orvi Kiv as primary Screen. Err(ChangeDisplaySettingsEx): ";
constexpr const char* kOtherRecordFailure = "Failed to update Screen position. Err(ChangeDisplaySettingsEx): ";
constexpr const char* kApplyFailure =
    "Failed apply settings with Orvi Kiv as primary screen. Err(ChangeDisplaySettingsEx): ";
constexpr const char* kPrimaryKept =
    "Failed apply settings with Orvi Kiv as primary screen: Windows kept another screen as primary";

// A mode record that names the position and nothing else, so that every other setting of the screen
// stays as Windows has it: a whole mode written back fixes a panel with a dynamic refresh rate at the
// rate that EnumDisplaySettingsW reported.
DEVMODEW positionOnly(POINTL position) {
    DEVMODEW mode{};
    mode.dmSize = static_cast<WORD>(sizeof(DEVMODEW));
    mode.dmDriverExtra = 0;
    mode.dmFields = DM_POSITION;
    mode.dmPosition = position;
    return mode;
}

// Records, without applying it, a screen at `position`, as primary or not.
LONG record(const WideString& deviceName, POINTL position, bool asPrimary) {
    DEVMODEW mode = positionOnly(position);
    return platform::changeDisplaySettingsEx(deviceName.c_str(), &mode,
                                             asPrimary ? kPrimaryScreenFlags : kOtherScreenFlags);
}

// Records the row's screen at `index` at (x, 0); the first one as primary.
LONG recordScreen(const std::vector<RowScreen>& row, std::size_t index, LONG x) {
    return record(row[index].deviceName, POINTL{x, 0}, index == 0);
}

LONG applyRecorded() { return platform::changeDisplaySettingsEx(nullptr, nullptr, 0); }

// Records a screen back at `position`, as primary again when it was the primary; false when Windows
// refused it twice.
bool recordBack(const WideString& deviceName, POINTL position, bool asPrimary) {
    return putBackCall([&] { return record(deviceName, position, asPrimary); });
}

// Puts the stored settings back as they were after the first `recorded` screens of the row were
// recorded: those screens at their old places, and the former primary as primary again once the Kiv
// was recorded as primary (that is, once anything was recorded); with `apply`, applies that, for a
// change that Windows applied in part or not at all. The former primary is `shownPrimary`, the
// screen that Windows still shows as primary, when it is known, otherwise the row's screen that was
// primary, otherwise the screen that Windows shows as primary now. A former primary outside the row
// (a screen the enumeration missed) is recorded as primary where it is now, or at the origin when that
// cannot be read. Returns what could not be put back: the screens' names, and the screens shown when
// the apply failed.
std::vector<std::string> putBack(const std::vector<RowScreen>& row, std::size_t recorded, bool apply,
                                 WideString shownPrimary = {}) {
    std::vector<std::string> notPutBack;
    if (recorded == 0) {
        return notPutBack;
    }
    std::optional<std::size_t> formerPrimary;
    for (std::size_t index = 0; index < row.size() && !formerPrimary; ++index) {
        if (shownPrimary.empty() ? row[index].wasPrimary : row[index].deviceName == shownPrimary) {
            formerPrimary = index;
        }
    }
    if (!formerPrimary && shownPrimary.empty()) {
        shownPrimary = primaryShownNow();
    }
    for (std::size_t index = 0; index < recorded; ++index) {
        if (!recordBack(row[index].deviceName, row[index].position, index == formerPrimary)) {
            notPutBack.push_back(narrow(row[index].deviceName));
        }
    }
    if (formerPrimary && *formerPrimary >= recorded &&
        !recordBack(row[*formerPrimary].deviceName, row[*formerPrimary].position, true)) {
        notPutBack.push_back(narrow(row[*formerPrimary].deviceName));
    }
    if (!formerPrimary && !shownPrimary.empty() && shownPrimary != row.front().deviceName) {
        DEVMODEW mode{};
        mode.dmSize = static_cast<WORD>(sizeof(DEVMODEW));
        const POINTL position = platform::enumDisplaySettings(shownPrimary.c_str(), ENUM_CURRENT_SETTINGS, &mode)
                                    ? mode.dmPosition
                                    : POINTL{0, 0};
        if (!recordBack(shownPrimary, position, true)) {
            notPutBack.push_back(narrow(shownPrimary));
        }
    }
    if (apply && !putBackCall(applyRecorded)) {
        notPutBack.push_back("the screens shown");
    }
    return notPutBack;
}

// What the display-settings way came to when Windows did not take it: the error that reports it, and
// whether Windows declined it the way it declines an indirect display as primary (DISP_CHANGE_FAILED,
// or another primary kept after a successful apply), which the display configuration gets round.
struct SettingsFailure {
    std::string text;
    bool declined;
    std::vector<std::string> notPutBack;
    // Applied, Windows kept `shownPrimary` as primary: the put-back waits for the display configuration.
    bool putBackPending = false;
    WideString shownPrimary = {};
};

SettingsFailure failure(std::string text, LONG result, std::vector<std::string> notPutBack) {
    return SettingsFailure{std::move(text) + std::to_string(result), result == DISP_CHANGE_FAILED,
                           std::move(notPutBack)};
}

// Records every screen of the row and applies them; puts the stored (and, once applied, the shown)
// settings back when Windows does not take it. Nothing when the Kiv is primary afterwards.
std::optional<SettingsFailure> switchThroughSettings(const std::vector<RowScreen>& row) {
    LONG offset = 0;
    for (std::size_t recorded = 0; recorded < row.size(); ++recorded) {
        const LONG result = recordScreen(row, recorded, offset);
        if (result != DISP_CHANGE_SUCCESSFUL) {
            return failure(recorded == 0 ? kPrimaryRecordFailure : kOtherRecordFailure, result,
                           putBack(row, recorded, false));
        }
        offset = offsetAfter(offset, row[recorded].width);
    }
    const LONG applied = applyRecorded();
    if (applied != DISP_CHANGE_SUCCESSFUL) {
        // Declined, Windows may have shown part of it: the put-back is applied too.
        return failure(kApplyFailure, applied, putBack(row, row.size(), applied == DISP_CHANGE_FAILED));
    }
    // Windows may answer the apply with success and still keep another primary (a USB display
    // adapter's indirect display on current Windows; Wine ignores CDS_SET_PRIMARY altogether). A
    // layout that Windows would not show must not wait in the store for the next sign-in, nor stay
    // shown: it is put back unless the display configuration makes the row.
    const WideString shownPrimary = shownPrimaryAfterApply(row.front().deviceName);
    if (shownPrimary != row.front().deviceName) {
        return SettingsFailure{kPrimaryKept, true, {}, true, shownPrimary};
    }
    return std::nullopt;
}

// The failure's text, with what could not be put back.
std::string reported(const SettingsFailure& failure) {
    std::string text = failure.text;
    for (std::size_t index = 0; index < failure.notPutBack.size(); ++index) {
        text += (index == 0 ? "; could not put back: " : ", ") + failure.notPutBack[index];
    }
    return text;
}

std::vector<WideString> namesOf(const std::vector<RowScreen>& row) {
    std::vector<WideString> names;
    for (const RowScreen& screen : row) {
        names.push_back(screen.deviceName);
    }
    return names;
}

}  // namespace

SwitchWay setPrimaryDevice(std::ostream& log, const std::vector<ScreenDevice>& kivScreens,
                           const std::vector<ScreenDevice>& otherScreens, SettingsDeclined* settingsDeclined) {
    if (kivScreens.empty()) {
        return SwitchWay::DisplaySettings;
    }
    const std::vector<RowScreen> row = readRow(kivScreens, otherScreens);
    const std::string kiv = kivScreens.front().identity();

    std::optional<SettingsFailure> failure;
    if (settingsDeclined == nullptr || settingsDeclined->count(kiv) == 0) {
        failure = switchThroughSettings(row);
        if (!failure) {
            log << "setPrimaryDevice completed result: " << DISP_CHANGE_SUCCESSFUL << std::endl;
            return SwitchWay::DisplaySettings;
        }
        if (!failure->declined || !failure->notPutBack.empty()) {
            throw std::runtime_error(reported(*failure));
        }
        if (settingsDeclined != nullptr) {
            settingsDeclined->insert(kiv);
        }
    }
    const bool settingsPutBackPending = failure && failure->putBackPending;
    std::optional<DisplayConfigFailure> second;
    try {
        second = switchThroughDisplayConfig(namesOf(row), !settingsPutBackPending);
    } catch (const DisplayConfigRefused&) {
        if (settingsPutBackPending) {
            static_cast<void>(putBack(row, row.size(), true, failure->shownPrimary));
        }
        throw;
    }
    if (second && !failure) {
        log << "Orvi Kiv could not be made primary through the display configuration: " << second->text << std::endl;
        throw std::runtime_error("Failed to make Orvi Kiv primary through the display configuration: " + second->text +
                                 (second->putBack ? "" : "; could not put back: the display configuration"));
    }
    if (second) {
        log << "Orvi Kiv could not be made primary through the display configuration either: " << second->text
            << std::endl;
        if (settingsPutBackPending) {
            failure->notPutBack = putBack(row, row.size(), true, failure->shownPrimary);
            throw std::runtime_error(reported(*failure));
        }
        throw std::runtime_error(failure->text +
                                 (second->putBack ? "" : "; could not put back: the display configuration"));
    }
    log << "Orvi Kiv was made primary through the display configuration" << std::endl;
    log << "setPrimaryDevice completed result: " << DISP_CHANGE_SUCCESSFUL << std::endl;
    return SwitchWay::DisplayConfiguration;
}

}  // namespace orvi
