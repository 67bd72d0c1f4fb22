#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Explain.h"
#include "app/LogFile.h"
#include "platform/DesktopChanges.h"
#include "primary/Explanation.h"
#include "primary/ScanPass.h"

#ifndef _WIN32
#include "simulation/DesktopFromEnvironment.h"
#endif

#include <exception>

int main(int argc, char* argv[]) {
    try {
        const orvi::StartupSettings settings = orvi::parseCommandLine(argc, argv);
#ifndef _WIN32
        // The host build runs against a simulated window system, whose desktop comes from a file.
        orvi::simulation::useDesktopFromEnvironment();
#endif
        if (settings.explain) {
            return orvi::runExplain(orvi::explainScreens);
        }
        return orvi::runTool(settings, orvi::systemClock(), orvi::runPass, orvi::platform::desktopChanges());
    } catch (const std::exception& failure) {
        return orvi::reportFailure(orvi::processLogFile(), failure.what());
    }
}
