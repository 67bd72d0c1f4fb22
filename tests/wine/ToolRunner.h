// Runs the real SetPrimaryKiv.exe (from the test's own folder) as a child process, closing the
// message box it shows, and collects what it left: exit code, the box, standard output and error.
// Every text here (arguments, paths, what the box shows) is UTF-8, whatever the code page of the
// test process: the tool is started with the UTF-16 command line, as Windows starts programs.
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

// The folder of the test executable, with a trailing backslash.
std::string binaryFolder();

// The tool built beside the test executable.
std::string toolPath();

// A running tool. `arguments` is the command line after the program name; standard output and
// error go to files of a fresh folder named after `name`. `program` is the executable to start.
class ToolProcess {
public:
    ToolProcess(const std::string& arguments, const std::string& name = "streams",
                const std::string& program = toolPath());
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // Waits for the tool to end (closing the box it shows when one is expected) and collects the
    // run; a tool that does not end in time fails the calling test and is ended.
    ToolRun finish(Box box, DWORD timeoutMs = 60000);

private:
    std::string outPath_;
    std::string errPath_;
    PROCESS_INFORMATION process_{};
};

// Starts the tool and finishes it.
ToolRun runTool(const std::string& arguments, Box box, DWORD timeoutMs = 60000);

// A fresh empty folder for one test's files, with a trailing backslash. `name` may hold backslashes:
// the folder is then made inside the folders they name.
std::string freshFolder(const std::string& name);

std::string readFile(const std::string& path);

// Waits up to timeoutMs until the file holds `text`.
bool waitForText(const std::string& path, const std::string& text, DWORD timeoutMs = 30000);

}  // namespace e2e
