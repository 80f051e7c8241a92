#pragma once
// Names of numbered output files: BASE_0000.bmp, BASE_0001.bmp, ..., and the check every run
// makes of its outputs before it reads its first frame.

#include <optional>
#include <string>
#include <vector>

#include "numeric/failure.h"

namespace orv {

// The chosen save path without its last four characters (never underflows).
std::string save_base(const std::string& chosen_path);
// base + "_" + i with at least `digits` digits (never fewer than four) + extension.
std::string numbered_name(const std::string& base, int index, const std::string& extension = ".bmp",
                          int digits = 4);
// The digits of every name of a run writing `count` numbered files: four up to 10000 files,
// else the width of the largest number, so that the names sort in order.
int numbered_digits(int count);

// The first of `names` that exists (a file, a folder, or a link, even a broken one), checked
// before a run writes anything: ORV never overwrites a file.
std::optional<std::string> first_existing(const std::vector<std::string>& names);

// What stops a run from writing `names`, found before its first frame is read: a name given
// twice (the same file by another spelling included), a name that exists, or a folder that
// does not exist, is no folder or cannot be written into. Empty names are skipped.
std::optional<Failure> output_problem(const std::vector<std::string>& names);
// The same, raised as the Failure.
void check_outputs(const std::vector<std::string>& names);

}  // namespace orv
