// Which log paths open in their "\\?\" form: chosen by the length of the full path.
#include "app/LongPath.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct LongPathCase {
    const char* name;
    std::wstring fullPath;
    std::optional<std::wstring> opened;
};

// A full path of `length` characters that starts with `start` and ends in ".log".
std::wstring pathOf(const std::wstring& start, std::size_t length) {
    return start + std::wstring(length - start.size() - 4, L'f') + L".log";
}

TEST(LongPath, TheExtendedFormIsChosenByTheLengthOfTheFullPath) {
    const std::wstring share = pathOf(L"\\\\server\\share\\", 300);
    const LongPathCase cases[] = {
        {"LongestPlain", pathOf(L"C:\\users\\", 259), std::nullopt},
        {"ShortestExtended", pathOf(L"C:\\users\\", 260), L"\\\\?\\" + pathOf(L"C:\\users\\", 260)},
        {"OnAShare", share, L"\\\\?\\UNC\\" + share.substr(2)},
        {"ExtendedAlready", pathOf(L"\\\\?\\C:\\users\\", 300), std::nullopt},
    };
    for (const LongPathCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(orvi::extendedLengthPath(c.fullPath), c.opened);
    }
}

}  // namespace
