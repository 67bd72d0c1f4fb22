// The names of the named mutexes a run takes, in the caller's local namespace.
#pragma once

#include <string_view>

namespace orvi::util {

// Held for the whole run, so that a second instance of the tool ends at once.
inline constexpr std::string_view kSingleInstanceMutexName = "SetPrimaryKiv_single_app";

// Shared with the other tools of the product family: only one of them changes the layout at a time.
inline constexpr std::string_view kFamilyMutexName = "MorvaKivDisplayApp_main";

}  // namespace orvi::util
