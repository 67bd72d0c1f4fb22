#include "app/AppendOnlyFileBuffer.h"

#include <limits>

namespace orvi {

AppendOnlyFileBuffer::AppendOnlyFileBuffer(const std::string& path)
    : file_(CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {}

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
