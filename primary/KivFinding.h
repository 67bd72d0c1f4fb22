// What a scan pass that found a Kiv did about it, for the report of the run's outcome.
#pragma once

#include <string>

namespace orvi {

struct KivFinding {
    bool madePrimary = false;  // false: a Kiv screen was the primary display already
    std::string variant;       // "Varel" or "Pellun": the variant that took precedence
    std::string screen;        // the screen made primary: its device name and, when known, its display name
    bool throughDisplayConfiguration = false;  // made primary by SetDisplayConfig, Windows having
                                               // declined the display settings
};

}  // namespace orvi
