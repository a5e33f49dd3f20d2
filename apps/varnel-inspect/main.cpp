#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "input.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // Standard input straight from its descriptor: read as it is decoded, and told apart from
    // a directory or a failed read.
    inspect::FileInput standardInput(STDIN_FILENO, false);
    std::istream in(&standardInput);
    return inspect::run(std::vector<std::string>(argv + 1, argv + argc), in, std::cout, std::cerr);
}
