#include "display/Narrow.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using orvi::boundedText;
using orvi::narrow;
using orvi::narrowBounded;
using orvi::WideString;

TEST(Narrow, KeepsTheLowByteOfEveryUnit) {
    const WCHAR text[] = {'D', 'E', 'L', 'L', 0x00E9, 0x0130, 0x4142, 0xFFFF};
    const std::string narrowed = narrow(orvi::WideStringView(text, 8));
    EXPECT_EQ(narrowed, std::string("DELL\xE9"
                                    "0B\xFF"));
}

TEST(BoundedText, StopsAtTheNullOrAtTheArraysEnd) {
    WCHAR withNull[8] = {'A', 'B', 0, 'C', 'D', 'E', 'F', 'G'};
    EXPECT_EQ(boundedText(withNull).size(), 2u);
    EXPECT_EQ(narrowBounded(withNull), "AB");

    // A driver may fill the whole array; what follows it must never be read.
    struct {
        WCHAR full[4];
        WCHAR after[4];
    } memory = {{'W', 'X', 'Y', 'Z'}, {'!', '!', '!', 0}};
    EXPECT_EQ(boundedText(memory.full).size(), 4u);
    EXPECT_EQ(narrowBounded(memory.full), "WXYZ");

    WCHAR empty[4] = {};
    EXPECT_TRUE(boundedText(empty).empty());
}

}  // namespace
