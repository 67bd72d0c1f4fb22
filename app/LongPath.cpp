#include "app/LongPath.h"

#include <cstddef>

namespace orvi {
namespace {

constexpr std::size_t kMaxPath = 260;  // MAX_PATH, the terminating null included

bool startsWith(const std::wstring& text, const wchar_t* start) { return text.rfind(start, 0) == 0; }

}  // namespace

std::optional<std::wstring> extendedLengthPath(const std::wstring& fullPath) {
    if (fullPath.size() < kMaxPath) {
        return std::nullopt;
    }
    if (fullPath.size() >= 3 && fullPath[1] == L':' && fullPath[2] == L'\\') {
        return L"\\\\?\\" + fullPath;
    }
    if (startsWith(fullPath, L"\\\\") && !startsWith(fullPath, L"\\\\?\\") && !startsWith(fullPath, L"\\\\.\\")) {
        return L"\\\\?\\UNC\\" + fullPath.substr(2);
    }
    return std::nullopt;
}

std::wstring pathToOpen(const std::wstring& path, const FullPathOf& fullPathOf) {
    const std::optional<std::wstring> full = fullPathOf(path);
    if (!full) {
        return path;
    }
    return extendedLengthPath(*full).value_or(path);
}

}  // namespace orvi
