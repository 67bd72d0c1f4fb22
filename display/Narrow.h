// From the window system's wide (UTF-16) text to the tool's narrow strings, and the reading of the
// fixed-size WCHAR arrays that the window system fills.
#pragma once

#include "platform/Win32.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace orvi {

using WideString = std::basic_string<WCHAR>;
using WideStringView = std::basic_string_view<WCHAR>;

// The text of a fixed-size array: up to its first null, or the whole array when a driver filled it
// without one. Never reads past the array's end.
template <std::size_t N>
WideStringView boundedText(const WCHAR (&array)[N]) {
    std::size_t length = 0;
    while (length < N && array[length] != 0) {
        ++length;
    }
    return WideStringView(array, length);
}

// Every UTF-16 code unit becomes one character, its low 8 bits: no UTF-8 encoding and no code-page
// conversion, so ASCII text comes out unchanged and U+0130 becomes '0'.
std::string narrow(WideStringView text);

// The narrowed text of a fixed-size array (boundedText).
template <std::size_t N>
std::string narrowBounded(const WCHAR (&array)[N]) {
    return narrow(boundedText(array));
}

}  // namespace orvi
