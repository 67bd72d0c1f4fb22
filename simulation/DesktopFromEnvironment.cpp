#include "simulation/DesktopFromEnvironment.h"

#include "desktopfile/DesktopFile.h"
#include "simulation/DefaultDesktop.h"
#include "simulation/PlugInSchedule.h"
#include "simulation/SimulatedWindowSystem.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>

namespace orvi::simulation {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

std::int64_t performanceCounter() {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

unsigned secondOf(std::int64_t time, std::int64_t start) {
    return static_cast<unsigned>((time - start) / kNanosecondsPerSecond);
}

// The events of the day that have not happened yet, as the file gives them.
void addTheDayToCome(const SimulatedWindowSystem& system, std::int64_t start, DesktopFile& file) {
    for (const SimulatedWindowSystem::TimedUnplug& unplug : system.unplugsToCome()) {
        file.unplugs.push_back(PlannedUnplug{secondOf(unplug.time, start), unplug.adapter});
    }
    for (const SimulatedWindowSystem::TimedPrimary& primary : system.primariesToCome()) {
        file.userPrimary.push_back(PlannedPrimary{secondOf(primary.time, start), primary.deviceName});
    }
    for (const SimulatedWindowSystem::TimedSleep& sleep : system.sleepsToCome()) {
        file.sleeps.push_back(
            PlannedSleep{secondOf(sleep.from, start), secondOf(sleep.to, start), sleep.afterwards, sleep.resumeNotice});
    }
    if (const std::optional<std::int64_t> end = system.sessionEnd(); end && !system.sessionHasEnded()) {
        file.sessionEndsAtSecond = secondOf(*end, start);
    }
}

// The session locks of the file that have not ended by now.
std::vector<PlannedSessionLock> locksToCome(const std::vector<PlannedSessionLock>& locks, std::int64_t start,
                                            std::int64_t now) {
    std::vector<PlannedSessionLock> toCome;
    std::copy_if(locks.begin(), locks.end(), std::back_inserter(toCome), [&](const PlannedSessionLock& lock) {
        return start + std::int64_t{lock.toSecond} * kNanosecondsPerSecond > now;
    });
    return toCome;
}

}  // namespace

void useDesktopFromEnvironment() {
    const char* variable = std::getenv("SIMULATED_DESKTOP");
    const std::string path = variable != nullptr ? variable : "";
    SimulatedWindowSystem& system = simulatedWindowSystem();
    if (path.empty()) {
        system.reset(defaultDesktop());
        return;
    }
    DesktopFile file;
    try {
        file = readDesktopFile(path);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(std::string("Simulated desktop ") + error.what());
    }
    system.reset(file.desktop);
    // Seconds count from here, on the performance counter (nanoseconds on the host), which Sleep
    // moves on virtual time; the window system's pauses sleep on the same clock.
    system.setClock(performanceCounter);
    system.setSleep([](DWORD milliseconds) { Sleep(milliseconds); });
    const std::int64_t start = performanceCounter();
    const std::vector<unsigned> sizesQueries = sizesQueriesOf(file.plugIns);
    for (std::size_t i = 0; i < file.plugIns.size(); ++i) {
        const PlannedPlugIn& plugIn = file.plugIns[i];
        if (plugIn.atSecond) {
            std::optional<std::int64_t> relayoutAfter;
            if (plugIn.relayoutAfterSeconds) {
                relayoutAfter = std::int64_t{*plugIn.relayoutAfterSeconds} * kNanosecondsPerSecond;
            }
            system.plugInAt(start + *plugIn.atSecond * kNanosecondsPerSecond, plugIn.adapter, relayoutAfter);
        } else {
            system.plugInAfterSizesQuery(sizesQueries[i], plugIn.adapter);
        }
    }
    for (const PlannedFailure& failure : file.failures) {
        system.failCall(failure.call, failure.occurrence, failure.result, failure.lastError);
    }
    for (const PlannedSessionLock& lock : file.sessionLocked) {
        system.lockSession(start + lock.fromSecond * kNanosecondsPerSecond,
                           start + lock.toSecond * kNanosecondsPerSecond);
    }
    system.setRemoteSession(file.remoteSession);
    const auto at = [start](unsigned second) { return start + std::int64_t{second} * kNanosecondsPerSecond; };
    for (const PlannedUnplug& unplug : file.unplugs) {
        system.unplugAt(at(unplug.atSecond), unplug.adapter);
    }
    for (const PlannedPrimary& primary : file.userPrimary) {
        system.makePrimaryAt(at(primary.atSecond), primary.display);
    }
    for (const PlannedSleep& sleep : file.sleeps) {
        system.sleepBetween(at(sleep.fromSecond), at(sleep.toSecond), sleep.afterwards, sleep.resumeNotice);
    }
    if (file.sessionEndsAtSecond) {
        system.endSessionAt(at(*file.sessionEndsAtSecond));
    }
    if (const char* narration = std::getenv("SIMULATED_NARRATION");
        narration != nullptr && narration == std::string("1")) {
        system.setNarration([start](std::int64_t time, const std::string& what) {
            std::cerr << "[simulated window system, " << (time - start) / kNanosecondsPerSecond << " s: " << what << "]"
                      << std::endl;
        });
    }
    // The adapters plugged in so far are part of the stored desktop now, and the events of the day
    // that have happened are over: only the others are still to come, in a later run. The failures
    // and the remote session stay as they are: they belong to every run on this file.
    system.setLayoutStore([path, file, start, &system](const SimulatedDesktop& layout) {
        const auto sizesQueriesMade = system.callsOf(DisplayOperation::GetDisplayConfigBufferSizes).size();
        std::optional<unsigned> nextSecond;
        if (const std::optional<std::int64_t> next = system.nextPlugInTime()) {
            nextSecond = static_cast<unsigned>((*next - start) / kNanosecondsPerSecond);
        }
        DesktopFile stored{layout, pendingPlugIns(file.plugIns, static_cast<unsigned>(sizesQueriesMade), nextSecond),
                           file.failures, locksToCome(file.sessionLocked, start, system.now()), file.remoteSession};
        addTheDayToCome(system, start, stored);
        return writeDesktopFile(path, stored);
    });
}

}  // namespace orvi::simulation
