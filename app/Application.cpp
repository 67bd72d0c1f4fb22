#include "app/Application.h"

#include "app/DeviceWait.h"
#include "app/KeptDesktopChanges.h"
#include "app/MessageBoxes.h"
#include "app/RunEvents.h"
#include "display/DisplayConfigRefused.h"
#include "platform/RestartRegistration.h"
#include "util/GlobalNamedMutex.h"
#include "util/LockNames.h"

#include <optional>
#include <stdexcept>
#include <vector>

namespace orvi {
namespace {

constexpr const char* kWatchingLine = "Watching the screens until the session ends";

PassResult resultOf(const PassOutcome& outcome) {
    if (outcome.end == PassEnd::Stopped) {
        return PassResult::Stopped;
    }
    return outcome.kivFound ? PassResult::KivFound : PassResult::NoKiv;
}

// While the tool waits, a pass whose look the session refused found no Kiv: the session comes back
// (an unlock, a reconnection) and a later pass looks again. The pass has let its locks go by now.
PassResult passThatMayBeRefused(std::ostream& log, const LoggingScanPass& scanPass, const PassOptions& options) {
    try {
        return resultOf(scanPass(log, options));
    } catch (const DisplayConfigRefused& refused) {
        writeRefusedLook(log, refused.what());
        return PassResult::NoKiv;
    }
}

// Waits for the family lock listening, so that the end of the run is heard meanwhile (a sibling tool
// may hold the lock long); without a listener, without a limit.
bool waitForFamilyLock(util::GlobalNamedMutex& familyLock, platform::DesktopChanges& changes,
                       const platform::SessionEnding& sessionEnding) {
    const std::unique_ptr<platform::DesktopChangeListener> listener = changes.listen(sessionEnding);
    if (!listener) {
        familyLock.lock();
        return true;
    }
    return familyLock.lock([&listener](HANDLE handle) { return listener->waitForObject(handle); });
}

// The first pass and, when it found nothing and the run may wait, the wait for a Kiv with its polls.
PassResult firstOutcome(const StartupSettings& settings, Clock& clock, const LoggingScanPass& scanPass,
                        const PassOptions& options, platform::DesktopChanges& listening) {
    const std::int64_t startTime = clock.nowNanoseconds();
    if (settings.maxWait == 0) {
        // No later look: a refusal is a failure like any other.
        return resultOf(scanPass(settings.log, options));
    }
    const ScanPass pass = [&] { return passThatMayBeRefused(settings.log, scanPass, options); };
    const PassResult result = pass();
    if (result != PassResult::NoKiv) {
        return result;
    }
    const WaitOutcome outcome = waitForKiv(
        settings.log, settings.maxWait, startTime, clock, pass, listening,
        [&](platform::Ending ending) { reportNoKivAtEnd(settings.maxWait, ending); },
        // A watch goes on where a wait gives up.
        settings.watch ? nullptr : "Kiv is not connected, no more changes will be performed");
    return outcome == WaitOutcome::SessionEnded ? PassResult::Stopped
           : outcome == WaitOutcome::KivFound   ? PassResult::KivFound
                                                : PassResult::NoKiv;
}

}  // namespace

int runTool(const StartupSettings& settings, Clock& clock, const LoggingScanPass& scanPass,
            platform::DesktopChanges& changes, LogFile& logFile) {
    const auto singleInstance = util::GlobalNamedMutex::create(util::kSingleInstanceMutexName);
    if (!singleInstance->tryLock()) {
        settings.log << "Other instance of this application is already running" << std::endl;
        reportOtherInstance();
        return 1;
    }
    if (settings.watch) {
        // An upgrade's installer closes the watch; it starts it again once the files are replaced.
        static_cast<void>(platform::registerForRestart());
    }
    bool outcomeReported = false;
    // The end of the run heard outside a wait for a Kiv: while a pass waits for the family lock, or in
    // the watch. Its event only when the run's outcome has none yet.
    const platform::SessionEnding endOfRun = [&](platform::Ending ending) {
        settings.log << endingLine(ending) << std::endl;
        if (!outcomeReported) {
            reportNoKivAtEnd(settings.maxWait, ending);
        }
    };
    std::optional<KeptDesktopChanges> kept;
    if (settings.watch) {
        kept.emplace(changes, endOfRun);
    }
    platform::DesktopChanges& listening = kept ? static_cast<platform::DesktopChanges&>(*kept) : changes;

    KivFinding finding;
    std::optional<ScreensSeen> screensSeen;
    SettingsDeclined settingsDeclined;  // for the run: a switch of such a Kiv shows one layout
    PassOptions options;
    options.finding = &finding;
    options.settingsDeclined = &settingsDeclined;
    options.waitForFamilyLock = [&](util::GlobalNamedMutex& familyLock) {
        return waitForFamilyLock(familyLock, listening, endOfRun);
    };
    if (settings.watch) {
        options.observer = [&screensSeen](const ScreensSeen& seen) { screensSeen = seen; };
    }

    PassResult result = PassResult::NoKiv;
    try {
        result = firstOutcome(settings, clock, scanPass, options, listening);
    } catch (const std::exception& failure) {
        if (!settings.watch) {
            throw;
        }
        // A display stack not ready at sign-in must not cancel the day: the failure is reported as the
        // run's would be, and the watch answers the next rearrangement.
        reportFailure(logFile, failure.what());
        outcomeReported = true;  // `result` stays NoKiv: nothing was found
    }
    if (result == PassResult::Stopped) {
        return 0;  // reported while the run ended
    }
    // The run's outcome, known only now.
    if (!outcomeReported) {
        if (result == PassResult::KivFound) {
            reportKivFound(finding);
        } else {
            reportNoKiv(settings.maxWait);
        }
        outcomeReported = true;
    }
    if (!settings.watch) {
        return 0;
    }
    settings.log << kWatchingLine << std::endl;
    if (kept->listener() == nullptr) {
        throw std::runtime_error("Failed to watch the screens: Windows' notices cannot be heard");
    }
    const LoggingScanPass rememberingPass = [&](std::ostream& log, const PassOptions& passOptions) {
        PassOptions remembering = passOptions;
        remembering.settingsDeclined = &settingsDeclined;
        return scanPass(log, remembering);
    };
    ScreenWatch watch(settings.log, logFile, rememberingPass, options.waitForFamilyLock, clock, screensSeen,
                      result == PassResult::KivFound && finding.madePrimary);
    watch.watch(*kept->listener());
    return 0;
}

int reportFailure(LogFile& logFile, const char* what, const std::string& eventNote) {
    // Before the box, which may wait long for someone to close it on a PC nobody watches.
    reportRunFailure(what, eventNote);
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
