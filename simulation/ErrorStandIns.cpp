// Host stand-ins for the thread's last-error value and the system's error-message table.
#include "platform/Win32.h"

#include <cstdlib>
#include <cstring>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

struct SystemText {
    DWORD code;
    const char* text;
};

// The system's descriptions, each ending in CR LF as the real message table has them. Some carry
// inserts (%1) for the caller's arguments.
constexpr SystemText kSystemTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {50, "The request is not supported.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {193, "%1 is not a valid Win32 application.\r\n"},
};

bool hasInsert(const char* text) {
    for (const char* percent = std::strchr(text, '%'); percent != nullptr; percent = std::strchr(percent + 1, '%')) {
        if (percent[1] >= '1' && percent[1] <= '9') {
            return true;
        }
    }
    return false;
}

}  // namespace

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

DWORD FormatMessageA(DWORD flags, const void* /*source*/, DWORD messageId, DWORD /*languageId*/, LPSTR buffer,
                     DWORD /*size*/, va_list_ptr /*arguments*/) {
    // Only the form the tool uses is served: a system text into a buffer that we allocate.
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) == 0 ||
        buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const SystemText& entry : kSystemTexts) {
        if (entry.code != messageId) {
            continue;
        }
        // Without FORMAT_MESSAGE_IGNORE_INSERTS an insert is filled from the arguments; Windows
        // refuses a text with one when none are given. The stand-in fills none.
        if ((flags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && hasInsert(entry.text)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const std::size_t length = std::strlen(entry.text);
        char* copy = static_cast<char*>(std::malloc(length + 1));
        if (copy == nullptr) {
            SetLastError(8);  // ERROR_NOT_ENOUGH_MEMORY
            return 0;
        }
        std::memcpy(copy, entry.text, length + 1);
        *reinterpret_cast<char**>(buffer) = copy;
        return static_cast<DWORD>(length);
    }
    SetLastError(317);  // ERROR_MR_MID_NOT_FOUND
    return 0;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}
