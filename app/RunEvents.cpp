#include "app/RunEvents.h"

#include "platform/EventLog.h"

namespace orvi {
namespace {

void report(platform::EventType type, RunEvent id, const std::string& text) {
    platform::reportEvent(type, static_cast<std::uint32_t>(id), text);
}

}  // namespace

void reportKivFound(const KivFinding& finding, const std::string& note) {
    if (finding.madePrimary) {
        // Which way it took: those who watch many PCs count the ones whose Windows needs the second.
        report(
            platform::EventType::Information, RunEvent::KivMadePrimary,
            "Made the Kiv the primary display: the " + finding.variant + " on " + finding.screen +
                (finding.throughDisplayConfiguration ? ", through the display configuration (SetDisplayConfig)" : "") +
                note);
    } else {
        report(platform::EventType::Information, RunEvent::KivAlreadyPrimary,
               "The Kiv was the primary display already (" + finding.variant + "); nothing changed" + note);
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

void reportNoKivAtEnd(std::int64_t maxWaitSeconds, platform::Ending ending) {
    const std::string end = ending == platform::Ending::Closing ? "the tool was asked to close" : "the session ended";
    if (maxWaitSeconds == 0) {
        report(platform::EventType::Information, RunEvent::NoKivWithoutWaiting,
               "No Kiv found; " + end + " while another tool changed the screens");
    } else {
        report(platform::EventType::Information, RunEvent::NoKivWhenTheWaitRanOut,
               "No Kiv found; " + end + " during the wait of " + std::to_string(maxWaitSeconds) + " s");
    }
}

void reportOtherInstance() {
    report(platform::EventType::Information, RunEvent::OtherInstanceRunning,
           "Another instance was running already; this one changed nothing");
}

void reportRunFailure(const char* what, const std::string& note) {
    report(platform::EventType::Error, RunEvent::RunFailed, (what != nullptr ? what : "") + note);
}

void reportWrongCommandLine(const std::string& boxText) {
    report(platform::EventType::Error, RunEvent::WrongCommandLine, boxText.substr(0, boxText.find('\n')));
}

}  // namespace orvi
