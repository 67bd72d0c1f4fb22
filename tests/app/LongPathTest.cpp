// Which log paths open in their "\\?\" form: chosen by the length of the full path.
#include "app/LongPath.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct LongPathCase {
    const char* name;
    std::wstring path;                     // as given
    std::optional<std::wstring> fullPath;  // none: it cannot be made
    std::wstring opened;
};

// A full path of `length` characters that starts with `start` and ends in ".log".
std::wstring pathOf(const std::wstring& start, std::size_t length) {
    return start + std::wstring(length - start.size() - 4, L'f') + L".log";
}

// The form is chosen from the full path, whatever the length of the path as given.
TEST(LongPath, TheExtendedFormIsChosenByTheLengthOfTheFullPath) {
    const std::wstring longest = pathOf(L"C:\\users\\", 259);
    const std::wstring shortest = pathOf(L"C:\\users\\", 260);
    const std::wstring share = pathOf(L"\\\\server\\share\\", 300);
    const std::wstring extended = pathOf(L"\\\\?\\C:\\users\\", 300);
    const LongPathCase cases[] = {
        {"LongestPlain", longest, longest, longest},
        {"ShortestExtended", shortest, shortest, L"\\\\?\\" + shortest},
        {"OnAShare", share, share, L"\\\\?\\UNC\\" + share.substr(2)},
        {"ExtendedAlready", extended, extended, extended},
        {"ShortRelativeInADeepFolder", L"run.log", shortest, L"\\\\?\\" + shortest},
        {"ShortRelativeStaysAsGiven", L"run.log", L"C:\\users\\run.log", L"run.log"},
        {"DeviceName", L"NUL", L"\\\\.\\NUL", L"NUL"},
        {"NoFullPath", shortest, std::nullopt, shortest},
    };
    for (const LongPathCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(orvi::pathToOpen(c.path,
                                   [&c](const std::wstring& path) {
                                       EXPECT_EQ(path, c.path);
                                       return c.fullPath;
                                   }),
                  c.opened);
    }
}

}  // namespace
