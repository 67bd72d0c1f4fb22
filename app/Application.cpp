#include "app/Application.h"

#include "app/DeviceWait.h"
#include "app/MessageBoxes.h"
#include "app/RunEvents.h"
#include "display/DisplayConfigRefused.h"
#include "util/GlobalNamedMutex.h"

namespace orvi {
namespace {

// While the tool waits, a pass whose look the session refused found no Kiv: the session comes back
// (an unlock, a reconnection) and a later pass looks again. The pass has let its locks go by now.
bool passThatMayBeRefused(std::ostream& log, const LoggingScanPass& scanPass, KivFinding& finding) {
    try {
        return scanPass(log, &finding);
    } catch (const DisplayConfigRefused& refused) {
        log << "The display configuration cannot be read now, the tool will look again: " << refused.what()
            << std::endl;
        return false;
    }
}

}  // namespace

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
    bool found = false;
    if (settings.maxWait == 0) {
        // No later look: a refusal is a failure like any other.
        found = scanPass(settings.log, &finding);
    } else {
        const ScanPass pass = [&] { return passThatMayBeRefused(settings.log, scanPass, finding); };
        found = pass();
        if (!found) {
            const WaitOutcome outcome = waitForKiv(settings.log, settings.maxWait, startTime, clock, pass, changes,
                                                   [&] { reportNoKivAtSessionEnd(settings.maxWait); });
            if (outcome == WaitOutcome::SessionEnded) {
                return 0;  // reported while the session ended
            }
            found = outcome == WaitOutcome::KivFound;
        }
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
        if (!logFile.lastWriteFailed()) {
            return 1;
        }
    }
    showErrorBox("ERROR", what);
    return 1;
}

}  // namespace orvi
