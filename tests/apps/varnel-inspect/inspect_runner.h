// Runs the inspector in-process and as a program, for the inspector's tests.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "TestFolders.h"
#include "cli.h"

namespace inspect_test {

// Reading a job resolves colour profiles, which creates the colour-profile folder: for this
// program and the inspector programs it starts, under a scratch data folder.
inline const testing_support::ScratchFolder scratchData;
inline const bool scratchDataSet = ::setenv("XDG_DATA_HOME", scratchData.path().c_str(), 1) == 0;

struct Result {
    int status;
    std::string out, err;
};

inline Result inspect(const std::vector<std::string>& args, std::istream& in) {
    std::ostringstream out, err;
    const int status = inspect::run(args, in, out, err);
    return {status, out.str(), err.str()};
}

inline Result inspect(const std::vector<std::string>& args, const std::string& input = "") {
    std::istringstream in(input);
    return inspect(args, in);
}

// A shell command line's exit status and standard output.
inline std::pair<int, std::string> shell(const std::string& command) {
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return {-1, {}};
    std::string text;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    return {WEXITSTATUS(pclose(p)), text};
}

}  // namespace inspect_test
