// send_session_unlock: tells the waiting tool's listening window that its session was unlocked
// (WM_WTSSESSION_CHANGE with WTS_SESSION_UNLOCK and the session's id), as Windows does for a window
// registered with WTSRegisterSessionNotification. Wine never sends it: its wtsapi32 accepts the
// registration and does nothing more. Exit code 0 when the window took the message, 1 when there is
// no such window, 2 when it did not answer in time.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int main() {
    const HWND listener = FindWindowW(L"SetPrimaryKiv desktop change listener", nullptr);
    if (listener == nullptr) {
        return 1;
    }
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    const LRESULT sent = SendMessageTimeoutW(listener, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK,
                                             static_cast<LPARAM>(session), SMTO_ABORTIFHUNG, 5000, nullptr);
    return sent != 0 ? 0 : 2;
}
