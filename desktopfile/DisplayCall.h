// The display calls (platform/DisplayCalls.inc) as values, known by their user32 names: what a
// desktop file names when it makes a call fail.
#pragma once

#include <optional>
#include <string_view>

namespace orvi::simulation {

enum class DisplayCall {
#define DISPLAY_CALL(Result, name, parameters, arguments, user32Call) name,
#include "platform/DisplayCalls.inc"
#undef DISPLAY_CALL
};

// "EnumDisplayDevicesW" for DisplayCall::enumDisplayDevices, and so on.
std::string_view user32NameOf(DisplayCall call);

// The call with this user32 name; none for any other text.
std::optional<DisplayCall> displayCallNamed(std::string_view user32Name);

// Whether the call answers with a BOOL, FALSE when it fails, rather than with an error or
// DISP_CHANGE_* code.
bool answersWithBool(DisplayCall call);

}  // namespace orvi::simulation
