// The window system's notices of desktop changes: a hidden top-level window of the tool's own, which
// Windows tells about every change of the desktop's screens, about the session's return to the
// console, about a resume from sleep, and about the session's end or a request to close, while the
// tool pumps its messages.
#include "platform/DesktopChanges.h"

#include "platform/MonitorArrivalFilter.h"
#include "platform/SuspendResumeRegistration.h"
#include "platform/Win32.h"

#include <dbt.h>
#include <wtsapi32.h>

#include <cstddef>
#include <utility>

namespace orvi::platform {
namespace {

// GUID_DEVINTERFACE_MONITOR, defined here so that no library of GUIDs is linked.
constexpr GUID kMonitorInterface = {0xE6F07B5F, 0xEE97, 0x4A90, {0xB0, 0x76, 0x33, 0xF5, 0x7B, 0xF4, 0xEA, 0xA7}};
constexpr const wchar_t* kClassName = L"SetPrimaryKiv desktop change listener";

bool isMonitorArrival(LPARAM data) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) {
        return false;
    }
    const auto* arrival = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    return IsEqualGUID(arrival->dbcc_classguid, kMonitorInterface) != FALSE;
}

// WM_DISPLAYCHANGE reaches every top-level window when the desktop's screens or modes change. The
// device notices come before it: DBT_DEVNODES_CHANGED goes to every top-level window for any device,
// a monitor's DBT_DEVICEARRIVAL only to windows registered for the monitor interface. Other devices'
// arrivals (a USB stick's volume) reach every top-level window too and are no change of the desktop.
//
// While the session has no access to the console (locked, remote, switched away) the display
// configuration is refused; WM_WTSSESSION_CHANGE, sent only to registered windows, tells when it
// comes back: an unlock, or a connection to the console or a remote client.
//
// WM_POWERBROADCAST reaches every top-level window, and on a PC with Modern Standby only a window
// registered for it (SuspendResumeRegistration); after a sleep or hibernation Windows sends
// PBT_APMRESUMEAUTOMATIC, and PBT_APMRESUMESUSPEND as well when a user woke the PC.
Notices noticesOf(UINT message, WPARAM kind, LPARAM data) {
    Notices notices;
    if (message == WM_DISPLAYCHANGE) {
        notices.screens = true;
    } else if (message == WM_DEVICECHANGE) {
        notices.screens = kind == DBT_DEVNODES_CHANGED || (kind == DBT_DEVICEARRIVAL && isMonitorArrival(data));
    } else if (message == WM_WTSSESSION_CHANGE) {
        notices.sessionReturned =
            kind == WTS_SESSION_UNLOCK || kind == WTS_CONSOLE_CONNECT || kind == WTS_REMOTE_CONNECT;
    } else if (message == WM_POWERBROADCAST) {
        notices.resumed = kind == PBT_APMRESUMEAUTOMATIC || kind == PBT_APMRESUMESUSPEND;
    }
    return notices;
}

class WindowClass {
public:
    explicit WindowClass(WNDPROC procedure) : instance_(GetModuleHandleW(nullptr)) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance_;
        windowClass.lpszClassName = kClassName;
        atom_ = RegisterClassExW(&windowClass);
    }
    ~WindowClass() {
        if (atom_ != 0) {
            UnregisterClassW(kClassName, instance_);
        }
    }
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;

    bool registered() const { return atom_ != 0; }
    HINSTANCE instance() const { return instance_; }

private:
    HINSTANCE instance_;
    ATOM atom_ = 0;
};

class HiddenWindow {
public:
    // Top-level, so that broadcasts reach it (a message-only window gets none); without WS_VISIBLE
    // and never shown.
    explicit HiddenWindow(const WindowClass& windowClass)
        : handle_(windowClass.registered() ? CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                                             windowClass.instance(), nullptr)
                                           : nullptr) {}
    ~HiddenWindow() {
        if (handle_ != nullptr) {
            DestroyWindow(handle_);
        }
    }
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;

    HWND handle() const { return handle_; }

private:
    HWND handle_;
};

// The window's registration for the arrival of monitors.
class MonitorArrivals {
public:
    explicit MonitorArrivals(HWND window) {
        if (window == nullptr) {
            return;
        }
        DEV_BROADCAST_DEVICEINTERFACE_W filter = monitorArrivalFilter();
        handle_ = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    ~MonitorArrivals() {
        if (handle_ != nullptr) {
            UnregisterDeviceNotification(handle_);
        }
    }
    MonitorArrivals(const MonitorArrivals&) = delete;
    MonitorArrivals& operator=(const MonitorArrivals&) = delete;

    bool registered() const { return handle_ != nullptr; }

private:
    HDEVNOTIFY handle_ = nullptr;
};

// The window's registration for the notices of its own session. Wine 8 accepts it and sends nothing
// (its wtsapi32 answers TRUE and does no more); Windows sends WM_WTSSESSION_CHANGE.
class SessionNotices {
public:
    explicit SessionNotices(HWND window)
        : window_(window != nullptr && WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION) ? window
                                                                                                       : nullptr) {}
    ~SessionNotices() {
        if (window_ != nullptr) {
            WTSUnRegisterSessionNotification(window_);
        }
    }
    SessionNotices(const SessionNotices&) = delete;
    SessionNotices& operator=(const SessionNotices&) = delete;

private:
    HWND window_;  // registered; null when not
};

// A resume heard within this time after the one before is the same resume: a registered window of a
// PC that sleeps in S3 hears it twice, by the broadcast and by its registration, and a user's wake
// brings PBT_APMRESUMESUSPEND after PBT_APMRESUMEAUTOMATIC.
constexpr ULONGLONG kSameResumeMilliseconds = 5000;

class WindowListener final : public DesktopChangeListener {
public:
    explicit WindowListener(SessionEnding sessionEnding)
        : sessionEnding_(std::move(sessionEnding)),
          class_(&WindowListener::procedure),
          window_(class_),
          arrivals_(window_.handle()),
          session_(window_.handle()),
          resumes_(window_.handle()) {
        if (window_.handle() != nullptr) {
            SetWindowLongPtrW(window_.handle(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        }
    }

    ~WindowListener() override {
        if (window_.handle() != nullptr) {
            SetWindowLongPtrW(window_.handle(), GWLP_USERDATA, 0);
        }
    }
    WindowListener(const WindowListener&) = delete;
    WindowListener& operator=(const WindowListener&) = delete;

    bool listening() const { return arrivals_.registered(); }

    Notices waitMilliseconds(std::uint32_t milliseconds) override {
        if (sessionEnded_) {
            return {};
        }
        // Messages that came before this wait would not wake it.
        handleMessages();
        if (!heard_ && !sessionEnded_) {
            if (MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT) == WAIT_FAILED) {
                Sleep(milliseconds == INFINITE ? kPauseAfterAFailedWait : milliseconds);  // rather than spin
            }
            handleMessages();
        }
        if (sessionEnded_) {
            return {};
        }
        return std::exchange(heard_, Notices{});
    }

    DWORD waitForObject(HANDLE object) override {
        for (;;) {
            handleMessages();
            if (sessionEnded_) {
                return WAIT_TIMEOUT;
            }
            const DWORD result = MsgWaitForMultipleObjects(1, &object, FALSE, INFINITE, QS_ALLINPUT);
            if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) {
                return result;
            }
            if (result == WAIT_ABANDONED_0) {
                return WAIT_ABANDONED;
            }
        }
    }

    bool sessionEnded() const override { return sessionEnded_; }

private:
    // Whether a resume heard now is the one heard last (kSameResumeMilliseconds); notes it as the last.
    bool sameResumeAsBefore() {
        const ULONGLONG now = GetTickCount64();
        const bool again = lastResume_ != 0 && now - lastResume_ < kSameResumeMilliseconds;
        lastResume_ = now;
        return again;
    }

    // A wait that fails without a time limit pauses this long before the caller waits again.
    static constexpr DWORD kPauseAfterAFailedWait = 1000;

    // Sent messages, the broadcasts among them, are handled inside PeekMessageW.
    void handleMessages() {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }

    void end(Ending ending) {
        if (sessionEnded_) {
            return;
        }
        sessionEnded_ = true;
        sessionEnding_(ending);
        // A modal loop on this thread (an error box left open) ends at WM_QUIT and posts it again,
        // so the tool goes on to its end rather than wait for someone to close the box.
        PostQuitMessage(0);
    }

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM kind, LPARAM data) {
        auto* listener = reinterpret_cast<WindowListener*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (listener == nullptr) {
            return DefWindowProcW(window, message, kind, data);
        }
        switch (message) {
        case WM_QUERYENDSESSION:
            return TRUE;  // the tool never holds up a sign-out, a shutdown or the Restart Manager
        case WM_ENDSESSION:
            // Windows may end the process as soon as every window has answered WM_ENDSESSION, so the
            // tool's last lines are written before this one answers. FALSE: the end was called off.
            if (kind != FALSE) {
                listener->end((data & ENDSESSION_CLOSEAPP) != 0 ? Ending::Closing : Ending::SessionEnds);
            }
            return 0;
        case WM_CLOSE:
            listener->end(Ending::Closing);  // the window stays: it is the tool's, and ends with it
            return 0;
        default:
            break;
        }
        const Notices notices = noticesOf(message, kind, data);
        if (notices.resumed && listener->sameResumeAsBefore()) {
            return TRUE;
        }
        if (notices) {
            listener->heard_ |= notices;
            return message == WM_DEVICECHANGE || message == WM_POWERBROADCAST ? TRUE : 0;
        }
        return DefWindowProcW(window, message, kind, data);
    }

    SessionEnding sessionEnding_;
    bool sessionEnded_ = false;
    // Declared in the order of making; they end in the reverse order, the registrations before the
    // window. Without the session's notices the others still come, and the wait still polls.
    WindowClass class_;
    HiddenWindow window_;
    MonitorArrivals arrivals_;
    SessionNotices session_;
    SuspendResumeRegistration resumes_;
    Notices heard_;             // since the last wait that returned notices
    ULONGLONG lastResume_ = 0;  // when the last resume was heard (GetTickCount64); 0: none yet
};

class WindowDesktopChanges final : public DesktopChanges {
public:
    std::unique_ptr<DesktopChangeListener> listen(const SessionEnding& sessionEnding) override {
        auto listener = std::make_unique<WindowListener>(sessionEnding);
        if (!listener->listening()) {
            return nullptr;
        }
        return listener;
    }
};

}  // namespace

SuspendResumeRegistration::SuspendResumeRegistration(HWND window)
    : handle_(window != nullptr ? RegisterSuspendResumeNotification(window, DEVICE_NOTIFY_WINDOW_HANDLE) : nullptr) {}

SuspendResumeRegistration::~SuspendResumeRegistration() {
    if (handle_ != nullptr) {
        UnregisterSuspendResumeNotification(handle_);
    }
}

DEV_BROADCAST_DEVICEINTERFACE_W monitorArrivalFilter() {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kMonitorInterface;
    return filter;
}

DesktopChanges& desktopChanges() {
    static WindowDesktopChanges changes;
    return changes;
}

}  // namespace orvi::platform
