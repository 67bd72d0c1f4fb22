// Runs the real SetPrimaryKiv.exe (beside the test program) as a child process, closing the message
// box it shows, and collects what it left: exit code, the box and its standard error.
#pragma once

#include "BoxWatcher.h"
#include "tests/support/ChildProcess.h"

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

// A running tool; `arguments` follow the program name on its command line.
class ToolProcess {
public:
    explicit ToolProcess(const std::vector<std::string>& arguments);

    // Waits for the tool to end (closing the box it shows when one is expected) and collects the
    // run; a tool that shows no expected box or does not end within a minute (an unexpected box?)
    // fails the calling test, and is ended.
    ToolRun finish(Box box);

private:
    ChildProcess child_;
};

// Starts the tool and finishes it.
ToolRun runTool(const std::vector<std::string>& arguments, Box box);

// Waits up to `limit` until the file holds `text`.
bool waitForText(const std::string& path, const std::string& text,
                 std::chrono::milliseconds limit = ChildProcess::kAnswerTime);

}  // namespace e2e
