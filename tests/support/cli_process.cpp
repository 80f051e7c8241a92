#include "tests/support/cli_process.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace orv::test {

std::string shell_word(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int shell(const std::string& command) {
    const int raw = std::system(("/bin/sh -c " + shell_word(command)).c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

CliResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const TempFolder& temp, const std::string& prefix) {
    std::string command = prefix + "exec " + shell_word(program);
    for (const std::string& a : args) command += " " + shell_word(a);
    const std::string out = temp.file("stdout.txt"), err = temp.file("stderr.txt");
    command += " >" + shell_word(out) + " 2>" + shell_word(err) + " </dev/null";
    const int status = shell(command);
    return {status, slurp(out), slurp(err)};
}

}  // namespace orv::test
