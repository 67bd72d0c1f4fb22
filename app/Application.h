// The tool's run from a parsed command line to its exit code.
#pragma once

#include "app/Clock.h"
#include "app/CommandLine.h"
#include "app/LogFile.h"
#include "app/ScreenWatch.h"
#include "platform/DesktopChanges.h"

#include <ostream>
#include <string>

namespace orvi {

// Takes the single-instance lock (exit code 1 with one line when another instance holds it), runs a
// first scan pass and, when it found nothing and settings.maxWait is above 0, waits for a Kiv, waking
// early on the notices that `changes` announces. The exit code is 0 in every other case.
// When it may wait, a pass that throws DisplayConfigRefused (the session may not read the display
// configuration now) writes one line with its text and counts as a pass that found no Kiv. When the
// run is told to end during a wait (or while a pass waits for the family lock, which it does
// listening), the wait ends at once with one line and the event of a run that found no Kiv, both
// written while the run ends; the exit code is 0.
// Reports the run's first outcome as one event (app/RunEvents.h). With settings.watch the run registers,
// once it holds the lock, to be started again after an installer closed it (platform/RestartRegistration.h),
// and after the first outcome it writes
// "Watching the screens until the session ends" instead of ending, and watches (ScreenWatch) until the
// run is told to end, which writes its line; the exit code is 0. The watch listens with one listener
// from the start, also during passes; where it cannot listen, the watch fails (throws).
// Throws what the lock throws, and without settings.watch what a scan pass of the first outcome throws,
// and then reports nothing; the lock is given up before the exception leaves. With settings.watch such
// a failure is reported (reportFailure) as the run's outcome, and the watch follows.
int runTool(const StartupSettings& settings, Clock& clock, const LoggingScanPass& scanPass,
            platform::DesktopChanges& changes = platform::noDesktopChanges(), LogFile& logFile = processLogFile());

// Reports a failure and returns the exit code 1: one "ERROR: " line in the log file when one is open,
// otherwise an error box titled "ERROR" (also when a log file was named but could not be opened, or
// when the ERROR line could not be written to it, so that the failure is never lost). Before either,
// the error event with the same text and `eventNote` after it.
int reportFailure(LogFile& logFile, const char* what, const std::string& eventNote = "");

}  // namespace orvi
