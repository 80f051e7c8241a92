#pragma once
// A fresh, empty folder under the system temporary folder, removed with everything in it when
// the record goes out of scope.

#include <filesystem>
#include <string>

namespace orv::test {

struct TempFolder {
    std::filesystem::path path;

    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder as a string.
    std::string folder() const { return path.string(); }
    // path / name as a string.
    std::string file(const std::string& name) const;
    // Writes `text` into the file `name` of the folder; its path.
    std::string write(const std::string& name, const std::string& text) const;
};

}  // namespace orv::test
