#include "primary/ScanPass.h"

#include "display/ScreenDevice.h"
#include "display/ScreenEnumeration.h"
#include "display/UsbId.h"
#include "primary/PrimarySwitch.h"
#include "util/GlobalNamedMutex.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The log texts of a pass are fixed, blanks and spelling included ("Screenand", "found KIV(VAREL) "):
// people and the tools that read these logs match them exactly. Do not correct them.

namespace orvi {
namespace {

// Shared with the other tools of the product family: only one of them changes the layout at a time.
constexpr std::string_view kFamilyMutexName = "MorvaKivDisplayApp_main";

struct KivScreens {
    std::vector<ScreenDevice> varel;
    std::vector<ScreenDevice> pellun;
};

// Moves every Kiv screen out of `screens`, in order, into the list of its variant; the other
// screens stay behind in their order. A screen that would pass both tests is a Varel.
KivScreens takeKivScreens(std::ostream& log, std::vector<ScreenDevice>& screens) {
    KivScreens kiv;
    auto current = screens.begin();
    while (current != screens.end()) {
        log << "Iterating Screen with display name: " << current->displayName()
            << "device name: " << current->deviceName() << std::endl;
        if (current->matchesUsbId(log, kVarelUsbId)) {
            log << "found KIV(VAREL) " << std::endl;
            kiv.varel.push_back(std::move(*current));
            current = screens.erase(current);  // the next screen moves into this place
        } else if (current->matchesEdidProductCode(log, kPellunEdidProductCode)) {
            log << "found KIV USB(PELLUN) " << std::endl;
            kiv.pellun.push_back(std::move(*current));
            current = screens.erase(current);
        } else {
            ++current;
        }
    }
    return kiv;
}

std::string summaryLine(std::size_t others, std::size_t varels, std::size_t pelluns) {
    if (others + varels + pelluns == 0) {
        return "No Screens detected";
    }
    std::ostringstream line;
    line << "Detected " << others << " Screen";
    if (others > 1) {
        line << "s";
    }
    if (varels == 1) {
        line << " and Orvi Kiv";
    } else if (varels > 1) {
        line << " and " << varels << " Orvi Kiv devices";
    }
    if (pelluns == 1) {
        line << "and Orvi KIV USB(Pellun)";
    } else if (pelluns > 1) {
        line << " and " << pelluns << "Orvi KIV USB(pellun) devices";
    }
    return line.str();
}

// Makes the first screen of `kivScreens` primary unless every screen is a Kiv screen of that
// variant, in which case one of them is primary already. Returns what it did.
KivFinding makePrimary(std::ostream& log, const std::vector<ScreenDevice>& kivScreens,
                       const std::vector<ScreenDevice>& otherScreens, const char* variant,
                       const char* alreadyPrimaryLine, const char* settingLine) {
    if (otherScreens.empty()) {
        log << alreadyPrimaryLine << std::endl;
        return KivFinding{false, variant, ""};
    }
    log << settingLine << std::endl;
    const SwitchWay way = setPrimaryDevice(log, kivScreens, otherScreens);
    const ScreenDevice& kiv = kivScreens.front();
    return KivFinding{true, variant,
                      kiv.displayName().empty() ? kiv.deviceName() : kiv.deviceName() + " (" + kiv.displayName() + ")",
                      way == SwitchWay::DisplayConfiguration};
}

}  // namespace

bool runScanPass(std::ostream& log, KivFinding* finding) {
    const std::unique_ptr<util::GlobalNamedMutex> familyLock = util::GlobalNamedMutex::create(kFamilyMutexName);
    if (!familyLock->tryLock()) {
        log << "Other application is performing an action - waiting for it to finish" << std::endl;
        familyLock->lock();
    }

    log << "Searching for Monitor Screens" << std::endl;
    std::vector<ScreenDevice> screens = enumerateScreens(log);
    log << "found " << screens.size() << " screens" << std::endl;

    KivScreens kiv = takeKivScreens(log, screens);
    log << summaryLine(screens.size(), kiv.varel.size(), kiv.pellun.size()) << std::endl;

    std::optional<KivFinding> found;
    if (!kiv.varel.empty()) {
        // Beside a Varel the Pellun screens are screens like any other, at the end of the row: left
        // where they were, they could lie under the moved screens.
        std::move(kiv.pellun.begin(), kiv.pellun.end(), std::back_inserter(screens));
        found = makePrimary(log, kiv.varel, screens, "Varel", "Orvi Kiv is - already primary",
                            "Setting Orvi Kiv as primary Display");
    } else if (!kiv.pellun.empty()) {
        found = makePrimary(log, kiv.pellun, screens, "Pellun", "Orvi Kiv USB(pellun) is - already primary",
                            "Setting Orvi Kiv USB(pellun) as primary Display");
    }

    log << "Done" << std::endl;
    if (found && finding != nullptr) {
        *finding = std::move(*found);
    }
    return found.has_value();
}

}  // namespace orvi
