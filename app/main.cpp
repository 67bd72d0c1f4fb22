#include "app/CommandLine.h"

int main(int argc, char* argv[]) {
    orvi::parseCommandLine(argc, argv);
    return 0;
}
