// The log file: an optional stream that, once a log path was given, exists whether or not the file
// could be opened.
#pragma once

#include <fstream>
#include <optional>
#include <string>

namespace orvi {

class LogFile {
public:
    // Opens the path for appending in text mode, shared with other processes for reading and
    // writing; a missing file is created. From then on the log file exists, even when the open
    // failed (check the returned stream's state).
    std::ofstream& open(const std::string& path);

    bool exists() const { return stream_.has_value(); }

    // The stream; only when exists().
    std::ofstream& stream() { return *stream_; }

private:
    std::optional<std::ofstream> stream_;
};

// The process-wide log file, closed by static destruction at exit.
LogFile& processLogFile();

}  // namespace orvi
