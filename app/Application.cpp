#include "app/Application.h"

#include "app/DeviceWait.h"
#include "app/MessageBoxes.h"
#include "app/RunEvents.h"
#include "util/GlobalNamedMutex.h"

namespace orvi {

int runTool(const StartupSettings& settings, Clock& clock, const LoggingScanPass& scanPass,
            platform::DesktopChanges& changes) {
    const auto singleInstance = util::GlobalNamedMutex::create("SetPrimaryKiv_single_app");
    if (!singleInstance->tryLock()) {
        settings.log << "Other instance of this application is already running" << std::endl;
        reportOtherInstance();
        return 1;
    }
    KivFinding finding;
    const std::int64_t startTime = clock.nowNanoseconds();
    bool found = scanPass(settings.log, &finding);
    if (!found && settings.maxWait > 0) {
        const ScanPass pass = [&] { return scanPass(settings.log, &finding); };
        found = waitForKiv(settings.log, settings.maxWait, startTime, clock, pass, changes);
    }
    // The run's outcome, known only now.
    if (found) {
        reportKivFound(finding);
    } else {
        reportNoKiv(settings.maxWait);
    }
    return 0;
}

int reportFailure(LogFile& logFile, const char* what) {
    // Before the box, which may wait long for someone to close it on a PC nobody watches.
    reportRunFailure(what);
    if (logFile.isOpen()) {
        logFile.stream() << "ERROR: " << what << std::endl;
    } else {
        showErrorBox("ERROR", what);
    }
    return 1;
}

}  // namespace orvi
