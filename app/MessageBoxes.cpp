#include "app/MessageBoxes.h"

#include "platform/Win32.h"

namespace orvi {

void showErrorBox(const char* title, const char* text) {
    const char* const fallback = "UNKNOWN ERROR";
    MessageBoxA(nullptr, text ? text : fallback, title ? title : fallback, MB_ICONERROR | MB_OK);
}

void showInfoBox(const char* title, const char* text) {
    MessageBoxA(nullptr, text ? text : "Empty Info", title ? title : "Info", MB_ICONINFORMATION | MB_OK);
}

}  // namespace orvi
