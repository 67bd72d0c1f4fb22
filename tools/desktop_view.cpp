// desktop_view FILE: shows the screens of a simulated desktop file and a picture of their places.
#include "desktopfile/DesktopFile.h"
#include "simulation/SimulatedWindowSystem.h"
#include "tools/DesktopView.h"

#include <exception>
#include <iostream>
#include <string>

namespace {

constexpr std::size_t kPictureWidth = 72;

constexpr const char* kUsage =
    "usage: desktop_view DESKTOP_FILE\n"
    "Shows the screens of a simulated desktop file (see docs/desktop-files.md) and a picture\n"
    "of their places.\n";

}  // namespace

int main(int argc, char* argv[]) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (argc != 2) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        orvi::simulation::DesktopFile file = orvi::simulation::readDesktopFile(argv[1]);
        // Display devices without a name in the file get the names the window system gives them.
        file.desktop = orvi::simulation::SimulatedWindowSystem(file.desktop).desktop();
        std::cout << orvi::tools::screenTable(file) << "\n" << orvi::tools::layoutPicture(file.desktop, kPictureWidth);
    } catch (const std::exception& error) {
        std::cerr << "desktop_view: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
