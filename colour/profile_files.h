#pragma once
// Readers of the profile-data folder's display-model and matrix files.
// A file that cannot be opened raises Failure("Error: file open [PATH]."); one with fewer
// tokens than its format needs raises a Failure naming the file and saying it is incomplete.

#include <cstddef>
#include <iosfwd>
#include <string>

#include "colour/colour_types.h"

namespace orv {

// folder + separator + name, whatever the folder ends with.
std::string profile_path(const std::string& folder, const std::string& file_name);

// Leading-number conversion of one token (d/D exponents accepted; no number gives 0).
double token_to_double(const std::string& token);

GogParameters read_display_model(const std::string& path);
Matrix3 read_matrix3(const std::string& path);

// Longest token the profile files may hold.
constexpr std::size_t max_profile_token_length = 99;

// The same readers working on text already in memory; `name` stands for the file in messages.
// Values out of the range of a double are refused; the display model is checked as below.
GogParameters parse_display_model(std::istream& in, const std::string& name);
Matrix3 parse_matrix3(std::istream& in, const std::string& name);

// Largest magnitude a matrix element or a display-model output may have; far beyond any real
// display, it keeps every product and sum of the pipeline finite.
constexpr double max_profile_magnitude = 1e30;

// Refuses (Failure) a display model that cannot be inverted: a gain of 0, a gamma of 0 or
// below, or a value that is not finite; and one whose brightest output exceeds
// max_profile_magnitude.
void check_display_model(const GogParameters& gog, const std::string& name);

}  // namespace orv
