// Simulated desktops as JSON text and files (the format: docs/desktop-file.md).
#pragma once

#include "platform/SimulatedDesktop.h"

#include <string>

namespace orvi::platform {

// Throws std::runtime_error naming the first fault and where it is ("adapters[0].displays[1].width:
// ..."): not JSON, a missing "adapters", an unknown key, a value of the wrong type or out of range, a
// text that is not UTF-8.
SimulatedDesktop parseDesktop(const std::string& json);

// Every field written, indented by two blanks; parseDesktop reads it back unchanged.
std::string formatDesktop(const SimulatedDesktop& desktop);

// Throws std::runtime_error "<path>: <fault>" when the file cannot be read or parsed.
SimulatedDesktop readDesktopFile(const std::string& path);

// Replaces the file's content; false when it could not be written.
bool writeDesktopFile(const std::string& path, const SimulatedDesktop& desktop);

}  // namespace orvi::platform
