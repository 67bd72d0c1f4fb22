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
// Whether two configurations show the same screens: the same active paths, source to target.
bool sameScreens(const DisplayConfig& a, const DisplayConfig& b) {
    return std::equal(a.paths.begin(), a.paths.end(), b.paths.begin(), b.paths.end(),
                      [](const DISPLAYCONFIG_PATH_INFO& one, const DISPLAYCONFIG_PATH_INFO& other) {
                          return sameAdapter(one.sourceInfo.adapterId, other.sourceInfo.adapterId) &&
                                 one.sourceInfo.id == other.sourceInfo.id &&
                                 sameAdapter(one.targetInfo.adapterId, other.targetInfo.adapterId) &&
                                 one.targetInfo.id == other.targetInfo.id;
                      });
}

// Whether two configurations of one layout show the same screens where they stand: the same paths
// and every source mode of the same size at the same place.
bool sameConfiguration(const DisplayConfig& a, const DisplayConfig& b) {
    return sameScreens(a, b) &&
           std::equal(a.modes.begin(), a.modes.end(), b.modes.begin(), b.modes.end(),
                      [](const DISPLAYCONFIG_MODE_INFO& one, const DISPLAYCONFIG_MODE_INFO& other) {
                          if (one.infoType != other.infoType || one.id != other.id ||
                              !sameAdapter(one.adapterId, other.adapterId)) {
                              return false;
                          }
                          if (one.infoType != DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) {
                              return true;
                          }
                          const DISPLAYCONFIG_SOURCE_MODE& first = one.sourceMode;
                          const DISPLAYCONFIG_SOURCE_MODE& second = other.sourceMode;
                          return first.width == second.width && first.height == second.height &&
                                 first.position.x == second.position.x && first.position.y == second.position.y;
                      });
}

// Whether Windows shows `shown` still, asked in its own layout; false when that cannot be read.
bool showsStill(const Layout& shown) {
    try {
        const Layout now = shownLayout(shown.layout);
        return now.layout == shown.layout && sameConfiguration(now.config, shown.config);
    } catch (const std::exception&) {
        return false;
    }
}

// Shows and stores the configuration from before again, unless Windows shows it still (nothing to
// restore, and nothing to store over the layout it keeps); when Windows refuses that twice, shows the
// layout it stored last. True when one of them succeeded.
bool putBackShown(Layout& shown) {
    return showsStill(shown) || putBackCall([&] { return applyAndStore(shown); }) ||
           platform::setDisplayConfig(0, nullptr, 0, nullptr, kShowStored) == kSuccess;
}

// Asks whether Windows takes the configuration, changing nothing.
constexpr UINT32 kValidateFlags = SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG;

LONG validate(Layout& layout) {
    return platform::setDisplayConfig(static_cast<UINT32>(layout.config.paths.size()), layout.config.paths.data(),
                                      static_cast<UINT32>(layout.config.modes.size()), layout.config.modes.data(),
                                      kValidateFlags | layout.flags().apply);
}

constexpr LONG kInvalidParameter = static_cast<LONG>(ERROR_INVALID_PARAMETER);

// How often the configuration is asked for again when the screens changed between a query and its
// apply (a screen plugged in meanwhile): a few times cover a plug-in, whose changes come together.
constexpr int kQueriesAgain = 2;

// The configuration shown now in `first` or a later layout, with the row made of it.
struct Asked {
    Layout shown;
    Layout wanted;
};
Asked ask(std::size_t first, const std::vector<WideString>& row) {
    Layout shown = shownLayout(first);
    Layout wanted{rowConfiguration(shown, row), shown.layout};
    return Asked{std::move(shown), std::move(wanted)};
}

// After Windows refused the row with ERROR_INVALID_PARAMETER: the screens changed since the query (the
// configuration is asked for again, in the same layout), or the apply does not take the flags (the next
// layouts are asked for, and the first that Windows validates is taken). Nothing when neither holds;
// otherwise what to apply next, and whether Windows validated it already.
std::optional<Asked> askAfterRefusal(const Asked& refused, const std::vector<WideString>& row, int& queriedAgain) {
    const bool fewerFlags = refused.shown.layout + 1 < std::size(kLayouts);
    Asked next = ask(fewerFlags ? refused.shown.layout + 1 : refused.shown.layout, row);
    if (!sameScreens(next.shown.config, refused.shown.config)) {
        if (++queriedAgain > kQueriesAgain) {
            return std::nullopt;
        }
        return ask(refused.shown.layout, row);
    }
    if (!fewerFlags) {
        return std::nullopt;  // the same screens, and no flags left to drop
    }
    return next;
}

}  // namespace

std::optional<DisplayConfigFailure> switchThroughDisplayConfig(const std::vector<WideString>& row, bool putBack) {
    Asked asked;
    LONG result = kSuccess;
    int queriedAgain = 0;
    try {
        asked = ask(0, row);
        result = applyAndStore(asked.wanted);
        while (result == kInvalidParameter) {
            std::optional<Asked> next = askAfterRefusal(asked, row, queriedAgain);
            if (!next) {
                break;
            }
            const bool stepsDown = next->shown.layout != asked.shown.layout;
            asked = std::move(*next);
            // Before fewer flags are applied, Windows is asked whether it takes them; an answer of 87 goes
            // on to the next layout, the same way.
            result = stepsDown ? validate(asked.wanted) : kSuccess;
            if (result == kSuccess) {
                result = applyAndStore(asked.wanted);
            } else if (result != kInvalidParameter) {
                break;
            }
        }
    } catch (const DisplayConfigRefused&) {
        throw;  // not a failure of this way: a look that the session may not take now
    } catch (const std::exception& failure) {
        return DisplayConfigFailure{failure.what(), true};  // nothing changed: every apply was refused
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
    // Windows may have shown or stored part of it; the put-back applies with the flags its configuration
    // was asked with. Refused with 87 (the flags, or screens that kept changing), Windows applied
    // nothing: there is nothing to put back.
    failure.putBack = result == kInvalidParameter || (putBack && putBackShown(asked.shown));
    return failure;
}

RowVerdict validateRow(const std::vector<WideString>& row) {
    for (std::size_t first = 0;;) {
        Asked asked = ask(first, row);
        const LONG result = validate(asked.wanted);
        if (result != kInvalidParameter || asked.shown.layout + 1 == std::size(kLayouts)) {
            return RowVerdict{result, kValidateFlags | asked.wanted.flags().apply};
        }
        first = asked.shown.layout + 1;
    }
}

}  // namespace orvi
