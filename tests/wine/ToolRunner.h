// Runs the real SetPrimaryKiv.exe (from the test's own folder) as a child process, closing the
// message box it shows, and collects what it left: exit code, the box, standard output and error.
#pragma once

#include "BoxWatcher.h"

#include <optional>
#include <string>

namespace e2e {

struct ToolRun {
    DWORD exitCode = 0;
    std::optional<boxwatch::ObservedBox> box;
    std::string standardOutput;
    std::string standardError;
};

enum class Box { Expected, NotExpected };

// `arguments` is the command line after the program name. With Box::Expected the run waits for the
// tool's box and closes it; the run fails the calling test when the tool does not end in time.
ToolRun runTool(const std::string& arguments, Box box, DWORD timeoutMs = 60000);

// The folder of the test executable, with a trailing backslash.
std::string binaryFolder();

// A fresh empty folder for one test's files, with a trailing backslash.
std::string freshFolder(const std::string& name);

std::string readFile(const std::string& path);

}  // namespace e2e
