// The events of a user's day in the simulated window system, and Windows' stored layout per set of
// screens that they meet (SimulatedWindowSystem.h).
#include "simulation/SimulatedWindowSystem.h"

#include "desktopfile/Utf8.h"

#include <algorithm>
#include <string>

namespace orvi::simulation {
namespace {

// What identifies an attached display device to Windows' store of layouts: its adapter, its source,
// and the monitors on it (each monitor's device path names its connector).
std::u16string identityOf(const SimulatedAdapter& adapter, std::size_t source) {
    const SimulatedDisplay& display = adapter.displays[source];
    const std::string id = std::to_string(display.sourceId.value_or(static_cast<UINT32>(source)));
    std::u16string identity = adapter.hardwareId + u"|" + std::u16string(id.begin(), id.end());
    for (const SimulatedMonitor& monitor : display.monitors) {
        identity += u"|" + monitor.devicePath;
    }
    return identity;
}

// Visits every attached display device of a desktop (const or not) with its identity.
template <typename Desktop, typename Visit>
void forEachAttached(Desktop& desktop, Visit visit) {
    for (auto& adapter : desktop.adapters) {
        for (std::size_t source = 0; source < adapter.displays.size(); ++source) {
            if (adapter.displays[source].attached) {
                visit(identityOf(adapter, source), adapter.displays[source]);
            }
        }
    }
}

// Makes `primary` the primary display at (0, 0), every attached display device moved alike; coordinates
// that no real screen has wrap around in 32 bits instead of overflowing.
void moveToTheOrigin(SimulatedDesktop& desktop, SimulatedDisplay& primary) {
    const DWORD dx = static_cast<DWORD>(primary.x);
    const DWORD dy = static_cast<DWORD>(primary.y);
    forEachAttached(desktop, [&](const std::u16string&, SimulatedDisplay& display) {
        display.x = static_cast<LONG>(static_cast<DWORD>(display.x) - dx);
        display.y = static_cast<LONG>(static_cast<DWORD>(display.y) - dy);
        display.primary = &display == &primary;
    });
}

bool samePlaces(const SimulatedDesktop& a, const SimulatedDesktop& b) {
    for (std::size_t adapter = 0; adapter < a.adapters.size(); ++adapter) {
        for (std::size_t source = 0; source < a.adapters[adapter].displays.size(); ++source) {
            const SimulatedDisplay& one = a.adapters[adapter].displays[source];
            const SimulatedDisplay& other = b.adapters[adapter].displays[source];
            if (one.x != other.x || one.y != other.y || one.primary != other.primary) {
                return false;
            }
        }
    }
    return true;
}

// Gives every display device of `to` the place and the primary flag of its namesake in `from`, a
// desktop of the same display devices.
void copyPlaces(const SimulatedDesktop& from, SimulatedDesktop& to) {
    for (std::size_t adapter = 0; adapter < from.adapters.size(); ++adapter) {
        for (std::size_t source = 0; source < from.adapters[adapter].displays.size(); ++source) {
            const SimulatedDisplay& given = from.adapters[adapter].displays[source];
            SimulatedDisplay& taken = to.adapters[adapter].displays[source];
            taken.x = given.x;
            taken.y = given.y;
            taken.primary = given.primary;
        }
    }
}

template <typename Item, typename Time>
std::optional<std::int64_t> earliestOf(const std::vector<Item>& items, Time time) {
    std::optional<std::int64_t> earliest;
    for (const Item& item : items) {
        const std::int64_t at = time(item);
        earliest = earliest ? std::min(*earliest, at) : at;
    }
    return earliest;
}

std::optional<std::int64_t> earlier(std::optional<std::int64_t> a, std::optional<std::int64_t> b) {
    if (a && b) {
        return std::min(*a, *b);
    }
    return a ? a : b;
}

// Moves the items whose time is `time` out of `items`, in their order.
template <typename Item, typename Time>
std::vector<Item> takeAt(std::vector<Item>& items, std::int64_t time, Time timeOf) {
    const auto due =
        std::stable_partition(items.begin(), items.end(), [&](const Item& item) { return timeOf(item) == time; });
    std::vector<Item> taken(std::make_move_iterator(items.begin()), std::make_move_iterator(due));
    items.erase(items.begin(), due);
    return taken;
}

}  // namespace

void SimulatedWindowSystem::unplugAt(std::int64_t time, AdapterChoice adapter) {
    unplugs_.push_back(TimedUnplug{time, std::move(adapter)});
}

void SimulatedWindowSystem::makePrimaryAt(std::int64_t time, std::u16string deviceName) {
    primaries_.push_back(TimedPrimary{time, std::move(deviceName)});
}

void SimulatedWindowSystem::sleepBetween(std::int64_t from, std::int64_t to, AfterSleep afterwards, bool resumeNotice) {
    sleeps_.push_back(TimedSleep{from, to, afterwards, resumeNotice});
}

void SimulatedWindowSystem::scheduleRelayout(std::int64_t time) {
    TimedRelayout relayout{time, screenSet(), {}};
    forEachAttached(desktop_, [&relayout](const std::u16string& identity, const SimulatedDisplay& display) {
        relayout.placements[identity] = Placement{display.x, display.y, display.primary};
    });
    relayouts_.push_back(std::move(relayout));
}

void SimulatedWindowSystem::relayOut(const TimedRelayout& relayout, std::int64_t time) {
    if (screenSet() != relayout.set) {
        return;  // the screens changed meanwhile: that layout is no longer this set's
    }
    narrate("Windows lays the screens out again as at the plug-in", time);
    const SimulatedDesktop before = desktop_;
    forEachAttached(desktop_, [&relayout](const std::u16string& identity, SimulatedDisplay& display) {
        const Placement& placement = relayout.placements.at(identity);
        display.x = placement.x;
        display.y = placement.y;
        display.primary = placement.primary;
    });
    storeShownLayout();
    if (!samePlaces(before, desktop_)) {
        ++screenChanges_;
        ++notices_.screens;
    }
}

std::optional<std::int64_t> SimulatedWindowSystem::asleepUntil() const {
    const std::int64_t time = now();
    for (const TimedSleep& sleep : sleeps_) {
        if (sleep.from <= time && time < sleep.to) {
            return sleep.to;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> SimulatedWindowSystem::nextEventTime() const {
    std::optional<std::int64_t> next = earlier(nextPlugInTime(), nextUnlockTime());
    next = earlier(next, earliestOf(unplugs_, [](const TimedUnplug& unplug) { return unplug.time; }));
    next = earlier(next, earliestOf(primaries_, [](const TimedPrimary& primary) { return primary.time; }));
    next = earlier(next, earliestOf(relayouts_, [](const TimedRelayout& relayout) { return relayout.time; }));
    const std::int64_t time = now();
    // A sleep to come begins, one under way ends.
    next = earlier(next, earliestOf(sleeps_, [time](const TimedSleep& sleep) {
                       return sleep.from > time ? sleep.from : sleep.to;
                   }));
    if (sessionEnd_ && *sessionEnd_ > time) {
        next = earlier(next, sessionEnd_);
    }
    return next;
}

void SimulatedWindowSystem::happenDue() {
    const std::int64_t time = now();
    const auto unplugTime = [](const TimedUnplug& unplug) { return unplug.time; };
    const auto primaryTime = [](const TimedPrimary& primary) { return primary.time; };
    const auto relayoutTime = [](const TimedRelayout& relayout) { return relayout.time; };
    // A sleep to come begins, one under way ends.
    const auto sleepTime = [](const TimedSleep& sleep) { return sleep.begun ? sleep.to : sleep.from; };
    bool happened = false;  // an event that the file written then no longer holds
    // One second of the day after the other, so that each event is told at its own second.
    for (;;) {
        std::optional<std::int64_t> next = earliestOf(unplugs_, unplugTime);
        next = earlier(next, earliestOf(primaries_, primaryTime));
        next = earlier(next, earliestOf(sleeps_, sleepTime));
        next = earlier(next, earliestOf(relayouts_, relayoutTime));
        for (const SessionLock& lock : sessionLocks_) {
            if (narratedLocksUntil_ < lock.from) {
                next = earlier(next, lock.from);
            }
        }
        if (sessionEnd_ && !sessionEndNarrated_) {
            next = earlier(next, sessionEnd_);
        }
        // The adapters due by the next other event (or by now) arrive together, with one notice, as
        // when they came while the tool was busy; each is told at its own second.
        if (nextPlugInTime() && *nextPlugInTime() <= time) {
            plugInBy(next ? std::min(*next, time) : time);  // which stores the day itself
        }
        if (!next || *next > time) {
            break;
        }
        const std::int64_t at = *next;
        for (const TimedSleep& sleep : takeAt(
                 sleeps_, at, [](const TimedSleep& each) { return each.begun ? each.to : std::int64_t{INT64_MIN}; })) {
            resume(sleep.afterwards, sleep.resumeNotice, at);
            happened = true;
        }
        for (const TimedUnplug& unplugging : takeAt(unplugs_, at, unplugTime)) {
            unplug(unplugging.adapter, at);
            happened = true;
        }
        for (const TimedPrimary& primary : takeAt(primaries_, at, primaryTime)) {
            makePrimary(primary.deviceName, at);
            happened = true;
        }
        for (TimedSleep& sleep : sleeps_) {
            if (!sleep.begun && sleep.from == at) {
                sleep.begun = true;
                narrate("the PC sleeps", at);
            }
        }
        for (const SessionLock& lock : sessionLocks_) {
            if (lock.from == at) {
                narrate("the session is locked", at);
            }
        }
        narratedLocksUntil_ = at;
        for (const TimedRelayout& relayout : takeAt(relayouts_, at, relayoutTime)) {
            relayOut(relayout, at);
        }
        if (sessionEnd_ == at) {
            sessionEndNarrated_ = true;
            narrate("the session ends", at);
            happened = true;
        }
    }
    if (happened) {
        storeTheDay();
    }
}

std::string SimulatedWindowSystem::whileAsleep() const {
    const bool asleep =
        std::any_of(sleeps_.begin(), sleeps_.end(), [](const TimedSleep& sleep) { return sleep.begun; });
    return asleep ? ", while the PC sleeps: Windows hears of it at the resume" : "";
}

void SimulatedWindowSystem::storeTheDay() {
    if (layoutStore_) {
        layoutStore_(storedLayout_);
    }
}

void SimulatedWindowSystem::narrate(const std::string& what, std::optional<std::int64_t> time) const {
    if (narration_) {
        narration_(time.value_or(now()), what);
    }
}

SimulatedWindowSystem::ScreenSet SimulatedWindowSystem::screenSet() const {
    ScreenSet set;
    forEachAttached(desktop_,
                    [&set](const std::u16string& identity, const SimulatedDisplay&) { set.push_back(identity); });
    std::sort(set.begin(), set.end());
    return set;
}

SimulatedWindowSystem::ScreenSet SimulatedWindowSystem::keepLayoutOfThisSet() {
    const ScreenSet set = screenSet();
    StoredPlacements& placements = storedLayouts_[set];
    placements.clear();
    forEachAttached(storedLayout_, [&placements](const std::u16string& identity, SimulatedDisplay& display) {
        placements[identity] = Placement{display.x, display.y, display.primary};
    });
    return set;
}

void SimulatedWindowSystem::layOutThisSet(const ScreenSet& before, bool primaryMayHaveGone) {
    const ScreenSet now = screenSet();
    if (now == before) {
        return;  // an adapter without screens: Windows lays nothing out anew
    }
    const auto stored = storedLayouts_.find(now);
    for (SimulatedDesktop* desktop : {&desktop_, &storedLayout_}) {
        if (stored != storedLayouts_.end()) {
            forEachAttached(*desktop, [&stored](const std::u16string& identity, SimulatedDisplay& display) {
                const auto placement = stored->second.find(identity);
                if (placement != stored->second.end()) {
                    display.x = placement->second.x;
                    display.y = placement->second.y;
                    display.primary = placement->second.primary;
                }
            });
            continue;
        }
        bool primary = !primaryMayHaveGone;
        forEachAttached(*desktop, [&primary](const std::u16string&, SimulatedDisplay& display) {
            primary = primary || display.primary;
        });
        for (const DisplayRef ref : displaysInDeviceOrder()) {
            SimulatedDisplay& first = desktop->adapters[ref.adapter].displays[ref.source];
            if (!primary && first.attached) {
                moveToTheOrigin(*desktop, first);
                primary = true;
            }
        }
    }
}

void SimulatedWindowSystem::unplug(const AdapterChoice& adapter, std::int64_t time) {
    std::optional<std::size_t> index;
    if (const std::size_t* number = std::get_if<std::size_t>(&adapter)) {
        if (*number < desktop_.adapters.size()) {
            index = *number;
        }
    } else {
        const std::u16string& name = std::get<std::u16string>(adapter);
        for (std::size_t i = 0; i < desktop_.adapters.size() && !index; ++i) {
            if (desktop_.adapters[i].name == name) {
                index = i;
            }
        }
    }
    if (!index) {
        narrate("nothing to unplug: no such adapter", time);
        return;
    }
    narrate("unplugged: " + utf16ToUtf8(desktop_.adapters[*index].name) + whileAsleep(), time);
    const ScreenSet before = keepLayoutOfThisSet();
    desktop_.adapters.erase(desktop_.adapters.begin() + static_cast<std::ptrdiff_t>(*index));
    storedLayout_.adapters.erase(storedLayout_.adapters.begin() + static_cast<std::ptrdiff_t>(*index));
    recordedChanges_.clear();  // of display devices that may be gone
    layOutThisSet(before, true);
    ++screenChanges_;
    ++notices_.screens;
}

void SimulatedWindowSystem::makePrimary(const std::u16string& deviceName, std::int64_t time) {
    SimulatedDisplay* chosen = nullptr;
    forEachAttached(desktop_, [&](const std::u16string&, SimulatedDisplay& display) {
        if (chosen == nullptr && display.deviceName == deviceName) {
            chosen = &display;
        }
    });
    if (chosen == nullptr) {
        narrate("the user cannot make " + utf16ToUtf8(deviceName) + " primary: it is not attached", time);
        return;
    }
    narrate("the user makes " + utf16ToUtf8(deviceName) + " the primary display", time);
    moveToTheOrigin(desktop_, *chosen);
    storeShownLayout();
    ++notices_.screens;
}

void SimulatedWindowSystem::resume(AfterSleep afterwards, bool resumeNotice, std::int64_t time) {
    const SimulatedDesktop before = desktop_;
    if (afterwards == AfterSleep::Stored) {
        copyPlaces(storedLayout_, desktop_);
    } else {
        LONG x = 0;
        bool first = true;
        for (const DisplayRef ref : displaysInDeviceOrder()) {
            SimulatedDisplay& display = desktop_.adapters[ref.adapter].displays[ref.source];
            if (!display.attached) {
                continue;
            }
            display.primary = first;
            display.x = x;
            display.y = 0;
            x = static_cast<LONG>(static_cast<DWORD>(x) + display.width);
            first = false;
        }
        storeShownLayout();
    }
    narrate(
        std::string(afterwards == AfterSleep::Stored ? "the PC resumes; Windows lays the screens out as it stored them"
                                                     : "the PC resumes; Windows resets the layout") +
            (resumeNotice ? "" : " (no resume notice reaches the tool)"),
        time);
    if (resumeNotice) {
        ++notices_.resumes;
    }
    if (!samePlaces(before, desktop_)) {
        ++screenChanges_;
        ++notices_.screens;
    }
}

void SimulatedWindowSystem::storeShownLayout() {
    copyPlaces(desktop_, storedLayout_);
    if (layoutStore_) {
        layoutStore_(storedLayout_);
    }
}

}  // namespace orvi::simulation
