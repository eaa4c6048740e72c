// kestrovan-reg: reads and writes the per-user substitute registry from the command line.
#include "platform/posix/regtool/RegTool.h"

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return kestrovan::RegToolMain(arguments, std::cout, std::cerr);
}
