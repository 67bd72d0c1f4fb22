#include "tests/fuzz/ScratchFolder.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace orvi::fuzz {
namespace {

std::vector<std::filesystem::path>& foldersToRemove() {
    static std::vector<std::filesystem::path> folders;
    return folders;
}

void removeScratchFolders() {
    for (const std::filesystem::path& folder : foldersToRemove()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

}  // namespace

std::filesystem::path makeScratchFolder(const char* purpose) {
    std::error_code error;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    std::string pattern =
        (error ? std::filesystem::path("/tmp") : temporary) / (std::string("kiv-fuzz-") + purpose + "-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("cannot make the fuzz target's scratch folder");
        std::abort();
    }
    if (foldersToRemove().empty()) {
        std::atexit(removeScratchFolders);
    }
    foldersToRemove().push_back(pattern);
    return pattern;
}

void emptyFolder(const std::filesystem::path& folder) {
    // Listed first: what removing an entry does to a running directory iteration is unspecified.
    std::vector<std::filesystem::path> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        entries.push_back(entry->path());
    }
    for (const std::filesystem::path& entry : entries) {
        std::filesystem::remove_all(entry, error);
    }
}

}  // namespace orvi::fuzz
