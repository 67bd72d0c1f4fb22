#include "simulation/DesktopFromEnvironment.h"

#include "desktopfile/DesktopFile.h"
#include "simulation/DefaultDesktop.h"
#include "simulation/PlugInSchedule.h"
#include "simulation/SimulatedWindowSystem.h"

#include <cstdint>
#include <cstdlib>
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
            system.plugInAt(start + *plugIn.atSecond * kNanosecondsPerSecond, plugIn.adapter);
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
    // The adapters plugged in so far are part of the stored desktop now; only the others are still
    // to come, in a later run.
    // The failures and the session stay as they are: they belong to every run on this file.
    system.setLayoutStore([path, file, start, &system](const SimulatedDesktop& layout) {
        const auto sizesQueriesMade = system.callsOf(DisplayOperation::GetDisplayConfigBufferSizes).size();
        std::optional<unsigned> nextSecond;
        if (const std::optional<std::int64_t> next = system.nextPlugInTime()) {
            nextSecond = static_cast<unsigned>((*next - start) / kNanosecondsPerSecond);
        }
        return writeDesktopFile(
            path, DesktopFile{layout, pendingPlugIns(file.plugIns, static_cast<unsigned>(sizesQueriesMade), nextSecond),
                              file.failures, file.sessionLocked, file.remoteSession});
    });
}

}  // namespace orvi::simulation
