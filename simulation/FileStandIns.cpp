// Host stand-ins for Windows files: CreateFileA and WriteFile, on POSIX files.
//
// A handle opened with FILE_APPEND_DATA and without FILE_WRITE_DATA (or GENERIC_WRITE) writes at the
// file's end, as on Windows: the file is opened with O_APPEND, which finds the end and writes in one
// step. Any other handle writes where it stands, from the start of the file on. Sharing modes are
// ignored (POSIX files are shared); only OPEN_ALWAYS is served; the path is taken as it is.
#include "simulation/FileStandIns.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

namespace {

std::mutex registryGuard;
std::map<HANDLE, int> openFiles;
// Far from the mutex stand-ins' handles, which count up from 0x1000.
std::uintptr_t nextHandle = 0x40000000;
unsigned writesToFail = 0;
orvi::simulation::FailedWrite howWritesFail = orvi::simulation::FailedWrite::Refused;

DWORD errorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
        return ERROR_DISK_FULL;
    default:
        return ERROR_GEN_FAILURE;
    }
}

int fileOf(HANDLE handle) {
    const std::lock_guard<std::mutex> registry(registryGuard);
    const auto found = openFiles.find(handle);
    return found == openFiles.end() ? -1 : found->second;
}

// How this write fails; none when it does not.
std::optional<orvi::simulation::FailedWrite> failThisWrite() {
    const std::lock_guard<std::mutex> registry(registryGuard);
    if (writesToFail == 0) {
        return std::nullopt;
    }
    --writesToFail;
    return howWritesFail;
}

}  // namespace

namespace orvi::simulation {

BOOL closeFileHandle(HANDLE handle) {
    const std::lock_guard<std::mutex> registry(registryGuard);
    const auto found = openFiles.find(handle);
    if (found == openFiles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    close(found->second);
    openFiles.erase(found);
    return TRUE;
}

void failNextFileWrites(unsigned count, FailedWrite how) {
    const std::lock_guard<std::mutex> registry(registryGuard);
    writesToFail = count;
    howWritesFail = how;
}

}  // namespace orvi::simulation

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD /*share*/, SECURITY_ATTRIBUTES* /*attributes*/, DWORD disposition,
                   DWORD /*flags*/, HANDLE /*templateFile*/) {
    if (path == nullptr || disposition != OPEN_ALWAYS ||
        (access & (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE)) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool appendOnly = (access & (FILE_WRITE_DATA | GENERIC_WRITE)) == 0;
    const int file = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | (appendOnly ? O_APPEND : 0), 0666);
    if (file == -1) {
        SetLastError(errorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    const std::lock_guard<std::mutex> registry(registryGuard);
    const HANDLE handle = reinterpret_cast<HANDLE>(nextHandle);
    nextHandle += 4;
    openFiles.emplace(handle, file);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL WriteFile(HANDLE handle, LPCVOID data, DWORD size, LPDWORD written, OVERLAPPED* /*overlapped*/) {
    const int file = fileOf(handle);
    if (file == -1) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const std::optional<orvi::simulation::FailedWrite> failure = failThisWrite();
    if (failure == orvi::simulation::FailedWrite::Refused) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    const ssize_t count = write(file, data, failure ? size / 2 : size);
    if (count == -1) {
        SetLastError(errorFromErrno(errno));
        return FALSE;
    }
    if (written != nullptr) {
        *written = static_cast<DWORD>(count);
    }
    return TRUE;
}
