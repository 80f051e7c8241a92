#pragma once
// The viewer as an input: how many display pixels fall in one degree of visual angle, given
// as pixels per degree, as a display's width and resolution with the viewing distance, as a
// distance in picture heights with the number of lines, or as a named preset. Every face
// (orv-cli, Python, the GUI) builds a ViewingOptions record from what the user gave and asks
// viewing_geometry for the pixel angle, so that all of them accept and refuse the same values.

#include <optional>
#include <string>
#include <vector>

#include "numeric/failure.h"
#include "scielab/conditions.h"
#include "scielab/filter_kernels.h"

namespace orv {

// The options, one of the forms or none (the fixed geometry).
struct ViewingOptions {
    std::optional<double> ppd;               // pixels per degree: theta = 1 / ppd
    std::optional<double> display_width_cm;  // theta = atan(width / pixels / distance)
    std::optional<double> display_width_pixels;
    std::optional<double> distance_cm;
    std::optional<double> distance_heights;  // theta = atan(1 / (heights * lines))
    std::optional<double> display_height_pixels;
    std::optional<std::string> preset;  // a name of viewing_presets()
};

// The options' names as the face shows them: "--display-width-cm" on the command line,
// "display_width_cm" as a Python keyword.
enum class OptionStyle { command_line, keyword };

enum class ViewingField {
    ppd,
    display_width_cm,
    display_width_pixels,
    distance_cm,
    distance_heights,
    display_height_pixels,
    preset
};

std::string viewing_option_name(ViewingField field, OptionStyle style);

// True when no option is given: the fixed geometry.
bool viewing_options_empty(const ViewingOptions& options);

// A named viewing situation, given by one of the forms. `fixed_geometry` marks the preset
// whose angle is the fixed geometry's own (its display figures are that geometry's: a 14.0
// inch 16:9 panel, 1920 pixels wide, at 25 inches).
struct ViewingPreset {
    const char* name;
    const char* description;  // English, for help texts and records
    ViewingOptions form;
    bool fixed_geometry = false;
};

// laptop14, desktop27-4k, tv-uhd-1.5h, tv-uhd-3h, tv-hd-3h, phone, in that order.
const std::vector<ViewingPreset>& viewing_presets();
const ViewingPreset* find_viewing_preset(const std::string& name);

// Checks the options and gives the pixel angle they stand for: the fixed geometry when none
// is given; source "ppd", "display", "heights" or the preset's name otherwise. Refuses
// (Failure, naming the option in `style`) a value that is not a positive finite number, an
// unknown preset, an incomplete form, two forms at once and fewer than 1 pixel per degree.
ViewingGeometry viewing_geometry(const ViewingOptions& options, OptionStyle style);

// The same, and refuses a geometry above `max_ppd` pixels per degree (what the filters'
// responses reach: max_pixels_per_degree), naming the option and the limit.
ViewingGeometry viewing_geometry(const ViewingOptions& options, OptionStyle style, double max_ppd);
ViewingGeometry viewing_geometry(const ViewingOptions& options, OptionStyle style,
                                 const AtdFilters& filters, double sample_angle);

// 1 / theta.
double pixels_per_degree(const ViewingGeometry& geometry);

// The figure shown for a pixels-per-degree value or limit: two decimals, a limit rounded down
// so that the figure shown is itself accepted.
std::string ppd_text(double ppd);
std::string ppd_limit_text(double max_ppd);

// True for the refusals of the viewing options (orv-cli exits with status 2 for them).
bool is_viewing_refusal(FailureKind kind);

}  // namespace orv
