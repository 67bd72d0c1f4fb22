// A Windows mutex found by name, so that processes of one Windows logon can exclude one another.
#pragma once

#include "platform/Win32.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace orvi::util {

// Acquire-only: there is no unlock operation; the lock ends with the object. Use it from one
// thread only. Exclusion is between processes: a thread that already owns the mutex (through this
// or another object of the same name) acquires it again at once.
class GlobalNamedMutex {
public:
    // Opens the mutex of that name, creating it free when it does not exist yet. The name is used
    // as given, in the caller's own namespace; an empty name makes an unnamed mutex.
    // Throws WinException "Failed to create Global Named Mutex <name>" with the last-error code
    // when the system gives no handle (for example when the name belongs to another kind of object).
    static std::unique_ptr<GlobalNamedMutex> create(std::string_view name);

    // Releases the mutex when this object acquired it, then closes the handle.
    ~GlobalNamedMutex();

    GlobalNamedMutex(const GlobalNamedMutex&) = delete;
    GlobalNamedMutex& operator=(const GlobalNamedMutex&) = delete;

    // Acquires without waiting. False when another process's thread owns the mutex or the wait
    // fails; nothing is thrown. True at once, without a system call, once this object holds it.
    bool tryLock();

    // Acquires, waiting without a time limit. Returns at once once this object holds it.
    // Throws WinException "Failed to lock Global Mutex" with the last-error code when the wait fails.
    void lock();

    // Acquires through `wait`, which waits for the mutex's handle as WaitForSingleObject without a
    // time limit does (and so acquires it), or gives up before (WAIT_TIMEOUT): false then, without the
    // mutex. True at once once this object holds it. Throws as lock() when the wait fails.
    bool lock(const std::function<DWORD(HANDLE)>& wait);

private:
    GlobalNamedMutex(std::string name, HANDLE handle);

    // Whether a wait's result gave this thread the mutex. A mutex whose owner ended without
    // releasing it is handed to the waiter together with WAIT_ABANDONED.
    bool acquiredBy(DWORD waitResult);

    std::string name_;
    HANDLE handle_;
    bool locked_ = false;
};

}  // namespace orvi::util
