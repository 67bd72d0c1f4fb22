// Each run's outcome as one event in the Windows Application log (platform/EventLog.h), so that
// those who watch many PCs see every run without reading its log file. Every run but --help and
// --explain reports exactly one of these, once its outcome is known; the log file and the boxes are not
// touched.
#pragma once

#include "platform/DesktopChanges.h"
#include "primary/KivFinding.h"

#include <cstdint>
#include <string>

namespace orvi {

// One event id per outcome, fixed: monitoring filters on them (docs/monitoring.md), and the
// executable's message table (app/EventMessages.mc) holds a message for each.
enum class RunEvent : std::uint32_t {
    KivMadePrimary = 1,
    KivAlreadyPrimary = 2,
    NoKivWithoutWaiting = 3,
    NoKivWhenTheWaitRanOut = 4,
    OtherInstanceRunning = 5,
    RunFailed = 10,
    WrongCommandLine = 11,
};

// Information: a pass found a Kiv and made it primary, or found it primary already. `note` ends the
// text: a watch tells its own switches apart with it.
void reportKivFound(const KivFinding& finding, const std::string& note = "");

// Information: no pass found a Kiv; maxWait 0 means the run did not wait.
void reportNoKiv(std::int64_t maxWaitSeconds);

// Information: no pass found a Kiv before the run was told to end (a sign-out, a shutdown, a request
// to close) during the wait, or during the first pass's wait for the family lock. The event of a run
// without a Kiv, with a text that tells the end apart.
void reportNoKivAtEnd(std::int64_t maxWaitSeconds, platform::Ending ending);

// Information: another instance held the single-instance lock.
void reportOtherInstance();

// Error: a failure ended the run, or a look of the watch; `what` is the text of its "ERROR: " line or
// box, which `note` ends.
void reportRunFailure(const char* what, const std::string& note = "");

// Error: the command line was wrong; `boxText` is what the error box shows, of which the event keeps
// the first line (the error, without the help).
void reportWrongCommandLine(const std::string& boxText);

}  // namespace orvi
