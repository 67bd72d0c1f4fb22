// Runs the real SetPrimaryKiv.exe (beside the test program, or a copy of it) as a child process,
// closing the message box it shows, and collects what it left: exit code, the box and its standard
// error. Every text here (arguments, paths, what the box shows) is UTF-8, whatever the code page of
// the test process: the tool is started with the UTF-16 command line, as Windows starts programs.
#pragma once

#include "BoxWatcher.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

struct ToolRun {
    DWORD exitCode = 0;
    std::optional<boxwatch::ObservedBox> box;
    std::string standardError;
};

enum class Box { Expected, NotExpected };

// The tool built beside the test executable.
std::string toolPath();

// A running tool; `arguments` follow the program name on its command line. `program` is the
// executable to start.
class ToolProcess {
public:
    explicit ToolProcess(const std::vector<std::string>& arguments, const std::string& program = toolPath());

    // Waits for the tool to end (closing the box it shows when one is expected) and collects the
    // run; a tool that shows no expected box or does not end within a minute (an unexpected box?)
    // fails the calling test, and is ended.
    ToolRun finish(Box box);

private:
    ChildProcess child_;
};

// Starts the tool and finishes it.
ToolRun runTool(const std::vector<std::string>& arguments, Box box);

// The folder `name` (UTF-8, letters beyond the code page too) made inside `parent`; its path with a
// trailing backslash. A folder that cannot be made fails the current test.
std::string folderIn(const TemporaryFolder& parent, const std::string& name);

// The system's description of an error code, as the tool's error texts hold it (line end included).
std::string systemText(DWORD code);

// The content of the file at the UTF-8 `path`; empty when it cannot be read.
std::string readUtf8Path(const std::string& path);

// Waits up to `limit` until the file at the UTF-8 `path` holds `text`.
bool waitForText(const std::string& path, const std::string& text,
                 std::chrono::milliseconds limit = ChildProcess::kAnswerTime);

}  // namespace e2e
