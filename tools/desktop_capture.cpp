// DesktopCapture [FILE]: writes the desktop file of the PC it runs on (tools/DesktopCapture.h) to
// FILE, or to standard output. Exit codes: 0 written, 1 a wrong command line, 2 a display call failed
// or the file could not be written (nothing half written then).
#include "desktopfile/DesktopFile.h"
#include "tools/DesktopCapture.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include "simulation/DesktopFromEnvironment.h"
#endif

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: DesktopCapture [FILE]\n"
    "Writes the screens of this PC as a desktop file (UTF-8 JSON) to FILE, or to standard output:\n"
    "the display adapters, display devices and monitors as the display calls show them. Changes\n"
    "nothing. A file that exists is replaced only once the whole desktop is written.\n"
    "\n"
    "  --help  Show this help and exit\n"
    "\n"
    "Exit codes: 0 written, 1 a wrong command line, 2 a display call failed or FILE could not be written.\n";

constexpr int kWrongCommandLine = 1;
constexpr int kFailed = 2;

// Writes `text` to a file beside `path` and then puts it in the place of `path`, so that a failure
// leaves `path` as it was.
bool replaceFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".part";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        file.close();
        if (file.fail()) {
            std::remove(temporary.c_str());
            return false;
        }
    }
#ifdef _WIN32
    // std::rename does not replace an existing file on Windows.
    const bool moved = MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    const bool moved = std::rename(temporary.c_str(), path.c_str()) == 0;
#endif
    if (!moved) {
        std::remove(temporary.c_str());
    }
    return moved;
}

}  // namespace

int main(int argc, char* argv[]) {
    // A wrong argument is an error also beside --help.
    std::string path;
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help") {
            help = true;
            continue;
        }
        if (argument.empty() || argument[0] == '-' || !path.empty()) {
            std::cerr << "DesktopCapture: "
                      << (argument.empty()     ? std::string("an empty file name")
                          : argument[0] == '-' ? "unknown option '" + argument + "'"
                                               : "more than one file: '" + argument + "'")
                      << "\n\n"
                      << kUsage;
            return kWrongCommandLine;
        }
        path = argument;
    }
    if (help) {
        std::cout << kUsage;
        return 0;
    }
    try {
#ifndef _WIN32
        // The host build reads the simulated window system, whose desktop comes from a file.
        orvi::simulation::useDesktopFromEnvironment();
#endif
        const std::string text = orvi::simulation::formatDesktop(orvi::tools::captureDesktop());
        if (path.empty()) {
#ifdef _WIN32
            _setmode(_fileno(stdout), _O_BINARY);  // the file's own line feeds, as in FILE
#endif
            std::cout << text << std::flush;
            return std::cout ? 0 : kFailed;
        }
        if (!replaceFile(path, text)) {
            std::cerr << "DesktopCapture: " << path << " could not be written\n";
            return kFailed;
        }
    } catch (const std::exception& failure) {
        std::cerr << "DesktopCapture: " << failure.what() << "\n";
        return kFailed;
    }
    return 0;
}
