#include "BoxWatcher.h"

#include <iterator>
#include <vector>

namespace boxwatch {
namespace {

// The message box's text is the static control with this id, on Windows and on Wine.
constexpr int kTextControlId = 0xFFFF;

struct Search {
    const std::string* title;
    DWORD processId;
    HWND found;
};

// The box's texts in UTF-8, read as UTF-16: the narrow calls would give them in this process's code
// page, where letters beyond it are lost.
std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer.data(), size, nullptr, nullptr);
    return std::string(buffer.data());
}

std::string windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(window, buffer.data(), length + 1);
    return utf8(buffer.data());
}

BOOL CALLBACK matchBox(HWND window, LPARAM data) {
    Search& search = *reinterpret_cast<Search*>(data);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) != "#32770" || !IsWindowVisible(window)) {
        return TRUE;
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search.processId != 0 && owner != search.processId) {
        return TRUE;
    }
    if (!search.title->empty() && windowText(window) != *search.title) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

HWND iconControl(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = {};
        GetClassNameA(child, className, sizeof className);
        const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
        if (lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child)) {
            return child;
        }
    }
    return nullptr;
}

// Icons belong to the process that loaded them, so the box's icon handle means nothing here. The
// icon is told by what is on the screen instead: the error icon is mostly red, the information icon
// mostly blue.
std::string iconOnScreen(HWND box) {
    const HWND icon = iconControl(box);
    if (icon == nullptr) {
        return "none";
    }
    RECT area{};
    GetWindowRect(icon, &area);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        return "unknown";
    }
    const HDC screen = GetDC(nullptr);
    int red = 0;
    int blue = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const COLORREF pixel = GetPixel(screen, area.left + x, area.top + y);
            const int r = GetRValue(pixel), g = GetGValue(pixel), b = GetBValue(pixel);
            if (r > 150 && g < 110 && b < 110) {
                ++red;
            } else if (b > 150 && r < 110) {
                ++blue;
            }
        }
    }
    ReleaseDC(nullptr, screen);
    const int enough = width * height / 10;
    if (red > enough && red > blue) {
        return "error";
    }
    if (blue > enough && blue > red) {
        return "information";
    }
    return "unknown";
}

}  // namespace

std::optional<ObservedBox> closeNextBox(const std::string& title, DWORD processId, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    Search search{&title, processId, nullptr};
    while (search.found == nullptr) {
        EnumWindows(matchBox, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) {
            if (GetTickCount64() >= deadline) {
                return std::nullopt;
            }
            Sleep(50);
        }
    }
    ObservedBox box;
    box.title = windowText(search.found);
    wchar_t text[8192] = {};
    GetDlgItemTextW(search.found, kTextControlId, text, static_cast<int>(std::size(text)));
    box.text = utf8(text);
    // The box may not be painted yet when it first shows up.
    for (int attempt = 0; attempt < 40; ++attempt) {
        box.icon = iconOnScreen(search.found);
        if (box.icon != "unknown") {
            break;
        }
        Sleep(50);
    }
    PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(search.found, IDOK)));
    return box;
}

}  // namespace boxwatch
