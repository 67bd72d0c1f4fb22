// The report's ways out through kernel32: GetStdHandle, GetFileType, AttachConsole, CreateFileW,
// WriteConsoleW, FreeConsole.
#include "platform/ReportOutput.h"

#include "platform/Win32.h"

#include <exception>
#include <memory>
#include <string>

namespace orvi::platform {
namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// Holds the parent's console from AttachConsole on, and lets it go (FreeConsole).
class AttachedConsole {
public:
    AttachedConsole() : attached_(AttachConsole(ATTACH_PARENT_PROCESS) != FALSE) {}
    ~AttachedConsole() {
        if (attached_) {
            FreeConsole();
        }
    }
    AttachedConsole(const AttachedConsole&) = delete;
    AttachedConsole& operator=(const AttachedConsole&) = delete;
    bool attached() const { return attached_; }

private:
    bool attached_;
};

// The text in UTF-16 from the process code page, each "\n" as the console's "\r\n".
std::wstring consoleText(const std::string& text) {
    std::string lines;
    for (const char c : text) {
        lines += c == '\n' ? "\r\n" : std::string(1, c);
    }
    const int size = static_cast<int>(lines.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, lines.data(), size, nullptr, 0);
    std::wstring converted(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, lines.data(), size, converted.data(), length);
    return converted;
}

}  // namespace

bool standardOutputRedirected() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD type = GetFileType(output);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

bool writeToParentConsole(const std::string& text) noexcept {
    try {
        const AttachedConsole console;
        if (!console.attached()) {
            return false;
        }
        // The console's own output, whatever this process's standard handles are.
        const HANDLE opened = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        if (opened == INVALID_HANDLE_VALUE) {
            return false;
        }
        const Handle output(opened);
        const std::wstring wide = consoleText(text);
        DWORD written = 0;
        return WriteConsoleW(output.get(), wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != FALSE &&
               written == wide.size();
    } catch (const std::exception&) {
        return false;  // no memory for the text
    }
}

}  // namespace orvi::platform
