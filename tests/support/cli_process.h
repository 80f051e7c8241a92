#pragma once
// Running command-line programs from tests: words quoted for /bin/sh, a command's exit status,
// a file's whole text, and a program run with its standard output and error captured.

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace orv::test {

struct CliResult {
    int status = -1;  // the exit status; -1 when the program did not exit (a signal)
    std::string out;
    std::string err;
};

// `text` as one /bin/sh word: single-quoted, with its own single quotes escaped.
std::string shell_word(const std::string& text);

// `command` run by /bin/sh; its exit status, or -1 when it did not exit.
int shell(const std::string& command);

// The whole content of the file at `path` ("" when it cannot be read).
std::string slurp(const std::string& path);

// `program` run with `args` under /bin/sh after `prefix` (shell commands such as limits),
// standard input from /dev/null, standard output and error through files in `temp`.
CliResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const TempFolder& temp, const std::string& prefix = "");

// A profile folder "profile" in `temp` with the display and matrix files of the profile in
// `defaults` and short kernels, so that runs are quick; its path.
std::string quick_profile(const TempFolder& temp, const std::string& defaults);

}  // namespace orv::test
