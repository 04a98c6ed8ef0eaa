// Writes what the build generates from the command-line table:
//   kestrel-cli-docs completion     the bash completion script
//   kestrel-cli-docs man-options    the man page's OPTIONS entries (roff)
#include <cstring>
#include <iostream>

#include "batch/command_line.h"

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "completion") == 0) {
        std::cout << kestrel::batch::bashCompletion();
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "man-options") == 0) {
        std::cout << kestrel::batch::manOptions();
        return 0;
    }
    std::cerr << "usage: kestrel-cli-docs completion|man-options\n";
    return 1;
}
