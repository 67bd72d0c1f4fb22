// boxwatch TITLE [SECONDS]: waits for a message box with that title (any title when empty), prints
// its icon, title and text, and presses OK. Exit code 0 when a box was closed, 1 when none came.
#include "BoxWatcher.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: boxwatch TITLE [SECONDS]\n");
        return 2;
    }
    const DWORD seconds = argc > 2 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : 20;
    const auto box = boxwatch::closeNextBox(argv[1], 0, seconds * 1000);
    if (!box) {
        std::fprintf(stderr, "no message box titled \"%s\" appeared\n", argv[1]);
        return 1;
    }
    std::printf("icon: %s\ntitle: %s\ntext:\n%s\n", box->icon.c_str(), box->title.c_str(), box->text.c_str());
    return 0;
}
