// A whole scan pass on arbitrary simulated desktops (FuzzedDesktop.h), failing calls included: it
// must not crash, trip a sanitizer or throw anything but the tool's own failures, a WinException or
// the primary display switch's std::runtime_error.
#include "primary/ScanPass.h"
#include "simulation/SimulatedWindowSystem.h"
#include "tests/fuzz/FuzzedDesktop.h"
#include "tests/fuzz/ScratchFolder.h"
#include "util/WinException.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

void require(bool condition, const char* what, const std::string& log) {
    if (!condition) {
        std::fprintf(stderr, "scan pass fuzzer: %s\nlog:\n%s\n", what, log.c_str());
        std::abort();
    }
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool startsWith(const std::string& text, const char* start) { return text.rfind(start, 0) == 0; }

// Whether the line before "Done" is the end of a decision about a Kiv. Only lines that the pass
// writes itself stand after the summary line; earlier ones can carry names with line breaks.
bool endsWithDecision(const std::string& log) {
    return endsWith(log, "\nOrvi Kiv is - already primary\nDone\n") ||
           endsWith(log, "\nOrvi Kiv USB(pellun) is - already primary\nDone\n") ||
           endsWith(log, "\nsetPrimaryDevice completed result: 0\nDone\n");
}

// The texts with which setPrimaryDevice reports a DISP_CHANGE_* result, or an apply after which
// Windows shows another screen as primary (with names out of step, too), each maybe followed by what
// could not be put back.
bool isDisplayChangeFailure(const std::string& failure) {
    const std::string text = failure.substr(0, failure.find("; could not put back: "));
    return startsWith(text, "Failed to set Orvi Kiv as primary Screen. Err(ChangeDisplaySettingsEx): ") ||
           startsWith(text, "Failed to update Screen position. Err(ChangeDisplaySettingsEx): ") ||
           startsWith(text, "Failed apply settings with Orvi Kiv as primary screen. Err(ChangeDisplaySettingsEx): ") ||
           text == "Failed apply settings with Orvi Kiv as primary screen: Windows kept another screen as primary";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // The family mutex's stand-in lives in this folder: no other process's pass can hold it.
    const std::string folder = orvi::fuzz::makeScratchFolder("scan-pass").string();
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvi::fuzz::FuzzInput input(data, size);
    orvi::fuzz::serve(orvi::fuzz::decodeFuzzedDesktop(input), orvi::simulation::simulatedWindowSystem());

    std::ostringstream log;
    try {
        const bool found = orvi::runScanPass(log);
        require(endsWith(log.str(), "\nDone\n"), "a pass that returns ends with Done", log.str());
        require(found == endsWithDecision(log.str()), "the result is whether a Kiv was found", log.str());
    } catch (const orvi::util::WinException&) {
        require(!endsWith(log.str(), "Done\n"), "Done after a failure", log.str());
    } catch (const std::runtime_error& failure) {
        require(isDisplayChangeFailure(failure.what()), failure.what(), log.str());
        require(!endsWith(log.str(), "Done\n"), "Done after a failure", log.str());
    }
    return 0;
}
