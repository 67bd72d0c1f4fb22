// Keeping the Kiv primary for the rest of the session (--watch): after the run's first outcome, the
// tool stays and looks at the screens again each time Windows announces something.
#pragma once

#include "app/Clock.h"
#include "app/LogFile.h"
#include "platform/DesktopChanges.h"
#include "primary/ScanPass.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace orvi {

// One scan pass writing to the given log (primary/ScanPass.h).
using LoggingScanPass = std::function<PassOutcome(std::ostream& log, const PassOptions& options)>;

// The line of a look that the session was refused (DisplayConfigRefused), with the refusal's text.
void writeRefusedLook(std::ostream& log, const char* what);

// How long a rearrangement that the watch answered stays open: a display change heard within this time
// after the Kiv was made primary, which leaves another screen primary on the same screens, is Windows
// finishing its own rearrangement (a USB display adapter appears over several seconds, and Windows or
// the adapter's helper may apply a stored layout after the tool's switch).
constexpr std::int64_t kRearrangementOpenNanoseconds = 5'000'000'000;

class ScreenWatch {
public:
    // `seen`: what the first outcome's last pass saw of the screens; none when it saw none (every look
    // was refused). `kivJustMadePrimary`: that pass made the Kiv primary, so the rearrangement it
    // answered is still open, and the Kiv is the screen it left primary. Failures are reported into `logFile` as the run's would be.
    ScreenWatch(std::ostream& log, LogFile& logFile, LoggingScanPass scanPass, FamilyLockWait waitForFamilyLock,
                Clock& clock, std::optional<ScreensSeen> seen, bool kivJustMadePrimary);

    // Watches until the run is told to end: sleeps in the listener's wait, without a time limit and
    // without a timer of its own, until Windows announces something; once nothing more has come for the
    // settle second, it looks (look()). Returns once `listener` tells that the run is to end.
    void watch(platform::DesktopChangeListener& listener);

    // One look after `heard`, the first of which came at `heardAt` (the clock's time). It acts only
    // where Windows did something that takes the Kiv's place away:
    // - after a change of the set of attached screens (what identifies them, not where they stand), a
    //   resume or the session's return (each counted until a look sees the screens), when the Kiv
    //   arrived (it was not in the set of the previous look that saw the screens), or when the screen
    //   now primary is neither the one the previous look left primary nor the one the last look of this
    //   same set of screens left primary (Windows keeps a layout per set of screens and brings it back,
    //   the user's choice of primary included);
    // - within kRearrangementOpenNanoseconds after the watch (or the first outcome) made the Kiv primary,
    //   a change left another screen primary on the same screens; once per rearrangement.
    // Then a Kiv that is not primary is made primary by a whole pass, which writes its usual lines and
    // reports the event of a Kiv made primary, with a note that names every cause. Every other look
    // changes nothing and writes one line: no Kiv is attached, the same screens (their layout, the
    // user's, is left as it is), or the Kiv is primary already; a refused look writes its usual line.
    // Such a line of a look after other notices (the same screens, no resume, no return), and a refused
    // look's line, is written only when it differs from the previous look's line, so that a burst of
    // notices about other devices, or a long lock, leaves one line; a look after something Windows did
    // always writes its line. A failure is reported
    // as the run's are (its ERROR entry or box, its event with the watch's note), and the watch goes on.
    // A look refused part-way (after it saw the screens) counts as not having seen them.
    void look(const platform::Notices& heard, std::int64_t heardAt);

private:
    // Writes a look's line unless it is the previous look's line and `always` is false.
    void writeQuietly(const std::string& line, bool always);

    // Remembers what a look (or the first outcome) that saw the screens left primary.
    void remember(const ScreensSeen& seen, const std::string& leftPrimary);

    struct State {
        std::optional<ScreensSeen> seen;  // what the last look that saw the screens saw
        std::string leftPrimary;          // the screen that that look left primary
        // Per set of screens (ScreensSeen::screens), the screen that the last look of it left primary.
        std::map<std::vector<std::string>, std::string> leftPrimaryOfSet;
        platform::Notices pending;              // a resume or a return not yet looked at
        std::optional<std::int64_t> openUntil;  // the answered rearrangement is open until then
    };

    std::ostream& log_;
    LogFile& logFile_;
    LoggingScanPass scanPass_;
    FamilyLockWait waitForFamilyLock_;
    Clock& clock_;
    State state_;
    std::string previousLine_;  // the line the previous look wrote; empty after a pass that went on
};

}  // namespace orvi
