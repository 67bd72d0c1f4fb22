#include "app/AppendOnlyFileBuffer.h"

#include "app/LongPath.h"

#include <limits>
#include <string>

namespace orvi {
namespace {

constexpr DWORD kAppendOnly = FILE_APPEND_DATA | SYNCHRONIZE;
constexpr DWORD kSharedWithAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

#ifdef _WIN32
// The path in UTF-16, read in the process code page as CreateFileA reads it, in the form that opens
// it (pathToOpen): its full path's "\\?\" form when that is MAX_PATH (260) characters or longer.
std::wstring widePath(const std::string& path) {
    const int units = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), units);
    return pathToOpen(wide, [](const std::wstring& given) -> std::optional<std::wstring> {
        const DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
        if (size == 0) {
            return std::nullopt;
        }
        std::wstring full(size, L'\0');
        const DWORD length = GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
        if (length == 0 || length >= size) {
            return std::nullopt;
        }
        full.resize(length);
        return full;
    });
}

HANDLE openForAppending(const std::string& path) {
    return CreateFileW(widePath(path).c_str(), kAppendOnly, kSharedWithAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}
#else
HANDLE openForAppending(const std::string& path) {
    return CreateFileA(path.c_str(), kAppendOnly, kSharedWithAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}
#endif

}  // namespace

AppendOnlyFileBuffer::AppendOnlyFileBuffer(const std::string& path) : file_(openForAppending(path)) {}

AppendOnlyFileBuffer::~AppendOnlyFileBuffer() {
    if (isOpen()) {
        sync();
        CloseHandle(file_);
    }
}

void AppendOnlyFileBuffer::keep(char character) {
#ifdef _WIN32
    if (character == '\n') {
        kept_ += '\r';
    }
#endif
    kept_ += character;
}

AppendOnlyFileBuffer::int_type AppendOnlyFileBuffer::overflow(int_type character) {
    if (!isOpen()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(character, traits_type::eof())) {
        keep(traits_type::to_char_type(character));
    }
    return traits_type::not_eof(character);
}

std::streamsize AppendOnlyFileBuffer::xsputn(const char* text, std::streamsize count) {
    if (!isOpen()) {
        return 0;
    }
    for (std::streamsize i = 0; i < count; ++i) {
        keep(text[i]);
    }
    return count;
}

int AppendOnlyFileBuffer::sync() {
    if (!isOpen()) {
        return -1;
    }
    if (kept_.empty()) {
        return 0;
    }
    // One WriteFile writes at most 4 GiB; the log's lines between two flushes never come near.
    const bool fits = kept_.size() <= std::numeric_limits<DWORD>::max();
    DWORD written = 0;
    const bool whole = fits && WriteFile(file_, kept_.data(), static_cast<DWORD>(kept_.size()), &written, nullptr) &&
                       written == kept_.size();
    kept_.clear();
    lastWriteFailed_ = !whole;
    return 0;
}

}  // namespace orvi
