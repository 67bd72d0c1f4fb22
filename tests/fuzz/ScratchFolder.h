// A private folder for what a fuzz target cannot help putting on disk.
#pragma once

#include <filesystem>

namespace orvi::fuzz {

// Makes a fresh folder (mode 0700) under the system's temporary folder, named after `purpose`, and
// removes it with its content when the process exits normally. Aborts when it cannot be made: a
// fuzz target must not run without it.
std::filesystem::path makeScratchFolder(const char* purpose);

// Removes everything inside `folder`, leaving the folder itself.
void emptyFolder(const std::filesystem::path& folder);

}  // namespace orvi::fuzz
