#include "simulation/RecordedEventLog.h"

#include <cstdlib>
#include <exception>
#include <fstream>

namespace orvi::simulation {
namespace {

std::vector<RecordedEvent>& events() {
    static std::vector<RecordedEvent> recorded;
    return recorded;
}

}  // namespace

const std::vector<RecordedEvent>& recordedEvents() { return events(); }

void forgetRecordedEvents() { events().clear(); }

std::string eventRecord(const RecordedEvent& event) {
    return "[event " + std::to_string(event.id) + ", " +
           (event.type == platform::EventType::Error ? "error" : "information") + "]\n" + event.text +
           "\n[end of event]\n";
}

}  // namespace orvi::simulation

namespace orvi::platform {

void reportEvent(EventType type, std::uint32_t id, const std::string& text) noexcept {
    try {
        const simulation::RecordedEvent event{type, id, text};
        simulation::events().push_back(event);
        const char* path = std::getenv("SIMULATED_EVENT_LOG");
        if (path != nullptr && *path != '\0') {
            std::ofstream(path, std::ios::binary | std::ios::app) << simulation::eventRecord(event);
        }
    } catch (const std::exception&) {
        // As the real event log: an event that cannot be kept is lost, and nothing else happens.
    }
}

}  // namespace orvi::platform
