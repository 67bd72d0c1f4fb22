// Finds a message box of another process on the desktop, reads it and presses its OK button, so that
// tests of the real executable see its boxes and are never blocked by them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace boxwatch {

// Texts in UTF-8.
struct ObservedBox {
    std::string title;
    std::string text;
    std::string icon;  // "error", "information", "none" or "unknown"
};

// Waits up to timeoutMs for a visible dialog-class top-level window whose title is `title` (UTF-8;
// any title when empty) and, when processId is not 0, that belongs to that process. Reads its title,
// its text and which icon it shows, then presses OK. Nothing when no such box appeared in time.
std::optional<ObservedBox> closeNextBox(const std::string& title, DWORD processId, DWORD timeoutMs);

}  // namespace boxwatch
