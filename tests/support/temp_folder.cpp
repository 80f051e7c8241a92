#include "tests/support/temp_folder.h"

#include <fstream>
#include <stdexcept>
#include <stdlib.h>
#include <system_error>

namespace orv::test {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orv-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed: " + pattern);
    path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    // Give back permissions a test took away, so that everything can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path, ignored);
}

std::string TempFolder::file(const std::string& name) const { return (path / name).string(); }

std::string TempFolder::write(const std::string& name, const std::string& text) const {
    std::ofstream(path / name, std::ios::binary) << text;
    return file(name);
}

}  // namespace orv::test
