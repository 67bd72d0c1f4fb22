// The log file's stream buffer: a file opened for appending only, to which each flush is one write.
#pragma once

#include "platform/Win32.h"

#include <streambuf>
#include <string>

namespace orvi {

// Opens the file for appending only (FILE_APPEND_DATA without FILE_WRITE_DATA), shared with other
// processes for reading, writing and deleting, and creates it when it is missing. Windows writes
// every write through such a handle at the file's current end, as one piece: another process's
// append cannot fall between finding the end and writing, so no line of its is overwritten and no
// line of ours torn. What is written is kept until the stream is flushed, and then reaches the file
// in one WriteFile, however long it grew; each line feed is stored as CR LF on Windows, as a text-mode
// file stores it. A write that fails (a full disk, a share that went away) loses what it carried, but
// the stream stays good and its next flush writes again, so that the lines after it reach the file
// once it can be written; lastWriteFailed() tells whether the latest flush failed. The destructor
// writes what is still kept and closes the file.
class AppendOnlyFileBuffer final : public std::streambuf {
public:
    // The path is read in the process code page; on Windows it may be longer than MAX_PATH (260).
    // Whether the file opened: isOpen(); a buffer that did not open fails every write and every flush.
    explicit AppendOnlyFileBuffer(const std::string& path);
    ~AppendOnlyFileBuffer() override;

    AppendOnlyFileBuffer(const AppendOnlyFileBuffer&) = delete;
    AppendOnlyFileBuffer& operator=(const AppendOnlyFileBuffer&) = delete;

    bool isOpen() const { return file_ != INVALID_HANDLE_VALUE; }

    // The file's handle, for the system's queries about it; INVALID_HANDLE_VALUE when not open.
    HANDLE handle() const { return file_; }

    // Whether the latest flush that had something to write failed to write all of it.
    bool lastWriteFailed() const { return lastWriteFailed_; }

protected:
    int_type overflow(int_type character) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    // Writes what is kept in one WriteFile and keeps nothing any more. Answers 0 also when the write
    // fails (see lastWriteFailed()): a failure would mark the stream bad, and a bad stream drops every
    // later line without trying. -1 only when the file is not open.
    int sync() override;

private:
    void keep(char character);

    HANDLE file_;
    std::string kept_;  // written since the last flush, line ends as stored
    bool lastWriteFailed_ = false;
};

}  // namespace orvi
