// UTF-8 (the JSON files) to UTF-16 (the window system's strings) and back.
#pragma once

#include <string>
#include <string_view>

namespace orvi::simulation {

// Throws std::runtime_error for a text that is not well-formed UTF-8.
std::u16string utf8ToUtf16(std::string_view text);

// A unit of a broken surrogate pair becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace orvi::simulation
