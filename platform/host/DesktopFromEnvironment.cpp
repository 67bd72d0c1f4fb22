#include "platform/host/DesktopFromEnvironment.h"

#include "platform/SimulatedWindowSystem.h"
#include "platform/host/DefaultDesktop.h"
#include "platform/host/DesktopFile.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace orvi::platform {

void useDesktopFromEnvironment() {
    const char* variable = std::getenv("SIMULATED_DESKTOP");
    const std::string path = variable != nullptr ? variable : "";
    SimulatedWindowSystem& system = simulatedWindowSystem();
    if (path.empty()) {
        system.reset(defaultDesktop());
        return;
    }
    try {
        system.reset(readDesktopFile(path));
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(std::string("Simulated desktop ") + error.what());
    }
    system.setLayoutStore([path](const SimulatedDesktop& layout) { return writeDesktopFile(path, layout); });
}

}  // namespace orvi::platform
