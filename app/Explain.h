// A run with --explain: the support view's report, where the person who asked for it reads it.
#pragma once

#include "app/CommandLine.h"
#include "app/LogFile.h"
#include "primary/Explanation.h"

#include <functional>
#include <iostream>
#include <ostream>

namespace orvi {

// Writes the report.
using Explain = std::function<Explained(std::ostream& report)>;

// Makes the report with `explain` and shows it: on standardOutput when the process's standard output
// is redirected to a file or a pipe (platform/ReportOutput.h), otherwise on the console that the tool
// was started from, otherwise in an information box titled "SetPrimaryKiv --explain" (whose text
// Ctrl+C copies). With an open log file (-l) the report is written there too. Takes no lock, reports
// no event, changes nothing. Returns the report's outcome as the exit code (0, 1, 2 or 3: Explained).
int runExplain(const Explain& explain, LogFile& logFile = processLogFile(), std::ostream& standardOutput = std::cout);

}  // namespace orvi
