// Keeping the Kiv primary for the rest of the session (--watch): after the run's first outcome, the
// tool stays and looks at the screens again each time Windows announces something.
#pragma once

#include "app/Clock.h"
#include "app/LogFile.h"
#include "platform/DesktopChanges.h"
#include "primary/ScanPass.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace orvi {

// One scan pass writing to the given log (primary/ScanPass.h).
using LoggingScanPass = std::function<PassOutcome(std::ostream& log, const PassOptions& options)>;

// The line of a look that the session was refused (DisplayConfigRefused), with the refusal's text.
void writeRefusedLook(std::ostream& log, const char* what);

class ScreenWatch {
public:
    // `screensSeen`: the screens that the first outcome's last pass saw; none when it saw none (every
    // look was refused). Failures are reported into `logFile` as the run's would be.
    ScreenWatch(std::ostream& log, LogFile& logFile, LoggingScanPass scanPass, FamilyLockWait waitForFamilyLock,
                std::optional<std::vector<std::string>> screensSeen);

    // Watches until the run is told to end: sleeps in the listener's wait, without a time limit and
    // without a timer of its own, until Windows announces something; once nothing more has come for the
    // settle second, it looks (look()). Returns once `listener` tells that the run is to end.
    void watch(Clock& clock, platform::DesktopChangeListener& listener);

    // One look after `heard`. It acts only when Windows has rearranged the screens since the previous
    // look that saw them: the set of attached screens changed (what identifies them, not where they
    // stand), or the PC resumed, or the session came back (these two count until a look sees the
    // screens). Then a Kiv that is not primary is made primary by a whole pass, which writes its usual
    // lines and reports the event of a Kiv made primary, with a note that a watch made it. Every other
    // look changes nothing and writes one line: no Kiv is attached, the same screens (their layout, the
    // user's, is left as it is), or the Kiv is primary already. A refused look writes its usual line; a
    // failure is reported as the run's are (its ERROR entry or box, its event with the watch's note),
    // and the watch goes on.
    void look(const platform::Notices& heard);

private:
    std::ostream& log_;
    LogFile& logFile_;
    LoggingScanPass scanPass_;
    FamilyLockWait waitForFamilyLock_;
    std::optional<std::vector<std::string>> screens_;  // those the last look that saw them saw
    platform::Notices pending_;                        // a resume or a return not yet looked at
};

}  // namespace orvi
