// The whole tool run in process the way the executable runs it: runTool on the simulated desktop
// with no wait, and the entry's catch, which reports through reportFailure.
#pragma once

#include "simulation/RecordedEventLog.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvi::testing {

struct WholeRun {
    int exitCode = 0;
    std::string log;  // the log file's content, read back in text mode
    std::vector<simulation::RecordedEvent> events;
};

// Runs the tool with a log file of its own (no start line: the command line is not read). On the
// host the named mutexes of these runs are private to this test program, so that no other program's
// run can hold the tool's locks.
WholeRun runWholeTool();

#ifndef _WIN32
// Runs the tool as runWholeTool does, with -t 0 --watch, listening to the simulated window system on
// a clock of the run's own, which moves only when the run sleeps or waits (from event to event of
// the window system's day): the watch lasts until the end of the session that the window system was
// given, and takes no real time. With `siblingLocksAt`, a sibling tool takes the family lock once the
// run's clock reaches that time, and holds it for a moment of real time.
WholeRun runWholeWatch(std::optional<std::int64_t> siblingLocksAt = std::nullopt);
#endif

}  // namespace orvi::testing
