// The Windows event log, where each run leaves its outcome for those who watch many PCs: events of
// the source "SetPrimaryKiv" in the Application log.
//
// Two implementations of reportEvent exist, chosen at link time like the display services:
// platform/RealEventLog.cpp (advapi32, Windows only, what ships) and the recording stand-in
// simulation/RecordedEventLog.cpp, which the tests and the host executable link.
#pragma once

#include <cstdint>
#include <string>

namespace orvi::platform {

enum class EventType { Information, Error };

// Reports one event with the id `id` and `text` (in the process code page, as every narrow text of
// the tool) as its one string. Never throws and never tells of a failure: when the source cannot be
// registered or the event cannot be reported, there is simply no event, and the run goes on as it
// would have.
void reportEvent(EventType type, std::uint32_t id, const std::string& text) noexcept;

}  // namespace orvi::platform
