// Where a windowless program's report reaches the person who asked for it: its standard output when
// that was redirected, or the console it was started from.
//
// Two implementations exist, chosen at link time: platform/RealReportOutput.cpp (kernel32, Windows
// only, what ships) and the host's stand-in simulation/ReportOutputStandIn.cpp, whose console is a
// file that the environment names.
#pragma once

#include <string>

namespace orvi::platform {

// Whether standard output goes to a file or a pipe ("> report.txt", "| Out-File"): GetFileType of
// GetStdHandle(STD_OUTPUT_HANDLE) is FILE_TYPE_DISK or FILE_TYPE_PIPE. False without a standard output
// and for a console or another character device.
bool standardOutputRedirected();

// Writes `text` (in the process code page, lines ended by "\n") to the console of the process that
// started this one (AttachConsole(ATTACH_PARENT_PROCESS), CONOUT$, WriteConsoleW), and lets the console
// go again. False, with nothing written, when that process has no console (Explorer, a scheduled task)
// or the console cannot be written to. Never throws.
bool writeToParentConsole(const std::string& text) noexcept;

}  // namespace orvi::platform
