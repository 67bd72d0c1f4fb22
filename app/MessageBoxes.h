// The tool's only visible output: modal message boxes with one OK button and no owner window.
#pragma once

namespace orvi {

// An error box (error icon). A null title or text is shown as "UNKNOWN ERROR". Returns when the user
// has closed the box; what the box answered is of no interest.
void showErrorBox(const char* title, const char* text);

// An information box. A null text is shown as "Empty Info", a null title as "Info".
void showInfoBox(const char* title, const char* text);

}  // namespace orvi
