// The primary display switch against user32 itself: Wine's own screens, three of them (Xorg's dummy
// driver, tests/wine/with-xorg-screens.sh). Wine answers CDS_SET_PRIMARY with success and ignores it,
// and its SetDisplayConfig answers success and changes nothing, so making another screen primary goes
// the whole way that a PC declining both ways would: the display settings recorded, applied and put
// back, the display configuration tried and put back, the failure reported, every screen where it was.
// Wine 8 refuses the virtual-mode-aware query flags (GetDisplayConfigBufferSizes answers
// ERROR_INVALID_PARAMETER), so the display configuration is asked for and applied in the plain layout.
#include "display/Narrow.h"
#include "display/ScreenEnumeration.h"
#include "primary/PrimarySwitch.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <exception>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using orvi::ScreenDevice;

// Each screen's place and size as the display settings give it, and which one is primary.
std::vector<std::string> placesOf(const std::vector<ScreenDevice>& screens) {
    std::vector<std::string> places;
    for (const ScreenDevice& screen : screens) {
        DEVMODEW mode{};
        mode.dmSize = sizeof(mode);
        const orvi::WideString name(orvi::boundedText(screen.monitorInfo().szDevice));
        MONITORINFOEXW info{};
        info.cbSize = sizeof(info);
        if (!EnumDisplaySettingsW(name.c_str(), ENUM_CURRENT_SETTINGS, &mode) ||
            !GetMonitorInfoW(MonitorFromPoint(POINT{mode.dmPosition.x, mode.dmPosition.y}, MONITOR_DEFAULTTONULL),
                             &info)) {
            places.push_back(screen.deviceName() + " cannot be read");
            continue;
        }
        places.push_back(screen.deviceName() + " " + std::to_string(mode.dmPelsWidth) + "x" +
                         std::to_string(mode.dmPelsHeight) + " at (" + std::to_string(mode.dmPosition.x) + "," +
                         std::to_string(mode.dmPosition.y) + ")" +
                         ((info.dwFlags & MONITORINFOF_PRIMARY) != 0 ? " primary" : ""));
    }
    return places;
}

// Wine's desktop process makes its list of the X display's screens anew when it starts (it applies
// the current settings then) and after every change of the screens' modes (its answer to RandR's
// notice); while it does, QueryDisplayConfig answers ERROR_GEN_FAILURE. The screens, once Wine's
// display configuration can be read: at most 10 s after the start.
std::vector<ScreenDevice> screensOnceReadable(std::ostringstream& log) {
    for (int attempt = 1;; ++attempt) {
        try {
            log.str("");
            return orvi::enumerateScreens(log);
        } catch (const std::exception& failure) {
            if (attempt == 100) {
                ADD_FAILURE() << failure.what();
                return {};
            }
            Sleep(100);
        }
    }
}

TEST(RealSwitch, WhereWindowsKeepsItsPrimaryBothWaysAreTriedAndEveryScreenStaysWhereItWas) {
    std::ostringstream log;
    const std::vector<ScreenDevice> screens = screensOnceReadable(log);
    ASSERT_GE(screens.size(), 2u) << log.str();
    const std::vector<std::string> before = placesOf(screens);
    // The last screen that is not primary stands for the Kiv.
    std::size_t kivIndex = screens.size();
    for (std::size_t index = 0; index < screens.size(); ++index) {
        if ((screens[index].monitorInfo().dwFlags & MONITORINFOF_PRIMARY) == 0) {
            kivIndex = index;
        }
    }
    ASSERT_LT(kivIndex, screens.size());
    const std::vector<ScreenDevice> kiv{screens[kivIndex]};
    std::vector<ScreenDevice> others = screens;
    others.erase(others.begin() + static_cast<std::ptrdiff_t>(kivIndex));
    log.str("");

    try {
        orvi::setPrimaryDevice(log, kiv, others);
        FAIL() << "Wine made " << kiv.front().deviceName() << " primary";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(),
                     "Failed apply settings with Orvi Kiv as primary screen: Windows kept another screen as primary");
    }
    // The display configuration's way is tried and fails: where Wine's SetDisplayConfig changed
    // nothing, or, when Wine's desktop process was still making its list anew after the display
    // settings' changes, at its query.
    EXPECT_TRUE(std::regex_match(log.str(), std::regex("Orvi Kiv could not be made primary through the display "
                                                       "configuration either: (Windows kept another screen as "
                                                       "primary|Failed to obtain current displays config: "
                                                       "[^\r\n]*\r\n \\(Error code: 0x1f\\))\n")))
        << log.str();
    EXPECT_EQ(placesOf(screens), before);
}

}  // namespace
