#include "primary/DisplayConfigSwitch.h"

#include "display/DisplayConfig.h"
#include "display/DisplayConfigRefused.h"
#include "platform/DisplayServices.h"
#include "primary/PutBackCall.h"
#include "primary/ShownPrimary.h"
#include "util/WinException.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace orvi {
namespace {

// Asked for and applied virtual-mode-aware, the layout in which indirect displays are made primary on
// current Windows, and virtual-refresh-rate-aware: the configuration then carries each path's virtual
// refresh rate and whether Windows boosts it (dynamic refresh), and the apply hands both back as read.
constexpr UINT32 kAwareQuery = QDC_VIRTUAL_MODE_AWARE | QDC_VIRTUAL_REFRESH_RATE_AWARE;
constexpr UINT32 kAwareApply = SDC_VIRTUAL_MODE_AWARE | SDC_VIRTUAL_REFRESH_RATE_AWARE;
// Shown at once and stored for these screens, as the display-settings way stores its records.
constexpr UINT32 kApplyAndStore = SDC_APPLY | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE;
// Shows the layout that Windows stored last for these screens: after a refused SetDisplayConfig, the one
// from before ("Return from a temporary mode to the last saved display configuration").
constexpr UINT32 kShowStored = SDC_APPLY | SDC_USE_DATABASE_CURRENT;

constexpr LONG kSuccess = static_cast<LONG>(ERROR_SUCCESS);

// A configuration with the layout of its mode indexes: virtual-mode-aware, or plain where Windows
// refused the aware flags.
struct Layout {
    DisplayConfig config;
    bool aware = false;
};

Layout shownLayout() {
    if (std::optional<DisplayConfig> aware = getActiveDisplayConfigIfTaken(kAwareQuery)) {
        return Layout{std::move(*aware), true};
    }
    return Layout{getActiveDisplayConfig(), false};
}

LONG applyAndStore(Layout& layout) {
    return platform::setDisplayConfig(static_cast<UINT32>(layout.config.paths.size()), layout.config.paths.data(),
                                      static_cast<UINT32>(layout.config.modes.size()), layout.config.modes.data(),
                                      kApplyAndStore | (layout.aware ? kAwareApply : 0));
}

bool sameAdapter(LUID a, LUID b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

// The index of the path's source mode entry, when it names one that is the path's own source: in the
// aware layout sourceModeInfoIdx where the path supports virtual modes, modeInfoIdx otherwise.
std::optional<UINT32> sourceModeOf(const Layout& layout, const DISPLAYCONFIG_PATH_INFO& path) {
    const bool virtualModes = layout.aware && (path.flags & DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE) != 0;
    const UINT32 index = virtualModes ? UINT32{path.sourceInfo.sourceModeInfoIdx} : path.sourceInfo.modeInfoIdx;
    if (index >= layout.config.modes.size() || (virtualModes && index == DISPLAYCONFIG_PATH_SOURCE_MODE_IDX_INVALID)) {
        return std::nullopt;
    }
    const DISPLAYCONFIG_MODE_INFO& mode = layout.config.modes[index];
    if (mode.infoType != DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE || mode.id != path.sourceInfo.id ||
        !sameAdapter(mode.adapterId, path.sourceInfo.adapterId)) {
        return std::nullopt;
    }
    return index;
}

void addOnce(std::vector<UINT32>& indexes, UINT32 index) {
    if (std::find(indexes.begin(), indexes.end(), index) == indexes.end()) {
        indexes.push_back(index);
    }
}

// Puts the source modes at (x, 0); returns where the next screen begins. Widths that no real screen
// has wrap around in 32 bits instead of overflowing.
LONG place(DisplayConfig& config, const std::vector<UINT32>& sourceModes, LONG x) {
    for (const UINT32 index : sourceModes) {
        config.modes[index].sourceMode.position = POINTL{x, 0};
    }
    return static_cast<LONG>(static_cast<DWORD>(x) + config.modes[sourceModes.front()].sourceMode.width);
}

// The configuration with the row's screens moved, and after them every other active source in its
// left-to-right order (top edge, then), so that Windows gets a layout without gap or overlap, which it
// would otherwise rearrange "in an undefined manner". Throws when a screen of the row has no source
// mode, and DisplayConfigRefused when the session may not read the source names.
DisplayConfig rowConfiguration(const Layout& shown, const std::vector<WideString>& row) {
    std::vector<WideString> pathSources;
    for (const DISPLAYCONFIG_PATH_INFO& path : shown.config.paths) {
        pathSources.push_back(getSourceName(path));
    }
    DisplayConfig wanted = shown.config;
    std::vector<UINT32> placed;
    LONG x = 0;
    for (const WideString& screen : row) {
        std::vector<UINT32> sourceModes;
        for (std::size_t path = 0; path < shown.config.paths.size(); ++path) {
            const std::optional<UINT32> index = sourceModeOf(shown, shown.config.paths[path]);
            if (index && pathSources[path] == screen) {
                addOnce(sourceModes, *index);
            }
        }
        if (sourceModes.empty()) {
            throw std::runtime_error("the display configuration shows no source mode of " + narrow(screen));
        }
        x = place(wanted, sourceModes, x);
        placed.insert(placed.end(), sourceModes.begin(), sourceModes.end());
    }
    std::vector<UINT32> others;
    for (const DISPLAYCONFIG_PATH_INFO& path : shown.config.paths) {
        const std::optional<UINT32> index = sourceModeOf(shown, path);
        if (index && std::find(placed.begin(), placed.end(), *index) == placed.end()) {
            addOnce(others, *index);
        }
    }
    std::stable_sort(others.begin(), others.end(), [&](UINT32 a, UINT32 b) {
        const POINTL& first = shown.config.modes[a].sourceMode.position;
        const POINTL& second = shown.config.modes[b].sourceMode.position;
        return first.x != second.x ? first.x < second.x : first.y < second.y;
    });
    for (const UINT32 index : others) {
        x = place(wanted, {index}, x);
    }
    return wanted;
}

// Shows and stores the configuration from before again; when Windows refuses that twice, shows the
// layout it stored last. True when one of them succeeded.
bool putBack(Layout& shown) {
    return putBackCall([&] { return applyAndStore(shown); }) ||
           platform::setDisplayConfig(0, nullptr, 0, nullptr, kShowStored) == kSuccess;
}

}  // namespace

std::optional<DisplayConfigFailure> switchThroughDisplayConfig(const std::vector<WideString>& row) {
    Layout shown;
    Layout wanted;
    try {
        shown = shownLayout();
        wanted = Layout{rowConfiguration(shown, row), shown.aware};
    } catch (const DisplayConfigRefused&) {
        throw;  // not a failure of this way: a look that the session may not take now
    } catch (const std::exception& failure) {
        return DisplayConfigFailure{failure.what(), true};  // nothing changed yet
    }

    const LONG result = applyAndStore(wanted);
    DisplayConfigFailure failure;
    if (result == static_cast<LONG>(ERROR_ACCESS_DENIED)) {
        // The session lost the console (locked meanwhile): refused before anything changed.
        throw DisplayConfigRefused(static_cast<DWORD>(result), "SetDisplayConfig failed");
    }
    if (result != kSuccess) {
        failure.text = util::WinException(static_cast<DWORD>(result), "SetDisplayConfig failed").what();
    } else if (shownPrimaryAfterApply(row.front()) != row.front()) {
        failure.text = "Windows kept another screen as primary";
    } else {
        return std::nullopt;
    }
    // Windows may have shown or stored part of it.
    failure.putBack = putBack(shown);
    return failure;
}

}  // namespace orvi
