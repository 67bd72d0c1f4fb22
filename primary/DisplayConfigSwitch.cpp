#include "primary/DisplayConfigSwitch.h"

#include "display/DisplayConfig.h"
#include "platform/DisplayServices.h"
#include "primary/ShownPrimary.h"
#include "util/WinException.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <stdexcept>
#include <string>

namespace orvi {
namespace {

// Shown at once and stored for these screens, as the display-settings way stores its records. The
// mode indexes stay in the plain layout (no SDC_VIRTUAL_MODE_AWARE, as the query asked without
// QDC_VIRTUAL_MODE_AWARE): only source positions change, for which the plain layout is enough on
// every Windows that has the display configuration.
constexpr UINT32 kApplyAndStore = SDC_APPLY | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE;

LONG applyAndStore(DisplayConfig& config) {
    return platform::setDisplayConfig(static_cast<UINT32>(config.paths.size()), config.paths.data(),
                                      static_cast<UINT32>(config.modes.size()), config.modes.data(), kApplyAndStore);
}

// The source mode entries of the paths whose source is `name`, each once.
std::vector<UINT32> sourceModesOf(const DisplayConfig& config, const std::vector<WideString>& pathSources,
                                  const WideString& name) {
    std::vector<UINT32> indexes;
    for (std::size_t path = 0; path < config.paths.size(); ++path) {
        const UINT32 index = config.paths[path].sourceInfo.modeInfoIdx;
        if (pathSources[path] == name && index < config.modes.size() &&
            config.modes[index].infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE &&
            std::find(indexes.begin(), indexes.end(), index) == indexes.end()) {
            indexes.push_back(index);
        }
    }
    return indexes;
}

// Puts the screen's source modes at (x, 0); returns where the next screen begins. Widths that no real
// screen has wrap around in 32 bits instead of overflowing.
LONG place(DisplayConfig& config, const std::vector<UINT32>& sourceModes, LONG x) {
    for (const UINT32 index : sourceModes) {
        config.modes[index].sourceMode.position = POINTL{x, 0};
    }
    return static_cast<LONG>(static_cast<DWORD>(x) + config.modes[sourceModes.front()].sourceMode.width);
}

// The configuration with the row's screens moved; throws when a screen of the row has no source mode.
DisplayConfig rowConfiguration(const DisplayConfig& shown, const std::vector<WideString>& row) {
    std::vector<WideString> pathSources;
    for (const DISPLAYCONFIG_PATH_INFO& path : shown.paths) {
        pathSources.push_back(getSourceName(path));
    }
    DisplayConfig wanted = shown;
    LONG x = 0;
    for (const WideString& screen : row) {
        const std::vector<UINT32> sourceModes = sourceModesOf(shown, pathSources, screen);
        if (sourceModes.empty()) {
            throw std::runtime_error("the display configuration shows no source mode of " + narrow(screen));
        }
        x = place(wanted, sourceModes, x);
    }
    return wanted;
}

}  // namespace

std::optional<DisplayConfigFailure> switchThroughDisplayConfig(const std::vector<WideString>& row) {
    DisplayConfig shown;
    DisplayConfig wanted;
    try {
        shown = getActiveDisplayConfig();
        wanted = rowConfiguration(shown, row);
    } catch (const std::exception& failure) {
        return DisplayConfigFailure{failure.what(), true};  // nothing changed yet
    }

    const LONG result = applyAndStore(wanted);
    DisplayConfigFailure failure;
    if (result != static_cast<LONG>(ERROR_SUCCESS)) {
        failure.text = util::WinException(static_cast<DWORD>(result), "SetDisplayConfig failed").what();
    } else if (shownPrimaryAfterApply(row.front()) != row.front()) {
        failure.text = "Windows kept another screen as primary";
    } else {
        return std::nullopt;
    }
    // Windows may have shown or stored part of it: the configuration from before, once more, and again
    // when that is refused once (a second fault must not leave a half-changed layout).
    failure.putBack = applyAndStore(shown) == static_cast<LONG>(ERROR_SUCCESS) ||
                      applyAndStore(shown) == static_cast<LONG>(ERROR_SUCCESS);
    return failure;
}

}  // namespace orvi
