// send_session_end: tells the waiting tool's listening window that its session ends, as Windows does
// at sign-out: WM_QUERYENDSESSION first, then WM_ENDSESSION with TRUE. Wine sends neither to a
// program of its own session. Exit code 0 when the window allowed the end and took both messages,
// 1 when there is no such window, 2 when it did not answer in time, 3 when it held the end up.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int main() {
    const HWND listener = FindWindowW(L"SetPrimaryKiv desktop change listener", nullptr);
    if (listener == nullptr) {
        return 1;
    }
    DWORD_PTR allowed = FALSE;
    if (SendMessageTimeoutW(listener, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &allowed) ==
        0) {
        return 2;
    }
    if (allowed == FALSE) {
        return 3;
    }
    const LRESULT sent =
        SendMessageTimeoutW(listener, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, nullptr);
    return sent != 0 ? 0 : 2;
}
