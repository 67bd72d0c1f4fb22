// Host stand-ins for Windows mutexes: CreateMutexA, WaitForSingleObject, ReleaseMutex, CloseHandle.
//
// A named mutex is a regular file at namedObjectPath(name), shared by every process of the user:
// - each process with a handle to it keeps the file open and holds a shared record lock (fcntl) on
//   byte 1, so that the first process to open it can tell that no other process has it: it then
//   starts a fresh mutex, as Windows forgets a mutex whose last handle closed. The last process to
//   close it removes the file; a process that opened the file just before sees that and opens anew.
// - the process whose thread owns the mutex holds an exclusive record lock on byte 0 and writes its
//   pid into the file, and takes the pid out again before it unlocks. The kernel drops record locks
//   when their process ends, so an owner's death sets the mutex free; the pid it left behind tells
//   the next owner that the mutex was abandoned, and that owner's wait answers WAIT_ABANDONED.
// Within a process, ownership belongs to one thread and counts its acquisitions; ReleaseMutex from
// any other thread fails with ERROR_NOT_OWNER. An unnamed mutex lives in its process only.
//
// An object of another kind under a name (a Windows event, say) is anything at the name's path that
// is not a regular file, e.g. a directory made there: CreateMutexA then answers a null handle with
// ERROR_INVALID_HANDLE, as Windows does.
//
// Limits: security attributes are ignored; a thread that ends while owning a mutex does not abandon
// it, only the end of its process does. CloseHandle hands every other handle to the file stand-ins.
#include "simulation/MutexStandIns.h"
#include "platform/Win32.h"
#include "simulation/FileStandIns.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;  // none: wait without limit

constexpr off_t kOwnerByte = 0;
constexpr off_t kHandlesByte = 1;

struct Mutex {
    std::string path;  // empty for an unnamed mutex
    int file = -1;
    int handles = 0;  // guarded by registryGuard

    std::mutex guard;  // guards the members below
    std::condition_variable changed;
    std::thread::id owner;  // no thread when free
    DWORD acquisitions = 0;
    bool acquiringFile = false;  // a thread of this process waits for another process to let go
};

std::mutex registryGuard;
std::map<HANDLE, std::shared_ptr<Mutex>> handleTable;
std::map<std::string, std::shared_ptr<Mutex>> namedMutexes;  // by path
std::uintptr_t nextHandle = 0x1000;

bool setRecordLock(int file, short type, off_t byte, bool wait) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    while (fcntl(file, wait ? F_SETLKW : F_SETLK, &lock) == -1) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

DWORD errorFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case EISDIR:  // a directory
    case ELOOP:   // a symbolic link
    case ENXIO:   // a socket
        return ERROR_INVALID_HANDLE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

// Opens the mutex file and registers this process as one with a handle. `othersHaveIt` tells
// whether another process had it open. Returns -1 and the Windows error on failure.
int openMutexFile(const std::string& path, bool& othersHaveIt, DWORD& error) {
    for (;;) {
        const int file = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (file == -1) {
            error = errorFromErrno(errno);
            return -1;
        }
        struct stat status {};
        if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
            close(file);
            error = ERROR_INVALID_HANDLE;
            return -1;
        }
        // With no other process at it, this is a fresh mutex: forget the pid of a dead owner.
        othersHaveIt = !setRecordLock(file, F_WRLCK, kHandlesByte, false);
        if (!othersHaveIt && ftruncate(file, 0) != 0) {
            error = errorFromErrno(errno);
            close(file);
            return -1;
        }
        if (!setRecordLock(file, F_RDLCK, kHandlesByte, true)) {
            error = errorFromErrno(errno);
            close(file);
            return -1;
        }
        if (fstat(file, &status) == 0 && status.st_nlink > 0) {
            return file;
        }
        close(file);  // removed by its last holder meanwhile
    }
}

// Waits for the owner lock of the file. WAIT_ABANDONED when the last owner left its pid behind.
DWORD lockOwnerRecord(int file, Deadline deadline) {
    while (!setRecordLock(file, F_WRLCK, kOwnerByte, !deadline)) {
        if (!deadline || (errno != EAGAIN && errno != EACCES)) {
            SetLastError(errorFromErrno(errno));
            return WAIT_FAILED;
        }
        if (Clock::now() >= *deadline) {
            return WAIT_TIMEOUT;
        }
        // Record locks cannot be waited for with a time limit: poll.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    struct stat status {};
    const bool abandoned = fstat(file, &status) == 0 && status.st_size > 0;
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(file, 0) != 0 || pwrite(file, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        SetLastError(errorFromErrno(errno));
        setRecordLock(file, F_UNLCK, kOwnerByte, false);
        return WAIT_FAILED;
    }
    return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

void unlockOwnerRecord(int file) {
    if (ftruncate(file, 0) != 0) {
        // The pid stays: the next owner takes the mutex as abandoned, which still acquires it.
    }
    setRecordLock(file, F_UNLCK, kOwnerByte, false);
}

std::shared_ptr<Mutex> findMutex(HANDLE handle) {
    const std::lock_guard<std::mutex> registry(registryGuard);
    const auto found = handleTable.find(handle);
    return found == handleTable.end() ? nullptr : found->second;
}

// The user's folder of named objects, made on first use; empty when it is not the user's alone.
std::string objectFolder() {
    const char* runtimeFolder = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtimeFolder != nullptr && runtimeFolder[0] == '/'
                                   ? std::string(runtimeFolder) + "/kiv-mutexes"
                                   : "/tmp/kiv-mutexes-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    // In /tmp another user could have made it first.
    struct stat status {};
    if (lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != getuid() ||
        (status.st_mode & 077) != 0) {
        return {};
    }
    return folder;
}

}  // namespace

namespace orvi::simulation {

std::string namedObjectPath(const char* name) {
    const std::string folder = objectFolder();
    if (folder.empty()) {
        return {};
    }
    std::string path = folder + "/";
    for (const char* at = name; *at != '\0'; ++at) {
        const char c = *at;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-') {
            path += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            path += escaped;
        }
    }
    return path;
}

bool ownedByThisThread(const char* name) {
    const std::string path = namedObjectPath(name);
    const std::lock_guard<std::mutex> registry(registryGuard);
    const auto found = namedMutexes.find(path);
    if (path.empty() || found == namedMutexes.end()) {
        return false;
    }
    const std::lock_guard<std::mutex> lock(found->second->guard);
    return found->second->owner == std::this_thread::get_id();
}

}  // namespace orvi::simulation

HANDLE CreateMutexA(SECURITY_ATTRIBUTES* /*attributes*/, BOOL initialOwner, LPCSTR name) {
    bool existed = false;
    HANDLE handle = nullptr;
    {
        const std::lock_guard<std::mutex> registry(registryGuard);
        std::shared_ptr<Mutex> mutex;
        if (name == nullptr || name[0] == '\0') {
            mutex = std::make_shared<Mutex>();
        } else {
            const std::string path = orvi::simulation::namedObjectPath(name);
            if (path.empty()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            const auto found = namedMutexes.find(path);
            if (found != namedMutexes.end()) {
                mutex = found->second;
                existed = true;
            } else {
                DWORD error = ERROR_SUCCESS;
                const int file = openMutexFile(path, existed, error);
                if (file == -1) {
                    SetLastError(error);
                    return nullptr;
                }
                mutex = std::make_shared<Mutex>();
                mutex->path = path;
                mutex->file = file;
                namedMutexes.emplace(path, mutex);
            }
        }
        ++mutex->handles;
        handle = reinterpret_cast<HANDLE>(nextHandle);
        nextHandle += 4;
        handleTable.emplace(handle, mutex);
    }
    if (initialOwner && !existed) {
        WaitForSingleObject(handle, 0);
    }
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    const std::shared_ptr<Mutex> mutex = findMutex(handle);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const Deadline deadline =
        milliseconds == INFINITE ? Deadline() : Clock::now() + std::chrono::milliseconds(milliseconds);
    const std::thread::id self = std::this_thread::get_id();

    std::unique_lock<std::mutex> lock(mutex->guard);
    for (;;) {
        if (mutex->owner == self) {
            ++mutex->acquisitions;
            return WAIT_OBJECT_0;
        }
        if (mutex->owner == std::thread::id() && !mutex->acquiringFile) {
            break;
        }
        if (!deadline) {
            mutex->changed.wait(lock);
        } else if (Clock::now() >= *deadline) {
            return WAIT_TIMEOUT;
        } else {
            mutex->changed.wait_until(lock, *deadline);
        }
    }

    // Free within this process; other processes are waited for without holding the guard.
    DWORD result = WAIT_OBJECT_0;
    if (mutex->file != -1) {
        mutex->acquiringFile = true;
        lock.unlock();
        result = lockOwnerRecord(mutex->file, deadline);
        lock.lock();
        mutex->acquiringFile = false;
    }
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
        mutex->owner = self;
        mutex->acquisitions = 1;
    }
    mutex->changed.notify_all();
    return result;
}

BOOL ReleaseMutex(HANDLE handle) {
    const std::shared_ptr<Mutex> mutex = findMutex(handle);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const std::lock_guard<std::mutex> lock(mutex->guard);
    if (mutex->owner != std::this_thread::get_id()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--mutex->acquisitions == 0) {
        if (mutex->file != -1) {
            unlockOwnerRecord(mutex->file);
        }
        mutex->owner = std::thread::id();
        mutex->changed.notify_all();
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    const std::lock_guard<std::mutex> registry(registryGuard);
    const auto found = handleTable.find(handle);
    if (found == handleTable.end()) {
        return orvi::simulation::closeFileHandle(handle);
    }
    const std::shared_ptr<Mutex> mutex = found->second;
    handleTable.erase(found);
    if (--mutex->handles > 0 || mutex->path.empty()) {
        return TRUE;
    }
    // Windows forgets a mutex with its last handle anywhere, owned or not. One that a thread here
    // owns while another process still has a handle stays owned, as closing does not release it.
    const std::lock_guard<std::mutex> lock(mutex->guard);
    if (mutex->acquiringFile) {
        return TRUE;  // another thread still waits through the handle that was just closed
    }
    const bool lastAnywhere = setRecordLock(mutex->file, F_WRLCK, kHandlesByte, false);
    if (mutex->owner != std::thread::id() && !lastAnywhere) {
        return TRUE;
    }
    namedMutexes.erase(mutex->path);
    if (lastAnywhere) {
        // A process that opened the file just before sees the removal and opens it anew.
        unlink(mutex->path.c_str());
    }
    close(mutex->file);
    return TRUE;
}
