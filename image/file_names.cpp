#include "image/file_names.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>
#include <unistd.h>

namespace orv {

namespace fs = std::filesystem;

std::optional<std::string> first_existing(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        std::error_code error;
        if (fs::exists(fs::symlink_status(name, error))) return name;
    }
    return std::nullopt;
}

namespace {

// One spelling for every way of naming the same file: absolute, "." and ".." resolved, and
// the links of the folders that exist followed.
std::string same_file_key(const std::string& name) {
    std::error_code error;
    fs::path path = fs::absolute(fs::path(name), error);
    if (error) path = fs::path(name);
    const fs::path folder = fs::weakly_canonical(path.parent_path(), error);
    if (!error) path = folder / path.filename();
    return path.lexically_normal().string();
}

std::optional<Failure> folder_problem(const std::string& name) {
    fs::path folder = fs::path(name).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (!fs::exists(status)) {
        return Failure{FailureKind::output_no_folder, name, {folder.string()}, {}};
    }
    if (!fs::is_directory(status)) {
        return Failure{FailureKind::output_not_folder, name, {folder.string()}, {}};
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return Failure{FailureKind::cannot_write, name, {}, std::strerror(errno)};
    }
    return std::nullopt;
}

}  // namespace

std::optional<Failure> output_problem(const std::vector<std::string>& names) {
    std::set<std::string> seen;
    std::set<std::string> folders_checked;
    for (const std::string& name : names) {
        if (name.empty()) continue;
        if (!seen.insert(same_file_key(name)).second) {
            return Failure{FailureKind::output_twice, name, {}, {}};
        }
    }
    if (const auto existing = first_existing(names)) {
        return Failure{FailureKind::output_exists, *existing, {}, {}};
    }
    for (const std::string& name : names) {
        if (name.empty()) continue;
        // Numbered outputs share their folder: each folder is looked at once.
        if (!folders_checked.insert(fs::path(name).parent_path().string()).second) continue;
        if (auto problem = folder_problem(name)) return problem;
    }
    return std::nullopt;
}

void check_outputs(const std::vector<std::string>& names) {
    if (auto problem = output_problem(names)) throw std::move(*problem);
}

std::string save_base(const std::string& chosen_path) {
    return chosen_path.substr(0, chosen_path.size() - std::min<std::size_t>(4, chosen_path.size()));
}

int numbered_digits(int count) {
    int digits = 4;
    for (long long largest = 10000; count - 1 >= largest; largest *= 10) ++digits;
    return digits;
}

std::string numbered_name(const std::string& base, int index, const std::string& extension,
                          int digits) {
    std::string number = std::to_string(index);
    if (static_cast<int>(number.size()) < digits) {
        number.insert(0, static_cast<std::size_t>(digits) - number.size(), '0');
    }
    return base + "_" + number + extension;
}

}  // namespace orv
