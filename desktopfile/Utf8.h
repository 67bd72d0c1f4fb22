// UTF-8 (the JSON files) to UTF-16 (the window system's strings) and back.
#pragma once

#include <string>
#include <string_view>

namespace orvi::simulation {

// Throws std::runtime_error for a text that is not well-formed UTF-8.
std::u16string utf8ToUtf16(std::string_view text);

// A unit of a broken surrogate pair becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// A text file's bytes as UTF-8 without a byte order mark: UTF-16 with its byte order mark (little or
// big endian, as Windows PowerShell 5.1 writes with ">" or Out-File) converted, a UTF-8 byte order
// mark taken away, any other bytes as they are. Throws std::runtime_error "UTF-16 with an odd number
// of bytes".
std::string textFileAsUtf8(std::string_view bytes);

}  // namespace orvi::simulation
