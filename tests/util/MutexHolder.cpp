// The mutex tests' other process. Usage: mutex_holder <command> <name>, commands:
//   hold  lock the mutex (waiting as long as it takes), write "locked", read standard input to its
//         end, destroy the mutex object, write "released"
//   die   lock the mutex, write "locked", end the process at once without destroying the object
//   try   write "acquired" or "busy" for tryLock, then destroy the object
// A failure writes "error: " and the exception's text. Every line ends in a line feed alone.
#include "util/GlobalNamedMutex.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

void say(const std::string& text) {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Keep texts byte for byte: no "\r" before our line feeds, none taken from the exception's.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const std::string command = argc == 3 ? argv[1] : "";
    if (command != "hold" && command != "die" && command != "try") {
        say("usage: mutex_holder hold|die|try <name>");
        return 2;
    }
    try {
        auto mutex = orvi::util::GlobalNamedMutex::create(argv[2]);
        if (command == "try") {
            say(mutex->tryLock() ? "acquired" : "busy");
            return 0;
        }
        mutex->lock();
        say("locked");
        if (command == "die") {
            std::_Exit(3);
        }
        while (std::getchar() != EOF) {
        }
        mutex.reset();
        say("released");
        return 0;
    } catch (const std::exception& error) {
        say(std::string("error: ") + error.what());
        return 1;
    }
}
