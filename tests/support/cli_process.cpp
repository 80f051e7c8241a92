#include "tests/support/cli_process.h"

#include <cstdlib>
#include <filesystem>
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

std::string quick_profile(const TempFolder& temp, const std::string& defaults) {
    namespace fs = std::filesystem;
    const std::string profile = temp.file("profile");
    fs::create_directory(profile);
    for (const char* name :
         {"DISPGOG_parameter.txt", "RGBtoXYZ_mat.txt", "XYZtoLMS_mat.txt", "LMStoATD_mat.txt"}) {
        fs::copy_file(fs::path(defaults) / name, fs::path(profile) / name);
    }
    temp.write("profile/kernel_L.txt", "Luminance filter 2 spread 0.05 0.1 weight 0.9 0.1\n");
    temp.write("profile/kernel_RG.txt", "Red-green filter 1 spread 0.0685 weight 1\n");
    temp.write("profile/kernel_BY.txt", "Blue-yellow filter 1 spread 0.092 weight 1\n");
    return profile;
}

}  // namespace orv::test
