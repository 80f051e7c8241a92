#include "image/file_names.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace orv {

std::optional<std::string> first_existing(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(name, error))) return name;
    }
    return std::nullopt;
}

std::string save_base(const std::string& chosen_path) {
    return chosen_path.substr(0, chosen_path.size() - std::min<std::size_t>(4, chosen_path.size()));
}

std::string numbered_name(const std::string& base, int index, const std::string& extension) {
    const char* prefix = index < 10 ? "_000" : index < 100 ? "_00" : index < 1000 ? "_0" : "_";
    return base + prefix + std::to_string(index) + extension;
}

}  // namespace orv
