#pragma once
// The conditions of a measurement as one value: the profile's display model and matrices
// (as read and as composed and inverted), the finished filter set, the kernel sample angle,
// the viewing geometry and the colour-difference formula. A run builds it once, before its
// first frame, and every frame of the run is measured with it; nothing in the pipeline reads
// a profile file. This is the only code that knows the profile's file names.

#include <iosfwd>
#include <optional>
#include <string>

#include "colour/colour_types.h"
#include "colour/conversions.h"
#include "colour/delta_e.h"
#include "colour/display_model.h"
#include "scielab/filter_kernels.h"

namespace orv {

// The files of a profile-data folder.
namespace profile_file {
inline constexpr const char* display_model = "DISPGOG_parameter.txt";
inline constexpr const char* rgb_to_xyz = "RGBtoXYZ_mat.txt";
inline constexpr const char* xyz_to_lms = "XYZtoLMS_mat.txt";
inline constexpr const char* lms_to_atd = "LMStoATD_mat.txt";
inline constexpr const char* kernel_a = "kernel_L.txt";
inline constexpr const char* kernel_t = "kernel_RG.txt";
inline constexpr const char* kernel_d = "kernel_BY.txt";
inline constexpr const char* cone_table = "SmithPokornyCones.txt";
}  // namespace profile_file

// The visual angle of one display pixel, which maps the spectrum's frequencies (cycles per
// pixel) to cycles per degree. `source` says where it came from: "default" for the fixed
// geometry of a 1920 x 1080 display of diagonal 14.0 at a distance factor of 0.04.
struct ViewingGeometry {
    double pixel_angle_degrees = 0.0;
    std::string source = "default";
};

// The fixed geometry's angle, about 0.0145651 degrees (68.657 pixels per degree).
ViewingGeometry default_viewing_geometry();

// The colour model of a profile-data folder: the files' values and what the pipeline makes of
// them.
struct ColourModel {
    std::string folder;
    GogParameters display_model;
    Matrix3 rgb_to_xyz{};  // as read
    Matrix3 xyz_to_lms{};
    Matrix3 lms_to_atd{};
    Matrix3 rgb_to_atd{};          // LMStoATD * XYZtoLMS * RGBtoXYZ
    Matrix3 atd_to_rgb{};          // its inverse
    Matrix3 atd_to_xyz{};          // the inverse of LMStoATD * XYZtoLMS
    DisplayTable display_table{};  // the display model of every byte value
    // The display choice (set_display_choice); profile/profile leaves everything above as the
    // profile's files make it. Otherwise rgb_to_atd, atd_to_rgb and display_table follow the
    // choice (for hlg the table holds the scene light of the inverse OETF), and `transfer`
    // holds what the per-pixel arithmetic needs.
    DisplayChoice display;
    TransferParameters transfer;
    Matrix3 xyz_to_bt2020{};  // XYZ (display_white the white) to linear BT.2020 RGB
};

// Sets the display model and primaries of `model` (checked: Failure for luminances out of
// range): the primaries' matrix (scaled to display_white) in place of the profile's RGBtoXYZ
// and the transfer function's light of every byte value in place of the profile's model.
// `model` is one read_colour_model made.
void set_display_choice(ColourModel& model, const DisplayChoice& choice);

// The two sides of a measurement.
enum class Side { reference, degraded };

struct MeasurementConditions {
    ColourModel colour;  // the reference's, and the degraded side's unless it has its own
    // The degraded side's colour model where its display or primaries differ from the
    // reference's (set_side_displays); empty when both sides are measured alike.
    std::optional<ColourModel> degraded_colour;
    AtdFilters filters;  // finished
    double sample_angle = kernel_sample_angle;
    ViewingGeometry viewing = default_viewing_geometry();
    DeltaEFormula formula = DeltaEFormula::cie94;
};

// The colour model `side`'s frames are measured with.
inline const ColourModel& side_colour(const MeasurementConditions& c, Side side) {
    return side == Side::degraded && c.degraded_colour ? *c.degraded_colour : c.colour;
}

// Whether two choices measure alike: the same transfer and primaries and the same luminances
// once their defaults are filled in.
bool same_display(const DisplayChoice& a, const DisplayChoice& b);

// Sets each side's display choice (checked as set_display_choice does): the reference's in
// `colour`, the degraded side's in `degraded_colour` only where it differs. `c.colour` is one
// read_colour_model made.
void set_side_displays(MeasurementConditions& c, const DisplayChoice& reference,
                       const DisplayChoice& degraded);

// Reads the display model and the three matrix files of `folder` once, checks each (a matrix
// that cannot be inverted, a display model that cannot be inverted) and composes and inverts
// the two products. Raises Failure with the file's or the product's name.
ColourModel read_colour_model(const std::string& folder);

// The composed matrices alone, read from `folder` (each file checked).
Matrix3 load_rgb_to_atd(const std::string& folder);  // LMStoATD * XYZtoLMS * RGBtoXYZ
Matrix3 load_xyz_to_atd(const std::string& folder);  // LMStoATD * XYZtoLMS

// The three kernel files of `folder`, each read, sampled and sized (the trace goes to
// `trace`); the set is not finished.
AtdFilters read_kernel_files(const std::string& folder, double sample_angle, std::ostream& trace);

// The profile's path of a file named above.
std::string profile_file_path(const std::string& folder, const char* name);

// Conditions of a run from a profile folder whose filter set is already finished (the GUI's
// filter dialog): reads the colour model once and checks that the filters are finished and
// that the viewing geometry stays inside their responses.
MeasurementConditions make_conditions(const std::string& folder, const AtdFilters& filters,
                                      DeltaEFormula formula = DeltaEFormula::cie94,
                                      const ViewingGeometry& viewing = default_viewing_geometry());

// Refuses (Failure) conditions the pipeline cannot measure with: an unfinished filter set, a
// sample angle that is not a positive number, or a pixel angle whose highest frequency (the
// corner of any spectrum) falls outside the filters' responses.
void check_conditions(const MeasurementConditions& conditions);

// The largest pixels per degree the filters' responses reach (the corner of the spectrum,
// at half a cycle per pixel in both directions, must fall inside them).
double max_pixels_per_degree(const AtdFilters& filters, double sample_angle);

}  // namespace orv
