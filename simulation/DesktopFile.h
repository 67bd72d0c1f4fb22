// Simulated desktops as JSON text and files (the format: README.md, "Simulated desktops").
#pragma once

#include "simulation/SimulatedDesktop.h"

#include <optional>
#include <string>
#include <vector>

namespace orvi::simulation {

// An adapter, with its display devices and monitors, that is plugged in while the tool runs: during
// the duringPass-th scan pass (1, 2, ...), or, when atSecond is set, that many seconds after the run
// began, on the run's clock. PlugInSchedule.h turns either into the window system's moment.
struct PlannedPlugIn {
    unsigned duringPass = 1;  // not used when atSecond is set
    SimulatedAdapter adapter;
    std::optional<unsigned> atSecond = std::nullopt;
};

// What a desktop file holds: the desktop as the tool finds it, and the adapters plugged in later.
struct DesktopFile {
    SimulatedDesktop desktop;
    std::vector<PlannedPlugIn> plugIns;
};

// Throws std::runtime_error naming the first fault and where it is ("adapters[0].displays[1].width:
// ..."): not JSON, a missing "adapters", an unknown key, a value of the wrong type or out of range, a
// text that is not UTF-8, a plug-in without its adapter or without exactly one of its pass and second.
DesktopFile parseDesktop(const std::string& json);

// Every field written, indented by two blanks; "plugIns" only when there are any. parseDesktop reads
// it back unchanged.
std::string formatDesktop(const DesktopFile& file);

// Throws std::runtime_error "<path>: <fault>" when the file cannot be read or parsed.
DesktopFile readDesktopFile(const std::string& path);

// Replaces the file's content; false when it could not be written.
bool writeDesktopFile(const std::string& path, const DesktopFile& file);

}  // namespace orvi::simulation
