#include "primary/ScanPass.h"

#include "display/ScreenDevice.h"
#include "display/ScreenEnumeration.h"
#include "display/UsbId.h"
#include "primary/PrimarySwitch.h"
#include "util/GlobalNamedMutex.h"
#include "util/LockNames.h"

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
                       const char* alreadyPrimaryLine, const char* settingLine, SettingsDeclined* settingsDeclined) {
    if (otherScreens.empty()) {
        log << alreadyPrimaryLine << std::endl;
        return KivFinding{false, variant, ""};
    }
    log << settingLine << std::endl;
    const SwitchWay way = setPrimaryDevice(log, kivScreens, otherScreens, settingsDeclined);
    const ScreenDevice& kiv = kivScreens.front();
    return KivFinding{true, variant,
                      kiv.displayName().empty() ? kiv.deviceName() : kiv.deviceName() + " (" + kiv.displayName() + ")",
                      way == SwitchWay::DisplayConfiguration};
}

bool isPrimary(const ScreenDevice& screen) { return (screen.monitorInfo().dwFlags & MONITORINFOF_PRIMARY) != 0; }

std::vector<std::string> sortedIdentities(const std::vector<ScreenDevice>& screens) {
    std::vector<std::string> identities;
    for (const ScreenDevice& screen : screens) {
        identities.push_back(screen.identity());
    }
    std::sort(identities.begin(), identities.end());
    return identities;
}

std::string primaryOf(const std::vector<ScreenDevice>& screens) {
    const auto primary = std::find_if(screens.begin(), screens.end(), isPrimary);
    return primary == screens.end() ? std::string() : primary->identity();
}

bool anyPrimary(const std::vector<ScreenDevice>& screens) {
    return std::any_of(screens.begin(), screens.end(), isPrimary);
}

}  // namespace

PassOutcome runPass(std::ostream& log, const PassOptions& options) {
    // With a gate the lines wait in `held` until it lets the pass go on.
    std::ostringstream held;
    std::ostream* out = options.gate ? static_cast<std::ostream*>(&held) : &log;

    const std::unique_ptr<util::GlobalNamedMutex> familyLock = util::GlobalNamedMutex::create(util::kFamilyMutexName);
    if (!familyLock->tryLock()) {
        *out << "Other application is performing an action - waiting for it to finish" << std::endl;
        if (!options.waitForFamilyLock) {
            familyLock->lock();
        } else if (!options.waitForFamilyLock(*familyLock)) {
            return PassOutcome{PassEnd::Stopped, false};
        }
    }

    *out << "Searching for Monitor Screens" << std::endl;
    std::vector<ScreenDevice> screens = enumerateScreens(*out);
    *out << "found " << screens.size() << " screens" << std::endl;
    const bool told = options.gate || options.observer;
    const std::vector<std::string> identities = told ? sortedIdentities(screens) : std::vector<std::string>{};
    const std::string primary = told ? primaryOf(screens) : std::string();

    KivScreens kiv = takeKivScreens(*out, screens);
    *out << summaryLine(screens.size(), kiv.varel.size(), kiv.pellun.size()) << std::endl;
    const bool kivFound = !kiv.varel.empty() || !kiv.pellun.empty();
    if (!kiv.varel.empty()) {
        // Beside a Varel the Pellun screens are screens like any other, at the end of the row: left
        // where they were, they could lie under the moved screens.
        std::move(kiv.pellun.begin(), kiv.pellun.end(), std::back_inserter(screens));
        kiv.pellun.clear();
    }

    const std::vector<ScreenDevice>& chosen = kiv.varel.empty() ? kiv.pellun : kiv.varel;
    const ScreensSeen seen{identities, primary, kivFound && told ? chosen.front().identity() : std::string(), kivFound,
                           kivFound && (screens.empty() || anyPrimary(chosen))};
    if (options.observer) {
        options.observer(seen);
    }
    if (options.gate) {
        if (!options.gate(seen)) {
            return PassOutcome{PassEnd::HeldBack, kivFound};
        }
        log << held.str() << std::flush;
        out = &log;
    }

    std::optional<KivFinding> found;
    if (!kiv.varel.empty()) {
        found = makePrimary(*out, kiv.varel, screens, "Varel", "Orvi Kiv is - already primary",
                            "Setting Orvi Kiv as primary Display", options.settingsDeclined);
    } else if (!kiv.pellun.empty()) {
        found = makePrimary(*out, kiv.pellun, screens, "Pellun", "Orvi Kiv USB(pellun) is - already primary",
                            "Setting Orvi Kiv USB(pellun) as primary Display", options.settingsDeclined);
    }

    *out << "Done" << std::endl;
    if (found && options.finding != nullptr) {
        *options.finding = std::move(*found);
    }
    return PassOutcome{PassEnd::Done, kivFound};
}

bool runScanPass(std::ostream& log, KivFinding* finding) {
    PassOptions options;
    options.finding = finding;
    return runPass(log, options).kivFound;
}

}  // namespace orvi
