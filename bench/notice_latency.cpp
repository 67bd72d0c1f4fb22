// The wait's answer to the window system's notice that the desktop changed.
//
//   notice_latency RUNS             runs SetPrimaryKiv.exe (from this program's folder) RUNS times
//                                   with -t 60; once it waits, broadcasts WM_DISPLAYCHANGE and
//                                   measures the time until its next scan pass begins (its
//                                   "Searching for Monitor Screens" line). Prints each run's time
//                                   and the median, in ms.
//   notice_latency watch RUNS       the same with -t 0 --watch: the time from the broadcast to the
//                                   watch's look (its "Looked at the screens again" line).
//   notice_latency every SECONDS COUNT   broadcasts WM_DISPLAYCHANGE COUNT times, SECONDS apart.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

void broadcastDisplayChange() {
    SendMessageTimeoutW(HWND_BROADCAST, WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 1024), SMTO_ABORTIFHUNG, 5000, nullptr);
}

std::string ownFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string file(path);
    return file.substr(0, file.find_last_of("\\/") + 1);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

double millisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Polls the log every millisecond until it holds `text`; false after 30 s.
bool waitForText(const std::string& log, const std::string& text) {
    for (int i = 0; i < 30000; ++i) {
        if (readFile(log).find(text) != std::string::npos) {
            return true;
        }
        Sleep(1);
    }
    return false;
}

// One run: the time from the broadcast to the start of the next pass (or the watch's look), or a
// negative value on failure.
double oneRun(const std::string& log, bool watch) {
    DeleteFileA(log.c_str());
    std::string commandLine =
        "\"" + ownFolder() + "SetPrimaryKiv.exe\" " + (watch ? "-t 0 --watch" : "-t 60") + " -l \"" + log + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION tool{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &tool)) {
        return -1;
    }
    double latency = -1;
    if (waitForText(log, watch ? "Watching the screens" : "Poll: Waiting")) {
        Sleep(500);  // the wait begins right after that line
        LARGE_INTEGER start{};
        QueryPerformanceCounter(&start);
        broadcastDisplayChange();
        // The poll line followed by a pass's first line: the next pass has begun.
        if (waitForText(log, watch ? "Looked at the screens again" : "s\r\nSearching for Monitor Screens")) {
            latency = millisecondsSince(start);
        }
    }
    TerminateProcess(tool.hProcess, 0);
    WaitForSingleObject(tool.hProcess, INFINITE);
    CloseHandle(tool.hProcess);
    CloseHandle(tool.hThread);
    return latency;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 4 && std::string(argv[1]) == "every") {
        const int seconds = std::atoi(argv[2]);
        for (int i = std::atoi(argv[3]); i > 0; --i) {
            Sleep(static_cast<DWORD>(seconds) * 1000);
            broadcastDisplayChange();
        }
        return 0;
    }
    const bool watch = argc == 3 && std::string(argv[1]) == "watch";
    const int runs = argc == 2 || watch ? std::atoi(argv[argc - 1]) : 0;
    if (runs < 1) {
        std::fprintf(stderr, "usage: notice_latency [watch] RUNS | notice_latency every SECONDS COUNT\n");
        return 2;
    }
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string log = std::string(folder) + "notice-latency.log";
    std::vector<double> latencies;
    for (int i = 0; i < runs; ++i) {
        const double latency = oneRun(log, watch);
        if (latency < 0) {
            std::fprintf(stderr, "run %d: the tool did not wait or did not answer the notice\n", i + 1);
            return 1;
        }
        std::printf("run %d: %.0f ms\n", i + 1, latency);
        latencies.push_back(latency);
    }
    DeleteFileA(log.c_str());
    std::sort(latencies.begin(), latencies.end());
    std::printf("median: %.0f ms\n", latencies[latencies.size() / 2]);
    return 0;
}
