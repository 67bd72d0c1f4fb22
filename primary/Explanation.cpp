#include "primary/Explanation.h"

#include "display/DisplayConfigRefused.h"
#include "display/Narrow.h"
#include "display/ScreenDevice.h"
#include "display/ScreenEnumeration.h"
#include "display/UsbId.h"
#include "platform/DisplayServices.h"
#include "primary/DisplayConfigSwitch.h"
#include "util/GlobalNamedMutex.h"
#include "util/LockNames.h"
#include "util/WinException.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvi {
namespace {

enum class Variant { None, Varel, Pellun };

struct SeenScreen {
    ScreenDevice screen;
    std::size_t number;  // from 1, in enumeration order
    Variant variant;
};

const char* nameOf(Variant variant) { return variant == Variant::Varel ? "Varel" : "Pellun"; }

// A text on one line: every run of blanks and line ends (the system's texts end their sentences in
// CR LF) becomes one blank, and none is left at either end.
std::string oneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        const bool blank = c == ' ' || c == '\r' || c == '\n';
        if (!blank) {
            line += c;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    if (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

bool isPrimary(const ScreenDevice& screen) { return (screen.monitorInfo().dwFlags & MONITORINFOF_PRIMARY) != 0; }

// The three letters of an EDID manufacturer id as Windows gives it (its bytes swapped), 'A' = 1; the id
// in hexadecimal when they are no letters.
std::string manufacturerLetters(std::uint16_t id) {
    const unsigned word = ((id & 0xFFu) << 8) | (id >> 8);
    std::string letters;
    for (const unsigned shift : {10u, 5u, 0u}) {
        const unsigned letter = (word >> shift) & 0x1Fu;
        if (letter < 1 || letter > 26) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%04X", id);
            return hex;
        }
        letters += static_cast<char>('A' + letter - 1);
    }
    return letters;
}

// Why the scan pass takes the screen for what it is, in the order in which it tests: the Varel's USB id,
// then the Pellun's EDID product code.
std::string reasonFor(const ScreenDevice& screen, Variant variant, UsbId usbId, bool usbIdRead) {
    const std::string varel = formatUsbId(kVarelUsbId);
    const std::string usb = !usbIdRead ? "no USB id in the hardware id"
                            : variant == Variant::Varel
                                ? "USB id " + formatUsbId(usbId) + " is the Varel's"
                                : "USB id " + formatUsbId(usbId) + " is not the Varel's " + varel;
    if (variant == Variant::Varel) {
        return usb;
    }
    const std::string pellun = std::to_string(kPellunEdidProductCode);
    const std::string edid =
        !screen.edidIdsValid() ? "no EDID product code from Windows"
        : variant == Variant::Pellun
            ? "EDID product code " + pellun + " is the Pellun's"
            : "EDID product code " + std::to_string(screen.edidProductCode()) + " is not the Pellun's " + pellun;
    return usb + "; " + edid;
}

// Sorts the screen as a scan pass does, with its tests, and writes its line.
SeenScreen look(std::ostream& report, std::ostream& nowhere, const ScreenDevice& screen, std::size_t number) {
    const Variant variant = screen.matchesUsbId(nowhere, kVarelUsbId)                        ? Variant::Varel
                            : screen.matchesEdidProductCode(nowhere, kPellunEdidProductCode) ? Variant::Pellun
                                                                                             : Variant::None;
    const UsbId usbId = parseUsbId(narrowBounded(screen.displayDevice().DeviceID));
    const bool usbIdRead = usbId.vendorId != 0 || usbId.productId != 0;
    const RECT& place = screen.monitorInfo().rcMonitor;
    report << "screen " << number << ": device=" << screen.deviceName() << " monitor=\"" << screen.displayName()
           << "\" adapter=\"" << narrowBounded(screen.displayDevice().DeviceString) << "\" hardware-id=\""
           << narrowBounded(screen.displayDevice().DeviceID)
           << "\" usb-id=" << (usbIdRead ? formatUsbId(usbId) : "none") << " edid-manufacturer="
           << (screen.edidIdsValid() ? manufacturerLetters(screen.edidManufacturerId()) : "none")
           << " edid-product-code=" << (screen.edidIdsValid() ? std::to_string(screen.edidProductCode()) : "none")
           << " place=" << place.left << "," << place.top << " size=" << place.right - place.left << "x"
           << place.bottom - place.top << " primary=" << (isPrimary(screen) ? "yes" : "no")
           << " kiv=" << (variant == Variant::None ? "no" : nameOf(variant)) << " reason=\""
           << reasonFor(screen, variant, usbId, usbIdRead) << "\"\n";
    return SeenScreen{screen, number, variant};
}

// The screens of the row in its order: the Kiv screens of the variant that takes precedence, then the
// screens that are no Kiv, then those of the other variant.
std::vector<const SeenScreen*> rowOf(const std::vector<SeenScreen>& seen, Variant chosen) {
    std::vector<Variant> groups = {chosen, Variant::None};
    if (chosen == Variant::Varel) {
        groups.push_back(Variant::Pellun);
    }
    std::vector<const SeenScreen*> row;
    for (const Variant group : groups) {
        for (const SeenScreen& screen : seen) {
            if (screen.variant == group) {
                row.push_back(&screen);
            }
        }
    }
    return row;
}

WideString deviceNameOf(const ScreenDevice& screen) { return WideString(boundedText(screen.monitorInfo().szDevice)); }

// "<device> at 0,0 primary; <device> at <x>,0; ...": each screen starts where the one before ends, by
// its current mode's width, as the switch places them. Throws util::WinException as the switch does
// when a screen's current mode cannot be read.
std::string rowLine(const std::vector<const SeenScreen*>& row) {
    std::string line;
    LONG x = 0;
    for (const SeenScreen* screen : row) {
        const WideString name = deviceNameOf(screen->screen);
        DEVMODEW mode{};
        mode.dmSize = static_cast<WORD>(sizeof(DEVMODEW));
        if (!platform::enumDisplaySettings(name.c_str(), ENUM_CURRENT_SETTINGS, &mode)) {
            const DWORD error = GetLastError();
            throw util::WinException(error, screen == row.front() ? "Failed to get Orvi Kiv Screen settings"
                                                                  : "Failed to get Screen settings");
        }
        line += (line.empty() ? "" : "; ") + narrow(name) + " at " + std::to_string(x) + ",0" +
                (screen == row.front() ? " primary" : "");
        x = static_cast<LONG>(static_cast<DWORD>(x) + mode.dmPelsWidth);
    }
    return line;
}

// The SDC_ flags by name, joined by " | ".
std::string flagNames(UINT32 flags) {
    struct Named {
        UINT32 flag;
        const char* name;
    };
    constexpr Named kNames[] = {
        {SDC_VALIDATE, "SDC_VALIDATE"},
        {SDC_USE_SUPPLIED_DISPLAY_CONFIG, "SDC_USE_SUPPLIED_DISPLAY_CONFIG"},
        {SDC_VIRTUAL_MODE_AWARE, "SDC_VIRTUAL_MODE_AWARE"},
        {SDC_VIRTUAL_REFRESH_RATE_AWARE, "SDC_VIRTUAL_REFRESH_RATE_AWARE"},
    };
    std::string names;
    for (const Named& named : kNames) {
        if ((flags & named.flag) != 0) {
            names += (names.empty() ? "" : " | ") + std::string(named.name);
        }
    }
    return names;
}

const char* const kMayChange = "session: may change the layout now\n";

std::string mayNotChange(const std::string& why) { return "session: may not change the layout now: " + why + "\n"; }

// The windows and session lines for the row; what they come to.
Explained askWindows(std::ostream& report, const std::vector<const SeenScreen*>& row) {
    std::vector<WideString> names;
    for (const SeenScreen* screen : row) {
        names.push_back(deviceNameOf(screen->screen));
    }
    RowVerdict verdict{};
    try {
        verdict = validateRow(names);
    } catch (const DisplayConfigRefused& refused) {
        report << "windows: not asked, the display configuration cannot be read now\n"
               << mayNotChange(oneLine(refused.what()));
        return Explained::NotNow;
    } catch (const std::exception& failure) {
        report << "windows: cannot be asked: " << oneLine(failure.what()) << "\n" << kMayChange;
        return Explained::NotNow;
    }
    const bool takes = verdict.result == static_cast<LONG>(ERROR_SUCCESS);
    report << "windows: " << (takes ? "takes" : "refuses") << " the row: SetDisplayConfig with "
           << flagNames(verdict.flags) << " answered " << verdict.result << ": "
           << oneLine(util::systemTextOf(static_cast<DWORD>(verdict.result))) << "\n";
    if (verdict.result == static_cast<LONG>(ERROR_ACCESS_DENIED)) {
        report << mayNotChange("Windows refuses this session the display configuration (locked, remote)");
    } else {
        report << kMayChange;
    }
    return takes ? Explained::KivPrimary : Explained::NotNow;
}

// Everything from the screens to the session's line; what it comes to.
Explained lookAtTheScreens(std::ostream& report) {
    std::ostream nowhere(nullptr);  // the lines that a scan pass logs
    std::vector<ScreenDevice> screens;
    try {
        screens = enumerateScreens(nowhere);
    } catch (const DisplayConfigRefused& refused) {
        report << "screens: cannot be read now\n" << mayNotChange(oneLine(refused.what()));
        return Explained::NotNow;
    } catch (const std::exception& failure) {
        report << "screens: cannot be read: " << oneLine(failure.what()) << "\n";
        return Explained::CouldNotLook;
    }
    report << "screens: " << screens.size() << " attached\n";
    std::vector<SeenScreen> seen;
    for (const ScreenDevice& screen : screens) {
        seen.push_back(look(report, nowhere, screen, seen.size() + 1));
    }

    const auto attached = [&seen](Variant variant) {
        return std::any_of(seen.begin(), seen.end(),
                           [variant](const SeenScreen& screen) { return screen.variant == variant; });
    };
    const Variant chosen = attached(Variant::Varel)    ? Variant::Varel
                           : attached(Variant::Pellun) ? Variant::Pellun
                                                       : Variant::None;
    if (chosen == Variant::None) {
        report << "kiv: none\nrow: none, no Kiv is attached\nwindows: not asked, there is no row\n"
               << "session: may read the screens now\n";
        return Explained::NoKiv;
    }
    const std::vector<const SeenScreen*> row = rowOf(seen, chosen);
    const SeenScreen& kiv = *row.front();
    report << "kiv: screen=" << kiv.number << " device=" << kiv.screen.deviceName() << " variant=" << nameOf(chosen)
           << " primary-now=" << (isPrimary(kiv.screen) ? "yes" : "no") << "\n";
    const bool othersBeside =
        std::any_of(seen.begin(), seen.end(), [chosen](const SeenScreen& screen) { return screen.variant != chosen; });
    if (!othersBeside) {
        report << "row: none, every screen is a " << nameOf(chosen) << " and one of them is primary already\n"
               << "windows: not asked, there is no row\nsession: may read the screens now\n";
        return Explained::KivPrimary;
    }
    std::string line;
    try {
        line = rowLine(row);
    } catch (const std::exception& failure) {
        report << "row: cannot be made: " << oneLine(failure.what()) << "\n"
               << "windows: not asked, there is no row\nsession: may read the screens now\n";
        return Explained::NotNow;
    }
    report << "row: " << line << "\n";
    return askWindows(report, row);
}

// Tries the lock without waiting and lets it go at once.
std::string lockLine(std::string_view lockName, const char* whenHeld) {
    try {
        const std::unique_ptr<util::GlobalNamedMutex> lock = util::GlobalNamedMutex::create(lockName);
        return lock->tryLock() ? "free" : whenHeld;
    } catch (const std::exception& failure) {
        return "unknown: " + oneLine(failure.what());
    }
}

const char* meaningOf(Explained outcome) {
    switch (outcome) {
    case Explained::KivPrimary:
        return "the Kiv is primary, or would be made primary and Windows takes the row";
    case Explained::CouldNotLook:
        return "the screens could not be read";
    case Explained::NoKiv:
        return "no Kiv is attached";
    case Explained::NotNow:
        break;
    }
    return "Windows would refuse the row, or the session may not change the layout now";
}

}  // namespace

Explained explainScreens(std::ostream& report) {
    report << "SetPrimaryKiv --explain: what a run would see and do now; nothing was changed\n";
    const Explained outcome = lookAtTheScreens(report);
    report << "single-instance lock: "
           << lockLine(util::kSingleInstanceMutexName,
                       "held: another instance runs in this session (a watcher?); a run now "
                       "would end at once")
           << "\nfamily lock: "
           << lockLine(util::kFamilyMutexName,
                       "held: another tool of the family changes the screens; a run now would wait for it")
           << "\nexit code: " << static_cast<int>(outcome) << " (" << meaningOf(outcome) << ")\n";
    return outcome;
}

}  // namespace orvi
