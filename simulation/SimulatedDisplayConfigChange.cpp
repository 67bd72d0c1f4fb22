// SetDisplayConfig of the simulated window system (simulation/SimulatedWindowSystem.h).
#include "simulation/SimulatedWindowSystem.h"

#include <cstdint>
#include <optional>
#include <set>
#include <utility>

namespace orvi::simulation {
namespace {

constexpr LONG kSuccess = static_cast<LONG>(ERROR_SUCCESS);
constexpr LONG kInvalidParameter = static_cast<LONG>(ERROR_INVALID_PARAMETER);
constexpr UINT32 kAwareFlags = SDC_VIRTUAL_MODE_AWARE | SDC_VIRTUAL_REFRESH_RATE_AWARE;
constexpr UINT32 kKnownFlags = SDC_APPLY | SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE |
                               SDC_ALLOW_CHANGES | SDC_USE_DATABASE_CURRENT | kAwareFlags;

using Place = std::pair<std::size_t, std::size_t>;  // (adapter, source)

struct Area {
    std::int64_t left, top, right, bottom;
};

Area areaOf(const SimulatedDisplay& display) {
    return Area{display.x, display.y, std::int64_t{display.x} + display.width,
                std::int64_t{display.y} + display.height};
}

bool overlap(const Area& a, const Area& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Two screens touch when they share a piece of an edge, not only a corner.
bool touch(const Area& a, const Area& b) {
    const bool sideBySide = (a.right == b.left || b.right == a.left) && a.top < b.bottom && b.top < a.bottom;
    const bool stacked = (a.bottom == b.top || b.bottom == a.top) && a.left < b.right && b.left < a.right;
    return sideBySide || stacked;
}

// One desktop: no two screens overlap, and every screen can be reached from every other over edges.
bool oneDesktop(const std::vector<Area>& areas) {
    for (std::size_t i = 0; i < areas.size(); ++i) {
        for (std::size_t j = i + 1; j < areas.size(); ++j) {
            if (overlap(areas[i], areas[j])) {
                return false;
            }
        }
    }
    std::vector<bool> reached(areas.size(), false);
    std::vector<std::size_t> next;
    if (!areas.empty()) {
        reached[0] = true;
        next.push_back(0);
    }
    while (!next.empty()) {
        const std::size_t current = next.back();
        next.pop_back();
        for (std::size_t other = 0; other < areas.size(); ++other) {
            if (!reached[other] && touch(areas[current], areas[other])) {
                reached[other] = true;
                next.push_back(other);
            }
        }
    }
    for (const bool screen : reached) {
        if (!screen) {
            return false;
        }
    }
    return true;
}

bool sameAdapter(LUID a, LUID b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

// The mode entry that a path's index names, when it is one of `type` for this adapter and id.
const DISPLAYCONFIG_MODE_INFO* modeAt(UINT32 index, UINT32 modeCount, const DISPLAYCONFIG_MODE_INFO* modes,
                                      DISPLAYCONFIG_MODE_INFO_TYPE type, LUID adapterId, UINT32 id) {
    if (index >= modeCount || modes == nullptr) {
        return nullptr;
    }
    const DISPLAYCONFIG_MODE_INFO& mode = modes[index];
    return mode.infoType == type && mode.id == id && sameAdapter(mode.adapterId, adapterId) ? &mode : nullptr;
}

// Where a path's indexes point. With SDC_VIRTUAL_MODE_AWARE a path with
// DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE is read in the virtual-mode-aware layout, each index holding
// two 16-bit ones, the first bit field in the low half (0xffff: none); a path without the flag in the
// plain layout, and where its source index names no source mode of its own, in the packed one (Windows
// has been seen to give packed indexes without the flag, and to read them so).
struct PathModes {
    UINT32 source;
    UINT32 target;
    std::optional<UINT32> desktopImage;  // the virtual-mode-aware layout only
};

PathModes packedModesOf(const DISPLAYCONFIG_PATH_INFO& path) {
    constexpr UINT32 kNone16 = 0xffff;
    const auto high = [](UINT32 index) { return index >> 16; };
    const UINT32 target = high(path.targetInfo.modeInfoIdx);
    return PathModes{high(path.sourceInfo.modeInfoIdx),
                     target == kNone16 ? DISPLAYCONFIG_PATH_MODE_IDX_INVALID : target,
                     path.targetInfo.modeInfoIdx & kNone16};
}

PathModes modesOf(const DISPLAYCONFIG_PATH_INFO& path, bool virtualModes, UINT32 modeCount,
                  const DISPLAYCONFIG_MODE_INFO* modes) {
    const PathModes plain{path.sourceInfo.modeInfoIdx, path.targetInfo.modeInfoIdx, std::nullopt};
    if (!virtualModes) {
        return plain;
    }
    if ((path.flags & DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE) != 0 ||
        modeAt(plain.source, modeCount, modes, DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE, path.sourceInfo.adapterId,
               path.sourceInfo.id) == nullptr) {
        return packedModesOf(path);
    }
    return plain;
}

// A target or desktop image index that names no entry, or one of that type for the path's target.
bool noneOrTargets(std::optional<UINT32> index, UINT32 none, DISPLAYCONFIG_MODE_INFO_TYPE type, UINT32 modeCount,
                   const DISPLAYCONFIG_MODE_INFO* modes, const DISPLAYCONFIG_PATH_TARGET_INFO& target) {
    return !index || *index == none || modeAt(*index, modeCount, modes, type, target.adapterId, target.id) != nullptr;
}

// The refresh rate in whole Hz; none for 0/0 ("the most optimal refresh rate available") or 0 Hz.
std::optional<DWORD> wholeHertz(DISPLAYCONFIG_RATIONAL rate) {
    if (rate.Numerator == 0 || rate.Denominator == 0) {
        return std::nullopt;
    }
    return static_cast<DWORD>((std::uint64_t{rate.Numerator} + rate.Denominator / 2) / rate.Denominator);
}

}  // namespace

LONG SimulatedWindowSystem::setDisplayConfig(UINT32 pathCount, DISPLAYCONFIG_PATH_INFO* paths, UINT32 modeCount,
                                             DISPLAYCONFIG_MODE_INFO* modes, UINT32 flags) {
    SimulatedCall call;
    call.operation = DisplayOperation::SetDisplayConfig;
    call.index = pathCount;
    call.flags = flags;
    if (const std::optional<LONG> failure = countCall(call.operation)) {
        call.result = *failure;
    } else if (consoleAccessRefused()) {
        call.result = static_cast<LONG>(ERROR_ACCESS_DENIED);
    } else {
        call.result = changeConfiguration(pathCount, paths, modeCount, modes, flags);
    }
    return record(std::move(call));
}

LONG SimulatedWindowSystem::changeConfiguration(UINT32 pathCount, const DISPLAYCONFIG_PATH_INFO* paths,
                                                UINT32 modeCount, const DISPLAYCONFIG_MODE_INFO* modes, UINT32 flags) {
    if ((flags & ~kKnownFlags) != 0 || (flags & (SDC_APPLY | SDC_VALIDATE)) == 0 ||
        ((flags & kAwareFlags) != 0 && (desktop_.virtualModeAware == VirtualModeAware::Refused ||
                                        desktop_.virtualModeAware == VirtualModeAware::AwareRefusedAtApply)) ||
        ((flags & SDC_VIRTUAL_REFRESH_RATE_AWARE) != 0 &&
         desktop_.virtualModeAware == VirtualModeAware::RefreshRateRefusedAtApply)) {
        return kInvalidParameter;
    }
    if ((flags & SDC_USE_DATABASE_CURRENT) != 0) {
        const bool valid = (flags & SDC_USE_DATABASE_CURRENT) == SDC_USE_DATABASE_CURRENT &&
                           (flags & (SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE | kAwareFlags)) == 0 &&
                           pathCount == 0 && paths == nullptr && modeCount == 0 && modes == nullptr;
        return !valid ? kInvalidParameter : (flags & SDC_APPLY) != 0 ? showStoredLayout() : kSuccess;
    }
    if ((flags & SDC_USE_SUPPLIED_DISPLAY_CONFIG) == 0 || pathCount == 0 || paths == nullptr ||
        (modeCount != 0 && modes == nullptr) || screenChangesQueried_ != screenChanges_) {
        return kInvalidParameter;
    }
    const bool virtualModes = (flags & SDC_VIRTUAL_MODE_AWARE) != 0;

    SimulatedDesktop changed = desktop_;
    std::set<Place> shown;
    for (UINT32 index = 0; index < pathCount; ++index) {
        const DISPLAYCONFIG_PATH_INFO& path = paths[index];
        if ((path.flags & DISPLAYCONFIG_PATH_ACTIVE) == 0) {
            continue;
        }
        const std::optional<std::size_t> adapter = findAdapter(path.sourceInfo.adapterId);
        if (!adapter) {
            return kInvalidParameter;
        }
        std::vector<SimulatedDisplay>& displays = changed.adapters[*adapter].displays;
        std::optional<std::size_t> source;
        UINT32 firstTarget = 0;  // the counted id of the source's first monitor
        for (std::size_t candidate = 0; candidate < displays.size() && !source; ++candidate) {
            if (displays[candidate].sourceId.value_or(static_cast<UINT32>(candidate)) == path.sourceInfo.id) {
                source = candidate;
            } else {
                firstTarget += static_cast<UINT32>(displays[candidate].monitors.size());
            }
        }
        if (!source) {
            return kInvalidParameter;
        }
        // The target must be a monitor of this source: the simulated desktop's wiring is fixed.
        SimulatedDisplay& display = displays[*source];
        bool wired = false;
        for (std::size_t monitor = 0; monitor < display.monitors.size(); ++monitor) {
            const SimulatedMonitor& target = display.monitors[monitor];
            wired = wired ||
                    (sameAdapter(adapterLuid(target.targetAdapter.value_or(*adapter)), path.targetInfo.adapterId) &&
                     target.targetId.value_or(firstTarget + static_cast<UINT32>(monitor)) == path.targetInfo.id);
        }
        if (!wired) {
            return kInvalidParameter;
        }
        const PathModes indexes = modesOf(path, virtualModes, modeCount, modes);
        const DISPLAYCONFIG_MODE_INFO* sourceMode =
            modeAt(indexes.source, modeCount, modes, DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE, path.sourceInfo.adapterId,
                   path.sourceInfo.id);
        if (sourceMode == nullptr ||
            !noneOrTargets(indexes.target, DISPLAYCONFIG_PATH_MODE_IDX_INVALID, DISPLAYCONFIG_MODE_INFO_TYPE_TARGET,
                           modeCount, modes, path.targetInfo) ||
            !noneOrTargets(indexes.desktopImage, 0xffff, DISPLAYCONFIG_MODE_INFO_TYPE_DESKTOP_IMAGE, modeCount, modes,
                           path.targetInfo)) {
            return kInvalidParameter;
        }
        display.attached = true;
        display.x = sourceMode->sourceMode.position.x;
        display.y = sourceMode->sourceMode.position.y;
        display.width = sourceMode->sourceMode.width;
        display.height = sourceMode->sourceMode.height;
        // The path's refresh rate is the virtual one; the virtual-refresh-rate-aware caller also says
        // whether the panel boosts it (dynamic refresh). One unaware of it cannot say, and its
        // configuration leaves dynamic refresh as it is.
        display.refreshRate = wholeHertz(path.targetInfo.refreshRate).value_or(display.refreshRate);
        if ((flags & SDC_VIRTUAL_REFRESH_RATE_AWARE) != 0) {
            display.dynamicRefresh = (path.flags & DISPLAYCONFIG_PATH_BOOST_REFRESH_RATE) != 0;
        }
        shown.insert(Place{*adapter, *source});
    }

    std::vector<Area> areas;
    std::size_t atOrigin = 0;
    Place newPrimary{};
    for (std::size_t adapter = 0; adapter < changed.adapters.size(); ++adapter) {
        std::vector<SimulatedDisplay>& displays = changed.adapters[adapter].displays;
        for (std::size_t source = 0; source < displays.size(); ++source) {
            SimulatedDisplay& display = displays[source];
            display.attached = shown.count(Place{adapter, source}) != 0;  // a path left out is switched off
            display.primary = display.attached && display.x == 0 && display.y == 0;
            if (display.attached) {
                areas.push_back(areaOf(display));
                if (display.primary) {
                    ++atOrigin;
                    newPrimary = Place{adapter, source};
                }
            }
        }
    }
    if (atOrigin != 1 || !oneDesktop(areas)) {
        return kInvalidParameter;
    }
    if ((flags & SDC_APPLY) == 0) {
        return kSuccess;
    }
    // One display is primary before and after: the primary moves unless the new one is the old one.
    const SimulatedDisplay& before = desktop_.adapters[newPrimary.first].displays[newPrimary.second];
    if (desktop_.declinesPrimary && !(before.primary && before.attached)) {
        return kSuccess;
    }
    if ((flags & SDC_SAVE_TO_DATABASE) != 0) {
        if (layoutStore_ && !layoutStore_(changed)) {
            return static_cast<LONG>(ERROR_GEN_FAILURE);
        }
        storedLayout_ = changed;
    }
    desktop_ = std::move(changed);
    ++notices_.screens;  // WM_DISPLAYCHANGE
    return kSuccess;
}

LONG SimulatedWindowSystem::showStoredLayout() {
    const auto primaryOf = [](const SimulatedDesktop& desktop) -> const SimulatedDisplay* {
        for (const SimulatedAdapter& adapter : desktop.adapters) {
            for (const SimulatedDisplay& display : adapter.displays) {
                if (display.primary && display.attached) {
                    return &display;
                }
            }
        }
        return nullptr;
    };
    const SimulatedDisplay* storedPrimary = primaryOf(storedLayout_);
    const SimulatedDisplay* shownPrimary = primaryOf(desktop_);
    const bool primaryMoves = (storedPrimary == nullptr) != (shownPrimary == nullptr) ||
                              (storedPrimary != nullptr && storedPrimary->deviceName != shownPrimary->deviceName);
    if (!(desktop_.declinesPrimary && primaryMoves)) {
        desktop_ = storedLayout_;
        ++notices_.screens;  // WM_DISPLAYCHANGE
    }
    return kSuccess;
}

}  // namespace orvi::simulation
