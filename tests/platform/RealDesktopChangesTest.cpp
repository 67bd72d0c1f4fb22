// The notices of desktop changes from the window system itself (under Wine on the build machine):
// messages sent to the listener's window from another thread, as Windows sends them.
#include "platform/DesktopChanges.h"

#include "platform/MonitorArrivalFilter.h"
#include "platform/SuspendResumeRegistration.h"
#include "platform/Win32.h"

#include <dbt.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

constexpr GUID kMonitorInterface = {0xE6F07B5F, 0xEE97, 0x4A90, {0xB0, 0x76, 0x33, 0xF5, 0x7B, 0xF4, 0xEA, 0xA7}};
constexpr GUID kUsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

HWND listenerWindow() { return FindWindowW(L"SetPrimaryKiv desktop change listener", nullptr); }

// Wine's RegisterSuspendResumeNotification keeps nothing and sends no resume, and its GetTickCount64
// runs as real time does. Stand-ins take their place for the whole program (see the end of this file):
// they tell which window was registered, and hold the clock where a case puts it.
HWND registeredForResumes = nullptr;  // the last window registered with DEVICE_NOTIFY_WINDOW_HANDLE
std::atomic<ULONGLONG> heldTicks{0};  // 0: the clock runs

template <typename Function>
Function wineFunction(const wchar_t* module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(module), name)));
}

HPOWERNOTIFY WINAPI noteRegisterSuspendResumeNotification(HANDLE recipient, DWORD flags) {
    registeredForResumes = flags == DEVICE_NOTIFY_WINDOW_HANDLE ? static_cast<HWND>(recipient) : nullptr;
    static const auto wine =
        wineFunction<decltype(&RegisterSuspendResumeNotification)>(L"user32.dll", "RegisterSuspendResumeNotification");
    return wine(recipient, flags);
}

ULONGLONG WINAPI heldGetTickCount64() {
    static const auto wine = wineFunction<decltype(&GetTickCount64)>(L"kernel32.dll", "GetTickCount64");
    const ULONGLONG held = heldTicks;
    return held != 0 ? held : wine();
}

// Wine starts its desktop and announces its devices for a while after it starts, above all in a new
// prefix: wait until a listener can be made and the desktop has been quiet for a second (at most a
// minute), so that every notice below is the case's own.
void waitForAQuietDesktop() {
    const ULONGLONG deadline = GetTickCount64() + 60000;
    std::unique_ptr<orvi::platform::DesktopChangeListener> listener;
    while ((listener = orvi::platform::desktopChanges().listen([](orvi::platform::Ending) {})) == nullptr) {
        ASSERT_LT(GetTickCount64(), deadline) << "no listener could be made for a minute";
        Sleep(100);
    }
    while (listener->waitMilliseconds(1000)) {
        ASSERT_LT(GetTickCount64(), deadline) << "the desktop kept changing for a minute";
    }
}

// A monitor's DBT_DEVICEARRIVAL reaches only windows registered for the monitor interface, and on a PC
// with Modern Standby a resume only windows registered for it; Wine announces neither, so the
// registrations are checked by themselves.
TEST(RealDesktopChanges, RegistersForTheArrivalOfMonitorsAndForResumes) {
    const DEV_BROADCAST_DEVICEINTERFACE_W filter = orvi::platform::monitorArrivalFilter();
    EXPECT_EQ(filter.dbcc_size, sizeof filter);
    EXPECT_EQ(filter.dbcc_devicetype, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
    EXPECT_TRUE(IsEqualGUID(filter.dbcc_classguid, kMonitorInterface));

    const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(orvi::platform::SuspendResumeRegistration(window).registered());
    EXPECT_FALSE(orvi::platform::SuspendResumeRegistration(nullptr).registered());
    DestroyWindow(window);
}

TEST(RealDesktopChanges, AListenerHearsTheDesktopsChangesAndNothingElse) {
    DEV_BROADCAST_DEVICEINTERFACE_W monitor{};
    monitor.dbcc_size = sizeof monitor;
    monitor.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    monitor.dbcc_classguid = kMonitorInterface;
    DEV_BROADCAST_DEVICEINTERFACE_W usbDevice = monitor;
    usbDevice.dbcc_classguid = kUsbDeviceInterface;
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('E' - 'A');

    enum Heard { Nothing, Screens, SessionReturned, Resumed };
    enum End { NoEnd, SessionEnds, Closing };
    const auto closeApp = reinterpret_cast<const void*>(static_cast<LPARAM>(ENDSESSION_CLOSEAPP));
    struct Case {
        const char* what;
        UINT message;
        WPARAM kind;
        const void* data;
        Heard heard;
        End end = NoEnd;
        int times = 1;
    };
    const Case cases[] = {
        {"the desktop's screens or modes changed", WM_DISPLAYCHANGE, 32, nullptr, Screens},
        {"a device node came or went", WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, nullptr, Screens},
        {"a monitor arrived", WM_DEVICECHANGE, DBT_DEVICEARRIVAL, &monitor, Screens},
        {"a monitor went away", WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, &monitor, Nothing},
        {"another device interface arrived", WM_DEVICECHANGE, DBT_DEVICEARRIVAL, &usbDevice, Nothing},
        {"a volume arrived", WM_DEVICECHANGE, DBT_DEVICEARRIVAL, &volume, Nothing},
        {"the time changed", WM_TIMECHANGE, 0, nullptr, Nothing},
        // Windows sends these only to a window registered for its session's notices.
        {"the session was unlocked", WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, nullptr, SessionReturned},
        {"the session came back to the console", WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, nullptr, SessionReturned},
        {"a remote client connected to the session", WM_WTSSESSION_CHANGE, WTS_REMOTE_CONNECT, nullptr,
         SessionReturned},
        {"the session was locked", WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, nullptr, Nothing},
        {"the remote client went away", WM_WTSSESSION_CHANGE, WTS_REMOTE_DISCONNECT, nullptr, Nothing},
        // Every top-level window hears of sleep and resume.
        {"the PC resumed by itself", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, nullptr, Resumed},
        {"a user woke the PC", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, nullptr, Resumed},
        // A registered window of a PC that sleeps in S3 hears the resume by the broadcast and again by
        // its registration: one notice.
        {"the resume heard twice", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, nullptr, Resumed, NoEnd, 2},
        {"the PC goes to sleep", WM_POWERBROADCAST, PBT_APMSUSPEND, nullptr, Nothing},
        // Sign-out and shutdown: asked first (the answer must be TRUE), then told; so does the Restart
        // Manager with ENDSESSION_CLOSEAPP when it closes the tool.
        {"the session is asked whether it may end", WM_QUERYENDSESSION, 0, nullptr, Nothing},
        {"the end of the session was called off", WM_ENDSESSION, FALSE, nullptr, Nothing},
        {"the session ends", WM_ENDSESSION, TRUE, nullptr, Nothing, SessionEnds},
        {"the session ends, told twice", WM_ENDSESSION, TRUE, nullptr, Nothing, SessionEnds, 2},
        {"the Restart Manager closes the tool", WM_ENDSESSION, TRUE, closeApp, Nothing, Closing},
        {"the tool is asked to close", WM_CLOSE, 0, nullptr, Nothing, Closing},
    };
    waitForAQuietDesktop();
    // Every case makes a listener of its own, as every wait does: each needs the window class again.
    for (const Case& c : cases) {
        std::atomic<int> endings{0};
        std::atomic<bool> endingBeforeTheAnswer{false};
        std::atomic<bool> answered{false};
        std::atomic<End> end{NoEnd};
        registeredForResumes = nullptr;
        std::unique_ptr<orvi::platform::DesktopChangeListener> listener =
            orvi::platform::desktopChanges().listen([&](orvi::platform::Ending ending) {
                ++endings;
                endingBeforeTheAnswer = !answered;
                end = ending == orvi::platform::Ending::Closing ? Closing : SessionEnds;
            });
        ASSERT_NE(listener, nullptr) << c.what;
        const HWND window = listenerWindow();
        ASSERT_NE(window, nullptr) << c.what;
        EXPECT_EQ(registeredForResumes, window) << "the listener's own window, as Modern Standby needs";
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow()) << "top-level, so that broadcasts reach it";

        // The message is handled while the listener waits, which then tells whether it was a notice.
        std::atomic<bool> handled{false};
        DWORD_PTR answer = 0;
        std::atomic<int> sent{0};
        std::thread sender([&] {
            for (int time = 0; time < c.times; ++time) {
                handled = SendMessageTimeoutW(window, c.message, c.kind, reinterpret_cast<LPARAM>(c.data), SMTO_NORMAL,
                                              10000, &answer) != 0;
                answered = true;
                ++sent;
            }
        });
        const ULONGLONG deadline = GetTickCount64() + 10000;
        orvi::platform::Notices noticed;
        while (!noticed && !listener->sessionEnded() && sent < c.times && GetTickCount64() < deadline) {
            noticed = listener->waitMilliseconds(100);
        }
        // A listener that heard the end waits no more, but a modal loop (a box left open) still hands
        // its window what comes after.
        while (sent < c.times && GetTickCount64() < deadline) {
            MSG message{};
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
            }
            Sleep(10);
        }
        sender.join();
        EXPECT_TRUE(handled) << c.what;
        EXPECT_FALSE(listener->waitMilliseconds(0)) << c.what << ": heard once";
        const Heard heard = noticed.screens           ? Screens
                            : noticed.sessionReturned ? SessionReturned
                            : noticed.resumed         ? Resumed
                                                      : Nothing;
        EXPECT_EQ(heard, c.heard) << c.what;
        if (c.message == WM_QUERYENDSESSION) {
            EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "never holds up a sign-out";
        }
        EXPECT_EQ(listener->sessionEnded(), c.end != NoEnd) << c.what;
        EXPECT_EQ(end, c.end) << c.what;
        EXPECT_EQ(endings, c.end != NoEnd ? 1 : 0) << c.what << ": the end is told once";
        EXPECT_EQ(endingBeforeTheAnswer, c.end != NoEnd) << c.what << ": the tool's last lines come before its answer";
        listener.reset();
        EXPECT_EQ(listenerWindow(), nullptr) << "the window ends with the listener";
    }
}

// Messages that come one after the other before the tool looks are one wait's notices: a resume or a
// return followed by a change of the screens is still a resume or a return.
TEST(RealDesktopChanges, MessagesBeforeAWaitAreHeardTogether) {
    struct Case {
        const char* what;
        UINT message;
        WPARAM kind;
        bool sessionReturned;
        bool resumed;
    };
    const Case cases[] = {
        {"a resume, then the screens", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, false, true},
        {"an unlock, then the screens", WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, true, false},
    };
    waitForAQuietDesktop();
    for (const Case& c : cases) {
        const auto listener = orvi::platform::desktopChanges().listen([](orvi::platform::Ending) {});
        ASSERT_NE(listener, nullptr) << c.what;
        const HWND window = listenerWindow();
        SendMessageW(window, c.message, c.kind, 0);
        SendMessageW(window, WM_DISPLAYCHANGE, 32, 0);
        const orvi::platform::Notices heard = listener->waitMilliseconds(100);
        EXPECT_TRUE(heard.screens) << c.what;
        EXPECT_EQ(heard.sessionReturned, c.sessionReturned) << c.what;
        EXPECT_EQ(heard.resumed, c.resumed) << c.what;
    }
}

// A resume heard less than 5 s after the one before is the same resume (the user's wake after the
// automatic resume); one heard later, a resume of its own.
TEST(RealDesktopChanges, ResumesLessThanFiveSecondsApartAreOne) {
    struct Case {
        ULONGLONG apart;  // milliseconds on the clock between the two
        bool heardAgain;
    };
    const Case cases[] = {{3000, false}, {4999, false}, {5000, true}, {60000, true}};
    waitForAQuietDesktop();
    for (const Case& c : cases) {
        const auto listener = orvi::platform::desktopChanges().listen([](orvi::platform::Ending) {});
        ASSERT_NE(listener, nullptr) << c.apart;
        const HWND window = listenerWindow();
        heldTicks = GetTickCount64();
        SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        EXPECT_TRUE(listener->waitMilliseconds(0).resumed) << c.apart;
        heldTicks += c.apart;
        SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
        EXPECT_EQ(listener->waitMilliseconds(0).resumed, c.heardAgain) << c.apart;
        heldTicks = 0;
    }
}

// An error box left open on a PC nobody watches: its modal loop hands the listener's window the end of
// the session, which then closes the box, so that the tool can go on to its end.
TEST(RealDesktopChanges, TheEndOfTheSessionClosesABoxLeftOpen) {
    waitForAQuietDesktop();
    std::atomic<int> endings{0};
    const auto listener = orvi::platform::desktopChanges().listen([&endings](orvi::platform::Ending) { ++endings; });
    ASSERT_NE(listener, nullptr);
    const HWND window = listenerWindow();
    std::atomic<bool> boxEnded{false};
    std::atomic<bool> closedByTheTest{false};
    std::thread session([&] {
        Sleep(1000);  // the box is up by then
        SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, nullptr);
        SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, nullptr);
        for (int waited = 0; waited < 100 && !boxEnded; ++waited) {
            Sleep(100);
        }
        if (!boxEnded) {  // so that a failing case ends
            closedByTheTest = true;
            if (const HWND box = FindWindowW(L"#32770", L"left open")) {
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
        }
    });
    MessageBoxA(nullptr, "nobody closes this box", "left open", MB_ICONERROR | MB_OK);
    boxEnded = true;
    session.join();
    EXPECT_FALSE(closedByTheTest) << "the box stayed open after the end of the session";
    EXPECT_TRUE(listener->sessionEnded());
    EXPECT_EQ(endings, 1);
}

}  // namespace

// The program's own pointers for these two imports: the linker takes them before the import
// libraries', so every call of the program (the listener's among them) goes to the stand-ins.
extern "C" {
decltype(&RegisterSuspendResumeNotification) __imp_RegisterSuspendResumeNotification =
    noteRegisterSuspendResumeNotification;
decltype(&GetTickCount64) __imp_GetTickCount64 = heldGetTickCount64;
}
