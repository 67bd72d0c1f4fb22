#include "primary/ShownPrimary.h"

#include "platform/DisplayServices.h"

namespace orvi {
namespace {

// About a second in all: long enough for a driver that reports the new primary late, short enough
// that a switch Windows kept from happening is reported while the user still looks.
constexpr DWORD kLookAgainMilliseconds = 100;
constexpr int kLooksAgain = 10;

// The EnumDisplayMonitors callback; data is the address of the WideString that receives the name of
// the primary monitor. Stops there. A monitor that cannot be read is passed over.
BOOL CALLBACK notePrimary(HMONITOR monitor, HDC /*dc*/, LPRECT /*clip*/, LPARAM data) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    if (!platform::getMonitorInfo(monitor, &info) || (info.dwFlags & MONITORINFOF_PRIMARY) == 0) {
        return TRUE;
    }
    *reinterpret_cast<WideString*>(data) = WideString(boundedText(info.szDevice));
    return FALSE;
}

}  // namespace

WideString primaryShownNow() {
    WideString primary;
    static_cast<void>(platform::enumDisplayMonitors(notePrimary, reinterpret_cast<LPARAM>(&primary)));
    return primary;
}

WideString shownPrimaryAfterApply(const WideString& expected) {
    WideString shown = primaryShownNow();
    for (int look = 0; look < kLooksAgain && shown != expected; ++look) {
        platform::pause(kLookAgainMilliseconds);
        shown = primaryShownNow();
    }
    return shown;
}

}  // namespace orvi
