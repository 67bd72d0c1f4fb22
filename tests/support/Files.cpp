#include "tests/support/Files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

TemporaryFolder::TemporaryFolder(const std::string& purpose) {
    std::error_code error;
    const fs::path temporary = fs::temp_directory_path(error);
    // create_directory answers false for a folder that exists already: another name is tried.
    for (int attempt = 0; !error && attempt < 100; ++attempt) {
        const fs::path candidate = temporary / ("kiv-" + purpose + "-" + std::to_string(std::random_device{}()));
        if (fs::create_directory(candidate, error)) {
            path_ = candidate;
            fs::permissions(path_, fs::perms::owner_all, fs::perm_options::replace, error);
            if (error) {
                ADD_FAILURE() << "cannot make " << path_ << " private: " << error.message();
            }
            return;
        }
    }
    ADD_FAILURE() << "cannot make a temporary folder for " << purpose << ": " << error.message();
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    if (!path_.empty()) {
        fs::remove_all(path_, ignored);
    }
}

namespace {

std::string readWhole(const fs::path& path, std::ios::openmode mode) {
    std::ifstream in(path, mode);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

std::string readFile(const fs::path& path) { return readWhole(path, std::ios::in | std::ios::binary); }

std::string readTextFile(const fs::path& path) { return readWhole(path, std::ios::in); }

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
    file.close();
    if (file.fail()) {
        ADD_FAILURE() << "cannot write " << path;
    }
}
