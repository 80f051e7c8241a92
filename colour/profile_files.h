#pragma once
// Readers of the profile-data folder's display-model and matrix files.
// A file that cannot be opened raises Failure("Error: file open [PATH]."); one with fewer
// tokens than its format needs raises a Failure naming the file and saying it is incomplete.

#include <string>

#include "colour/colour_types.h"

namespace orv {

// folder + separator + name, whatever the folder ends with.
std::string profile_path(const std::string& folder, const std::string& file_name);

// Leading-number conversion of one token (d/D exponents accepted; no number gives 0).
double token_to_double(const std::string& token);

GogParameters read_display_model(const std::string& path);
Matrix3 read_matrix3(const std::string& path);

}  // namespace orv
