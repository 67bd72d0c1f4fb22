#include "util/GlobalNamedMutex.h"

#include "util/WinException.h"

#include <utility>

namespace orvi::util {

std::unique_ptr<GlobalNamedMutex> GlobalNamedMutex::create(std::string_view name) {
    std::string ownName(name);
    const HANDLE handle = CreateMutexA(nullptr, FALSE, ownName.empty() ? nullptr : ownName.c_str());
    if (handle == nullptr) {
        throw WinException("Failed to create Global Named Mutex " + ownName);
    }
    return std::unique_ptr<GlobalNamedMutex>(new GlobalNamedMutex(std::move(ownName), handle));
}

GlobalNamedMutex::GlobalNamedMutex(std::string name, HANDLE handle) : name_(std::move(name)), handle_(handle) {}

GlobalNamedMutex::~GlobalNamedMutex() {
    // Closing a handle does not end a Windows mutex's ownership: without the release the mutex
    // would stay owned by this thread, and be left abandoned when it ends.
    if (locked_) {
        ReleaseMutex(handle_);
    }
    CloseHandle(handle_);
}

bool GlobalNamedMutex::acquiredBy(DWORD waitResult) {
    if (waitResult == WAIT_OBJECT_0 || waitResult == WAIT_ABANDONED) {
        locked_ = true;
    }
    return locked_;
}

bool GlobalNamedMutex::tryLock() {
    if (locked_) {
        return true;
    }
    return acquiredBy(WaitForSingleObject(handle_, 0));
}

void GlobalNamedMutex::lock() {
    lock([](HANDLE handle) { return WaitForSingleObject(handle, INFINITE); });
}

bool GlobalNamedMutex::lock(const std::function<DWORD(HANDLE)>& wait) {
    if (locked_) {
        return true;
    }
    const DWORD result = wait(handle_);
    if (result == WAIT_TIMEOUT) {
        return false;
    }
    if (!acquiredBy(result)) {
        throw WinException("Failed to lock Global Mutex");
    }
    return true;
}

}  // namespace orvi::util
