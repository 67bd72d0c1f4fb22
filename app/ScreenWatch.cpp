#include "app/ScreenWatch.h"

#include "app/Application.h"
#include "app/DeviceWait.h"
#include "app/RunEvents.h"
#include "display/DisplayConfigRefused.h"

#include <algorithm>
#include <exception>
#include <sstream>
#include <utility>

namespace orvi {
namespace {

// Why a look acts: what Windows did since the previous look that saw the screens, every cause named;
// empty when it did nothing that rearranges them.
struct Causes {
    bool screensChanged = false;
    bool resumed = false;
    bool sessionReturned = false;
    bool laidOutAgain = false;
};

std::string describe(const Causes& causes) {
    std::string why;
    const auto add = [&why](const char* what) { why += (why.empty() ? "" : " and ") + std::string(what); };
    if (causes.screensChanged) {
        add("the screens changed");
    }
    if (causes.resumed) {
        add("the PC resumed");
    }
    if (causes.sessionReturned) {
        add("the session came back");
    }
    if (causes.laidOutAgain) {
        add("Windows laid the screens out again");
    }
    return why;
}

}  // namespace

void writeRefusedLook(std::ostream& log, const char* what) {
    log << "The display configuration cannot be read now, the tool will look again: " << what << std::endl;
}

ScreenWatch::ScreenWatch(std::ostream& log, LogFile& logFile, LoggingScanPass scanPass,
                         FamilyLockWait waitForFamilyLock, Clock& clock, std::optional<ScreensSeen> seen,
                         bool kivJustMadePrimary)
    : log_(log),
      logFile_(logFile),
      scanPass_(std::move(scanPass)),
      waitForFamilyLock_(std::move(waitForFamilyLock)),
      clock_(clock) {
    if (seen) {
        remember(*seen, kivJustMadePrimary ? seen->kiv : seen->primary);
    }
    if (kivJustMadePrimary) {
        state_.openUntil = clock_.nowNanoseconds() + kRearrangementOpenNanoseconds;
    }
}

void ScreenWatch::remember(const ScreensSeen& seen, const std::string& leftPrimary) {
    state_.seen = seen;
    state_.leftPrimary = leftPrimary;
    state_.leftPrimaryOfSet[seen.screens] = leftPrimary;
}

void ScreenWatch::watch(platform::DesktopChangeListener& listener) {
    while (!listener.sessionEnded()) {
        const Heard heard = listenUntil(clock_, listener, std::nullopt);
        if (heard.ended) {
            return;
        }
        look(heard.notices, heard.firstNoticeTime.value_or(clock_.nowNanoseconds()));
    }
}

void ScreenWatch::writeQuietly(const std::string& line, bool always) {
    if (always || line != previousLine_) {
        log_ << line << std::flush;
        previousLine_ = line;
    }
}

void ScreenWatch::look(const platform::Notices& heard, std::int64_t heardAt) {
    const State before = state_;
    state_.pending |= heard;
    Causes causes;
    bool wentOn = false;
    KivFinding finding;
    std::optional<ScreensSeen> seenByThisLook;  // once the pass saw the screens
    PassOptions options;
    options.finding = &finding;
    options.waitForFamilyLock = waitForFamilyLock_;
    options.gate = [&](const ScreensSeen& seen) {
        const std::optional<ScreensSeen>& previous = state_.seen;
        const bool setChanged = !previous || previous->screens != seen.screens;
        const bool kivArrived =
            seen.kivFound && (!previous || std::find(previous->screens.begin(), previous->screens.end(), seen.kiv) ==
                                               previous->screens.end());
        const auto ofThisSet = state_.leftPrimaryOfSet.find(seen.screens);
        const bool primaryTaken = (!previous || seen.primary != state_.leftPrimary) &&
                                  (ofThisSet == state_.leftPrimaryOfSet.end() || seen.primary != ofThisSet->second);
        const bool windowsActed = setChanged || state_.pending.resumed || state_.pending.sessionReturned;
        const bool answered = windowsActed && (kivArrived || primaryTaken);
        causes.screensChanged = answered && setChanged;
        causes.resumed = answered && state_.pending.resumed;
        causes.sessionReturned = answered && state_.pending.sessionReturned;
        causes.laidOutAgain =
            !setChanged && state_.openUntil && heardAt <= *state_.openUntil && seen.kivFound && !seen.kivPrimary;
        if (causes.laidOutAgain) {
            state_.openUntil.reset();  // once per rearrangement
        }
        seenByThisLook = seen;
        remember(seen, seen.primary);
        state_.pending = {};
        const bool acts = !describe(causes).empty();
        const char* unchanged = !seen.kivFound    ? "no Kiv is attached"
                                : !acts           ? "the same screens, their layout is left as it is"
                                : seen.kivPrimary ? "the Kiv is the primary display already"
                                                  : nullptr;
        wentOn = unchanged == nullptr;
        if (!wentOn) {
            writeQuietly("Looked at the screens again: " + std::string(unchanged) + "\n", acts || windowsActed);
        }
        return wentOn;
    };
    // What tells the watch's events apart; the causes are known once the pass has seen the screens.
    const auto note = [&causes] {
        const std::string why = describe(causes);
        return "; while watching" + (why.empty() ? std::string() : ", after " + why);
    };
    try {
        const PassOutcome outcome = scanPass_(log_, options);
        if (outcome.end == PassEnd::Done) {
            previousLine_.clear();  // the pass wrote its lines
            if (outcome.kivFound) {
                reportKivFound(finding, note());
            }
            if (finding.madePrimary && seenByThisLook) {
                remember(*seenByThisLook, seenByThisLook->kiv);
            }
            if (finding.madePrimary && !causes.laidOutAgain) {  // a second answer opens nothing anew
                state_.openUntil = clock_.nowNanoseconds() + kRearrangementOpenNanoseconds;
            }
        }
    } catch (const DisplayConfigRefused& refused) {
        // Nothing was changed: the screens count as not seen, and what happened stays to be answered.
        state_ = before;
        state_.pending |= heard;
        if (wentOn) {
            previousLine_.clear();  // the pass wrote its lines
        }
        std::ostringstream line;
        writeRefusedLook(line, refused.what());
        writeQuietly(line.str(), false);
    } catch (const std::exception& failure) {
        previousLine_.clear();
        reportFailure(logFile_, failure.what(), note());
    }
}

}  // namespace orvi
