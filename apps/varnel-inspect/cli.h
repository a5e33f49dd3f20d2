// The inspector's commands, callable in-process so tests can drive them without a shell.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace inspect {

// Runs one command line (without the program name). The input, `in` or the file named, is read
// no further than the command decodes; a CheckedInput under `in` is asked why its bytes ended.
// Output goes to `out` only once the whole input is read and found good, and then as it is
// made; errors are one line on `err`, naming the program and the input, or saying the output
// could not be written. Returns the exit status: 0 success, 1 bad input or output, 2 bad usage.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace inspect
