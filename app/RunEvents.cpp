#include "app/RunEvents.h"

#include "platform/EventLog.h"

namespace orvi {
namespace {

void report(platform::EventType type, RunEvent id, const std::string& text) {
    platform::reportEvent(type, static_cast<std::uint32_t>(id), text);
}

}  // namespace

void reportKivFound(const KivFinding& finding) {
    if (finding.madePrimary) {
        // Which way it took: those who watch many PCs count the ones whose Windows needs the second.
        report(
            platform::EventType::Information, RunEvent::KivMadePrimary,
            "Made the Kiv the primary display: the " + finding.variant + " on " + finding.screen +
                (finding.throughDisplayConfiguration ? ", through the display configuration (SetDisplayConfig)" : ""));
    } else {
        report(platform::EventType::Information, RunEvent::KivAlreadyPrimary,
               "The Kiv was the primary display already (" + finding.variant + "); nothing changed");
    }
}

void reportNoKiv(std::int64_t maxWaitSeconds) {
    if (maxWaitSeconds == 0) {
        report(platform::EventType::Information, RunEvent::NoKivWithoutWaiting, "No Kiv found; told not to wait");
    } else {
        report(platform::EventType::Information, RunEvent::NoKivWhenTheWaitRanOut,
               "No Kiv found within the wait of " + std::to_string(maxWaitSeconds) + " s");
    }
}

void reportNoKivAtSessionEnd(std::int64_t maxWaitSeconds) {
    report(platform::EventType::Information, RunEvent::NoKivWhenTheWaitRanOut,
           "No Kiv found; the session ended during the wait of " + std::to_string(maxWaitSeconds) + " s");
}

void reportOtherInstance() {
    report(platform::EventType::Information, RunEvent::OtherInstanceRunning,
           "Another instance was running already; this one changed nothing");
}

void reportRunFailure(const char* what) {
    report(platform::EventType::Error, RunEvent::RunFailed, what != nullptr ? what : "");
}

void reportWrongCommandLine(const std::string& boxText) {
    report(platform::EventType::Error, RunEvent::WrongCommandLine, boxText.substr(0, boxText.find('\n')));
}

}  // namespace orvi
