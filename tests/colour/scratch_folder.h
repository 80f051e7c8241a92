#pragma once
// A private temporary folder for profile files, removed with its contents at the end.

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace orv::colour_test {

struct ScratchFolder {
    std::filesystem::path path;

    ScratchFolder() {
        std::random_device seed;
        path = std::filesystem::temp_directory_path() /
               ("orv_colour_" + std::to_string(seed()) + "_" + std::to_string(seed()));
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string folder() const { return path.string(); }
    std::string file(const std::string& name) const { return (path / name).string(); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream out(path / name, std::ios::binary);
        out << text;
        return file(name);
    }
};

}  // namespace orv::colour_test
