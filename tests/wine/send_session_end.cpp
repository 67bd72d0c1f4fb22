// send_session_end [closeapp | close]: tells the waiting tool's listening window that its run is to
// end. Without an argument as Windows does at sign-out: WM_QUERYENDSESSION first, then WM_ENDSESSION
// with TRUE; with "closeapp" the same with ENDSESSION_CLOSEAPP, as the Restart Manager closes a program
// whose files an installer replaces; with "close" WM_CLOSE, as taskkill without /f does. Wine sends
// none of them to a program of its own session. Exit code 0 when the window allowed the end and took
// the messages, 1 when there is no such window, 2 when it did not answer in time, 3 when it held the
// end up, 4 for a wrong argument.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

namespace {

bool send(HWND window, UINT message, WPARAM kind, LPARAM data, DWORD_PTR* answer = nullptr) {
    return SendMessageTimeoutW(window, message, kind, data, SMTO_ABORTIFHUNG, 5000, answer) != 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const char* how = argc == 2 ? argv[1] : "";
    if (argc > 2 ||
        (std::strcmp(how, "") != 0 && std::strcmp(how, "closeapp") != 0 && std::strcmp(how, "close") != 0)) {
        return 4;
    }
    const HWND listener = FindWindowW(L"SetPrimaryKiv desktop change listener", nullptr);
    if (listener == nullptr) {
        return 1;
    }
    if (std::strcmp(how, "close") == 0) {
        return send(listener, WM_CLOSE, 0, 0) ? 0 : 2;
    }
    const LPARAM kind = std::strcmp(how, "closeapp") == 0 ? ENDSESSION_CLOSEAPP : ENDSESSION_LOGOFF;
    DWORD_PTR allowed = FALSE;
    if (!send(listener, WM_QUERYENDSESSION, 0, kind, &allowed)) {
        return 2;
    }
    if (allowed == FALSE) {
        return 3;
    }
    return send(listener, WM_ENDSESSION, TRUE, kind) ? 0 : 2;
}
