// The tool's run from a parsed command line to its exit code.
#pragma once

#include "app/Clock.h"
#include "app/CommandLine.h"
#include "app/LogFile.h"
#include "platform/DesktopChanges.h"
#include "primary/KivFinding.h"

#include <functional>
#include <ostream>

namespace orvi {

// One scan pass writing to the given log: true when it found a Kiv screen, and then what it did
// about it in `finding`.
using LoggingScanPass = std::function<bool(std::ostream& log, KivFinding* finding)>;

// Takes the single-instance lock (exit code 1 with one line when another instance holds it), runs a
// first scan pass and, when it found nothing and settings.maxWait is above 0, waits for a Kiv, waking
// early on the desktop changes that `changes` announces. The exit code is 0 in every other case.
// When it may wait, a pass that throws DisplayConfigRefused (the session may not read the display
// configuration now) writes one line with its text and counts as a pass that found no Kiv. When the
// session ends during a wait, the wait ends at once with one line and the event of a run that found
// no Kiv, both written while the session ends; the exit code is 0.
// Ends by reporting the run's outcome as one event (app/RunEvents.h).
// Throws what the lock or a scan pass throws otherwise, and then reports nothing; the lock is given
// up before the exception leaves.
int runTool(const StartupSettings& settings, Clock& clock, const LoggingScanPass& scanPass,
            platform::DesktopChanges& changes = platform::noDesktopChanges());

// Reports a failure that ended the run and returns the exit code 1: one "ERROR: " line in the log
// file when one is open, otherwise an error box titled "ERROR" (also when a log file was named but
// could not be opened, or when the ERROR line could not be written to it, so that the failure is
// never lost). Before either, the error event with the same text.
int reportFailure(LogFile& logFile, const char* what);

}  // namespace orvi
