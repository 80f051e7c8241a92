#pragma once
// Names of numbered output files: BASE_0000.bmp, BASE_0001.bmp, ...

#include <optional>
#include <string>
#include <vector>

namespace orv {

// The chosen save path without its last four characters (never underflows).
std::string save_base(const std::string& chosen_path);
// base + "_" + i with at least four digits + extension (".bmp" by default).
std::string numbered_name(const std::string& base, int index,
                          const std::string& extension = ".bmp");

// The first of `names` that exists (a file, a folder, or a link, even a broken one), checked
// before a run writes anything: ORV never overwrites a file.
std::optional<std::string> first_existing(const std::vector<std::string>& names);

}  // namespace orv
