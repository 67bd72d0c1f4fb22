#include "app/Application.h"

#include "app/DeviceWait.h"
#include "app/MessageBoxes.h"
#include "util/GlobalNamedMutex.h"

namespace orvi {

int runTool(const StartupSettings& settings, Clock& clock, const LoggingScanPass& scanPass,
            platform::DesktopChanges& changes) {
    const auto singleInstance = util::GlobalNamedMutex::create("SetPrimaryKiv_single_app");
    if (!singleInstance->tryLock()) {
        settings.log << "Other instance of this application is already running" << std::endl;
        return 1;
    }
    const std::int64_t startTime = clock.nowNanoseconds();
    if (scanPass(settings.log)) {
        return 0;
    }
    if (settings.maxWait > 0) {
        const ScanPass pass = [&] { return scanPass(settings.log); };
        waitForKiv(settings.log, settings.maxWait, startTime, clock, pass, changes);
    }
    return 0;
}

int reportFailure(LogFile& logFile, const char* what) {
    if (logFile.isOpen()) {
        logFile.stream() << "ERROR: " << what << std::endl;
    } else {
        showErrorBox("ERROR", what);
    }
    return 1;
}

}  // namespace orvi
