#include "util/WinException.h"

#include <memory>
#include <sstream>

namespace orvi::util {
namespace {

struct LocalFreeDeleter {
    void operator()(char* buffer) const { LocalFree(buffer); }
};
using SystemBuffer = std::unique_ptr<char, LocalFreeDeleter>;

}  // namespace

std::string systemTextOf(DWORD code) {
    char* allocated = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&allocated), 0, nullptr);
    const SystemBuffer systemText(allocated);
    if (length == 0 || !systemText) {
        return "Unknown error [Failed to look up error message]";
    }
    return systemText.get();
}

std::string formatWinError(const WinErrorInfo& info) {
    std::ostringstream message;
    if (!info.context.empty()) {
        message << info.context << ": ";
    }
    message << systemTextOf(info.code) << " (Error code: 0x" << std::hex << info.code << ")";
    return message.str();
}

WinException::WinException(std::string context) : WinException(GetLastError(), std::move(context)) {}

WinException::WinException(DWORD code, std::string context) : WinException(WinErrorInfo{code, std::move(context)}) {}

WinException::WinException(WinErrorInfo info) : std::runtime_error(formatWinError(info)) {}

}  // namespace orvi::util
