#include "util/WinException.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using orvi::util::formatWinError;
using orvi::util::WinErrorInfo;
using orvi::util::WinException;

// The system's own description of a code, as FormatMessageA gives it (host: the stand-in's table);
// empty when it gives none. Inserts such as %1 are left in the text unless `insertsFlag` is 0.
std::string systemText(DWORD code, DWORD insertsFlag = FORMAT_MESSAGE_IGNORE_INSERTS) {
    char* buffer = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | insertsFlag | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text = length != 0 && buffer != nullptr ? std::string(buffer) : std::string();
    LocalFree(buffer);
    return text;
}

TEST(FormatWinError, JoinsContextSystemTextAndHexCodeKeepingTheLineBreak) {
    struct Case {
        DWORD code;
        const char* hex;
    };
    // ERROR_BAD_EXE_FORMAT's text carries an insert (%1), which is kept as it is.
    for (const Case& c :
         {Case{0, "0"}, Case{2, "2"}, Case{5, "5"}, Case{6, "6"}, Case{87, "57"}, Case{122, "7a"}, Case{193, "c1"}}) {
        const std::string text = systemText(c.code);
        ASSERT_FALSE(text.empty()) << "the system has a text for " << c.code;
        ASSERT_EQ(text.substr(text.size() - 2), "\r\n") << "system texts end in CR LF";
        // Asked for without FORMAT_MESSAGE_IGNORE_INSERTS and without arguments, a text with an
        // insert is refused.
        EXPECT_EQ(systemText(c.code, 0), text.find('%') == std::string::npos ? text : "") << c.code;
        EXPECT_EQ(formatWinError({c.code, "Failed to lock Global Mutex"}),
                  "Failed to lock Global Mutex: " + text + " (Error code: 0x" + c.hex + ")");
    }
}

TEST(FormatWinError, UnknownCodeGetsTheFixedText) {
    EXPECT_EQ(formatWinError({0x2badbeefu, "Failed to read Display device source info"}),
              "Failed to read Display device source info: Unknown error [Failed to look up error message]"
              " (Error code: 0x2badbeef)");
}

TEST(FormatWinError, CodesWithTheTopBitAreEightLowerCaseDigitsNeverNegative) {
    EXPECT_EQ(formatWinError({0x80000000u, "c"}),
              "c: Unknown error [Failed to look up error message] (Error code: 0x80000000)");
    const std::string text = formatWinError({0xFFFFFFFFu, "c"});
    EXPECT_EQ(text.substr(text.size() - 24), "(Error code: 0xffffffff)");
}

TEST(FormatWinError, EmptyContextStartsWithTheSystemText) {
    EXPECT_EQ(formatWinError({87, ""}), systemText(87) + " (Error code: 0x57)");
    EXPECT_EQ(formatWinError({0x2badbeefu, ""}),
              "Unknown error [Failed to look up error message] (Error code: 0x2badbeef)");
}

TEST(WinException, TakesTheLastErrorWhenNoCodeIsGiven) {
    SetLastError(5);
    const WinException error(std::string("Failed to create Global Named Mutex SetPrimaryKiv_single_app"));
    EXPECT_EQ(std::string(error.what()),
              "Failed to create Global Named Mutex SetPrimaryKiv_single_app: " + systemText(5) + " (Error code: 0x5)");
}

TEST(WinException, IsARuntimeErrorWhoseCopyKeepsTheText) {
    auto original = std::make_unique<WinException>(122u, "Failed to obtain current displays config");
    const WinException copy = *original;
    const std::string expected = formatWinError({122, "Failed to obtain current displays config"});
    original.reset();
    EXPECT_EQ(std::string(copy.what()), expected);
    try {
        throw copy;
    } catch (const std::runtime_error& caught) {
        EXPECT_EQ(std::string(caught.what()), expected);
    }
}

}  // namespace
