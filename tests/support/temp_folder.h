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

    // path / name as a string.
    std::string file(const std::string& name) const;
};

}  // namespace orv::test
