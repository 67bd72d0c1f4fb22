// The log file: an optional stream that, once a log path was given, exists whether or not the file
// could be opened.
#pragma once

#include "app/AppendOnlyFileBuffer.h"

#include <memory>
#include <ostream>
#include <string>

namespace orvi {

class LogFile {
public:
    // Opens the path for appending (see AppendOnlyFileBuffer), replacing a file opened before. From
    // then on the log file exists, even when the open failed: the returned stream is then in a failed
    // state and writes nothing.
    std::ostream& open(const std::string& path);

    bool exists() const { return opened_ != nullptr; }
    bool isOpen() const { return exists() && opened_->buffer.isOpen(); }

    // The stream; only when exists().
    std::ostream& stream() { return opened_->stream; }

    // Whether the latest line written to the open file was lost: its write failed. Later lines are
    // written again (AppendOnlyFileBuffer).
    bool lastWriteFailed() const { return isOpen() && opened_->buffer.lastWriteFailed(); }

    // The file's handle, for the system's queries about it; only when isOpen().
    HANDLE handle() const { return opened_->buffer.handle(); }

private:
    struct Opened {
        explicit Opened(const std::string& path) : buffer(path), stream(&buffer) {}
        AppendOnlyFileBuffer buffer;
        std::ostream stream;  // goes first, and the buffer then writes what it still keeps
    };
    std::unique_ptr<Opened> opened_;
};

// The process-wide log file, closed by static destruction at exit.
LogFile& processLogFile();

}  // namespace orvi
