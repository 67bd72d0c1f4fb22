// The host's stand-in for the Windows event log: it records every event reported in the process,
// and writes each to the file that the environment variable SIMULATED_EVENT_LOG names, where one is
// named, so that the runs of the host executable can be checked too.
#pragma once

#include "platform/EventLog.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace orvi::simulation {

struct RecordedEvent {
    platform::EventType type;
    std::uint32_t id;
    std::string text;

    bool operator==(const RecordedEvent& other) const {
        return type == other.type && id == other.id && text == other.text;
    }
};

// The events reported in this process, oldest first.
const std::vector<RecordedEvent>& recordedEvents();

// Forgets the events reported so far.
void forgetRecordedEvents();

// How an event is written to the file:
//     [event 1, information]
//     <its text>
//     [end of event]
std::string eventRecord(const RecordedEvent& event);

// For the tests' messages.
inline void PrintTo(const RecordedEvent& event, std::ostream* out) { *out << eventRecord(event); }

}  // namespace orvi::simulation
