// The buffer of a log stream that, like a file's, keeps what is written until the stream is flushed
// (or the buffer is full). Tests look at what was flushed: what a person watching the log file sees.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <streambuf>
#include <string>

class FlushedLog : public std::streambuf {
public:
    FlushedLog() { setp(buffer_, buffer_ + sizeof buffer_); }

    // What was flushed so far; from any thread.
    std::string flushed() const;
    // Whether `text` is flushed within `limit`; from any thread.
    bool waitFor(const std::string& text, std::chrono::milliseconds limit);
    // What was written but not flushed yet; from the writing thread only.
    std::string unflushed() const { return std::string(pbase(), pptr()); }

protected:
    int sync() override;
    int_type overflow(int_type character) override;

private:
    char buffer_[4096];
    mutable std::mutex guard_;
    std::condition_variable changed_;
    std::string flushed_;
};
