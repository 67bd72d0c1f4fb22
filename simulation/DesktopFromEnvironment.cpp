#include "simulation/DesktopFromEnvironment.h"

#include "simulation/DefaultDesktop.h"
#include "simulation/DesktopFile.h"
#include "simulation/PlugInSchedule.h"
#include "simulation/SimulatedWindowSystem.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace orvi::simulation {

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
    const std::vector<unsigned> sizesQueries = sizesQueriesOf(file.plugIns);
    for (std::size_t i = 0; i < file.plugIns.size(); ++i) {
        system.plugInAfterSizesQuery(sizesQueries[i], file.plugIns[i].adapter);
    }
    for (const PlannedFailure& failure : file.failures) {
        system.failCall(failure.call, failure.occurrence, failure.result, failure.lastError);
    }
    // The adapters plugged in so far are part of the stored desktop now; only the others are still
    // to come, in a later run.
    // The failures stay as they are: they belong to every run on this file.
    system.setLayoutStore(
        [path, plugIns = file.plugIns, failures = file.failures, &system](const SimulatedDesktop& layout) {
            const auto sizesQueriesMade = system.callsOf(DisplayOperation::GetDisplayConfigBufferSizes).size();
            return writeDesktopFile(
                path, DesktopFile{layout, pendingPlugIns(plugIns, static_cast<unsigned>(sizesQueriesMade)), failures});
        });
}

}  // namespace orvi::simulation
