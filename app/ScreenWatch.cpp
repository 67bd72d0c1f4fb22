#include "app/ScreenWatch.h"

#include "app/Application.h"
#include "app/DeviceWait.h"
#include "app/RunEvents.h"
#include "display/DisplayConfigRefused.h"

#include <exception>
#include <utility>

namespace orvi {
namespace {

// Why the look acts: what Windows did since the previous look that saw the screens; empty when it
// did nothing that rearranges them.
std::string rearrangement(bool screensChanged, const platform::Notices& pending) {
    std::string why;
    const auto add = [&why](const char* what) { why += (why.empty() ? "" : " and ") + std::string(what); };
    if (screensChanged) {
        add("the screens changed");
    }
    if (pending.resumed) {
        add("the PC resumed");
    }
    if (pending.sessionReturned) {
        add("the session came back");
    }
    return why;
}

}  // namespace

void writeRefusedLook(std::ostream& log, const char* what) {
    log << "The display configuration cannot be read now, the tool will look again: " << what << std::endl;
}

ScreenWatch::ScreenWatch(std::ostream& log, LogFile& logFile, LoggingScanPass scanPass,
                         FamilyLockWait waitForFamilyLock, std::optional<std::vector<std::string>> screensSeen)
    : log_(log),
      logFile_(logFile),
      scanPass_(std::move(scanPass)),
      waitForFamilyLock_(std::move(waitForFamilyLock)),
      screens_(std::move(screensSeen)) {}

void ScreenWatch::watch(Clock& clock, platform::DesktopChangeListener& listener) {
    while (!listener.sessionEnded()) {
        const Heard heard = listenUntil(clock, listener, std::nullopt);
        if (heard.ended) {
            return;
        }
        look(heard.notices);
    }
}

void ScreenWatch::look(const platform::Notices& heard) {
    pending_.resumed = pending_.resumed || heard.resumed;
    pending_.sessionReturned = pending_.sessionReturned || heard.sessionReturned;
    std::string why;
    KivFinding finding;
    PassOptions options;
    options.finding = &finding;
    options.waitForFamilyLock = waitForFamilyLock_;
    options.gate = [&](const ScreensSeen& seen) {
        why = rearrangement(!screens_ || *screens_ != seen.screens, pending_);
        screens_ = seen.screens;
        pending_ = {};
        const char* unchanged = !seen.kivFound    ? "no Kiv is attached"
                                : why.empty()     ? "the same screens, their layout is left as it is"
                                : seen.kivPrimary ? "the Kiv is the primary display already"
                                                  : nullptr;
        if (unchanged != nullptr) {
            log_ << "Looked at the screens again: " << unchanged << std::endl;
        }
        return unchanged == nullptr;
    };
    // What tells the watch's events apart; `why` is known once the pass has seen the screens.
    const auto note = [&why] { return "; while watching" + (why.empty() ? std::string() : ", after " + why); };
    try {
        const PassOutcome outcome = scanPass_(log_, options);
        if (outcome.end == PassEnd::Done && outcome.kivFound) {
            reportKivFound(finding, note());
        }
    } catch (const DisplayConfigRefused& refused) {
        writeRefusedLook(log_, refused.what());
    } catch (const std::exception& failure) {
        reportFailure(logFile_, failure.what(), note());
    }
}

}  // namespace orvi
