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

// The layouts in which the configuration is asked for and applied, the first that Windows takes:
// virtual-mode-aware, the layout in which indirect displays are made primary on current Windows, and
// virtual-refresh-rate-aware, so that the configuration carries each path's virtual refresh rate and
// whether Windows boosts it (dynamic refresh) and the apply hands both back as read; then
// virtual-mode-aware alone, for a Windows (10) that takes the refresh-rate flag in the query but not in
// the apply ("Supported starting in Windows 11"); then plain, for one that knows neither.
struct LayoutFlags {
    UINT32 query;
    UINT32 apply;
};
constexpr LayoutFlags kLayouts[] = {
    {QDC_VIRTUAL_MODE_AWARE | QDC_VIRTUAL_REFRESH_RATE_AWARE, SDC_VIRTUAL_MODE_AWARE | SDC_VIRTUAL_REFRESH_RATE_AWARE},
    {QDC_VIRTUAL_MODE_AWARE, SDC_VIRTUAL_MODE_AWARE},
    {0, 0},
};
// Shown at once and stored for these screens, as the display-settings way stores its records.
constexpr UINT32 kApplyAndStore = SDC_APPLY | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE;
// Shows the layout that Windows stored last for these screens: after a refused SetDisplayConfig, the one
// from before ("Return from a temporary mode to the last saved display configuration").
constexpr UINT32 kShowStored = SDC_APPLY | SDC_USE_DATABASE_CURRENT;

constexpr LONG kSuccess = static_cast<LONG>(ERROR_SUCCESS);

// A configuration with the layout of its mode indexes, as it was asked for.
struct Layout {
    DisplayConfig config;
    std::size_t layout = 0;  // in kLayouts
    LayoutFlags flags() const { return kLayouts[layout]; }
    bool aware() const { return (flags().query & QDC_VIRTUAL_MODE_AWARE) != 0; }
};

// The configuration shown now, in the first of kLayouts from `first` on that Windows takes (the last,
// plain, it always takes).
Layout shownLayout(std::size_t first) {
    for (std::size_t layout = first; layout + 1 < std::size(kLayouts); ++layout) {
        if (std::optional<DisplayConfig> config = getActiveDisplayConfigIfTaken(kLayouts[layout].query)) {
            return Layout{std::move(*config), layout};
        }
    }
    return Layout{getActiveDisplayConfig(), std::size(kLayouts) - 1};
}

LONG applyAndStore(Layout& layout) {
    return platform::setDisplayConfig(static_cast<UINT32>(layout.config.paths.size()), layout.config.paths.data(),
                                      static_cast<UINT32>(layout.config.modes.size()), layout.config.modes.data(),
                                      kApplyAndStore | layout.flags().apply);
}

bool sameAdapter(LUID a, LUID b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

// Whether `index` names a source mode entry of the path's own source.
bool namesOwnSourceMode(const Layout& layout, const DISPLAYCONFIG_PATH_INFO& path, UINT32 index) {
    if (index >= layout.config.modes.size()) {
        return false;
    }
    const DISPLAYCONFIG_MODE_INFO& mode = layout.config.modes[index];
    return mode.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE && mode.id == path.sourceInfo.id &&
           sameAdapter(mode.adapterId, path.sourceInfo.adapterId);
}

// The index of the path's source mode entry, when it names one that is the path's own source: in the
// aware layout sourceModeInfoIdx where the path supports virtual modes, modeInfoIdx otherwise, and where
// that names none, the other half of the union (Windows has been seen to fill in the virtual-mode
// indexes of a path without DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE).
std::optional<UINT32> sourceModeOf(const Layout& layout, const DISPLAYCONFIG_PATH_INFO& path) {
    const UINT32 plain = path.sourceInfo.modeInfoIdx;
    if (!layout.aware()) {
        return namesOwnSourceMode(layout, path, plain) ? std::optional<UINT32>(plain) : std::nullopt;
    }
    const UINT32 packed = path.sourceInfo.sourceModeInfoIdx;
    const bool virtualModes = (path.flags & DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE) != 0;
    for (const UINT32 index : {virtualModes ? packed : plain, virtualModes ? plain : packed}) {
        if (index != DISPLAYCONFIG_PATH_SOURCE_MODE_IDX_INVALID && namesOwnSourceMode(layout, path, index)) {
            return index;
        }
    }
    return std::nullopt;
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
    LONG result = kSuccess;
    for (std::size_t first = 0;; first = shown.layout + 1) {
        try {
            shown = shownLayout(first);
            wanted = Layout{rowConfiguration(shown, row), shown.layout};
        } catch (const DisplayConfigRefused&) {
            throw;  // not a failure of this way: a look that the session may not take now
        } catch (const std::exception& failure) {
            return DisplayConfigFailure{failure.what(), true};  // nothing changed yet
        }
        result = applyAndStore(wanted);
        // Flags that Windows refuses at the apply, though it took them in the query, change nothing:
        // the next layout is asked for, and applied with the flags it was asked with.
        if (result != static_cast<LONG>(ERROR_INVALID_PARAMETER) || shown.layout + 1 == std::size(kLayouts)) {
            break;
        }
    }
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
    // Windows may have shown or stored part of it; the put-back applies with the flags its
    // configuration was asked with.
    failure.putBack = putBack(shown);
    return failure;
}

RowConfiguration rowConfigurationFor(const std::vector<WideString>& row, std::size_t firstLayout) {
    const Layout shown = shownLayout(firstLayout);
    return RowConfiguration{rowConfiguration(shown, row), shown.flags().apply, shown.layout,
                            shown.layout + 1 == std::size(kLayouts)};
}

}  // namespace orvi
