// Files of a test: a fresh folder of its own, and a file's content read or written whole.
#pragma once

#include <filesystem>
#include <string>

// A fresh empty folder of this user's alone under the system's temporary folder, its name made of
// `purpose` and a random number; it goes with everything in it when the object goes. A folder that
// cannot be made fails the current test.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& purpose);
    ~TemporaryFolder();

    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of `name` inside the folder.
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The file's bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
// The file read in text mode, so that on Windows each CR LF comes back as a line feed.
std::string readTextFile(const std::filesystem::path& path);
// Replaces the file's content; a failure fails the current test.
void writeFile(const std::filesystem::path& path, const std::string& content);
