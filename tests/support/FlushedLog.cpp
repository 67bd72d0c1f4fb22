#include "tests/support/FlushedLog.h"

std::string FlushedLog::flushed() const {
    const std::lock_guard<std::mutex> lock(guard_);
    return flushed_;
}

bool FlushedLog::waitFor(const std::string& text, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(guard_);
    return changed_.wait_for(lock, limit, [&] { return flushed_.find(text) != std::string::npos; });
}

int FlushedLog::sync() {
    {
        const std::lock_guard<std::mutex> lock(guard_);
        flushed_.append(pbase(), pptr());
    }
    setp(buffer_, buffer_ + sizeof buffer_);
    changed_.notify_all();
    return 0;
}

FlushedLog::int_type FlushedLog::overflow(int_type character) {
    sync();
    if (!traits_type::eq_int_type(character, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(character);
        pbump(1);
    }
    return traits_type::not_eof(character);
}
